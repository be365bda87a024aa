#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "engine/engine_error.h"
#include "engine/file_registry.h"
#include "engine/format_bytes.h"
#include "engine/table_files.h"
#include "support/compression.h"
#include "tests/helpers/temp_dir.h"
#include "test_errors.h"
#include "sample_tables.h"

namespace dezede {
namespace {

using test::Def;
using test::ErrorOf;

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class TableFiles : public ::testing::Test {
protected:
    TFileRegistry Registry;
    test::TTempDir Dir;
    TTableFileNames Names = TTableFileNames::FromBase(Dir.File("Reason"));

    void Create(TTableDefinition def, const std::string& signature = kDefaultSignature) {
        CreateTableFiles(Registry, Names, std::move(def), signature);
    }
    static TTableDefinition OneInteger() {
        TTableDefinition def;
        def.Fields = {Def("ID", ftdInteger)};
        return def;
    }
    // A record of the first (integer) field.
    static Bytes IntRecord(const TDataFile& data, int32_t v) {
        Bytes rec(data.Header().RecordSize, 0);
        Bytes value(4);
        fmt::StoreLE32(value, 0, static_cast<uint32_t>(v));
        SetFieldValue(data.Fields()[0], rec, std::span<const uint8_t>(value));
        return rec;
    }
};

TEST_F(TableFiles, NewTableFilesAndFreeChain) {
    Create(OneInteger());
    EXPECT_EQ(ReadFile(Names.Data).size(), 512u + 768u);
    EXPECT_EQ(ReadFile(Names.Index).size(), 512u + 24576u);
    EXPECT_FALSE(std::filesystem::exists(Names.Blob));

    TTableFiles t(Registry, Names);
    t.Open();
    TDataFile& data = t.Data();
    EXPECT_EQ(data.Header().RecordSize, 32);
    EXPECT_EQ(data.Header().ChangeCounter, 1);
    EXPECT_EQ(data.Fields()[0].Offset, 25);
    EXPECT_EQ(data.FindField("recordid"), &RecordIDDescriptor());
    EXPECT_EQ(data.FindField(-2), &RecordHashDescriptor());
    EXPECT_EQ(data.FindField("id")->FieldNumber, 1);
    EXPECT_EQ(t.Index().Index(0), DefaultPrimaryIndex());
    EXPECT_EQ(t.Index().Index(31).Name, "Sys Text");

    for (int i = 1; i <= 6; ++i) EXPECT_EQ(data.InsertRecord(IntRecord(data, i * 10)), uint32_t(i));
    data.DeleteRecord(3);
    data.DeleteRecord(5);
    EXPECT_EQ(ErrorOf([&] { data.DeleteRecord(5); }), DEZEDE_KEYORRECDELETED);
    t.WriteChanges();

    // On disk: first free 5, slot 5 -> 3, slot 3 -> 0, active slots hold their own number.
    Bytes file = ReadFile(Names.Data);
    auto slot = [&](uint32_t n) { return std::span<const uint8_t>(file).subspan(512 + 768 + (n - 1) * 32, 32); };
    EXPECT_EQ(fmt::LoadLE32(file, 25), 5u);
    EXPECT_EQ(fmt::LoadLE32(file, 41), 4u);
    EXPECT_EQ(slot(5)[0], kRecordFree);
    EXPECT_EQ(fmt::LoadLE32(slot(5), 1), 3u);
    EXPECT_EQ(fmt::LoadLE32(slot(3), 1), 0u);
    EXPECT_EQ(fmt::LoadLE32(slot(4), 1), 4u);
    EXPECT_EQ(fmt::LoadLEI32(slot(6), 26), 60);
    EXPECT_EQ(fmt::LoadLEI32(file, 0), 2);  // one more header write

    EXPECT_EQ(data.InsertRecord(IntRecord(data, 99)), 5u);
    EXPECT_EQ(data.Header().FirstFreeRecord, 3u);
    EXPECT_EQ(data.InsertRecord(IntRecord(data, 98)), 3u);
    EXPECT_EQ(data.InsertRecord(IntRecord(data, 97)), 7u);
    Bytes rec(32);
    data.ReadRecord(5, rec);
    EXPECT_EQ(fmt::LoadLEI32(rec, 26), 99);
    t.WriteChanges();
    EXPECT_NO_THROW(data.VerifyHeader());
}

TEST_F(TableFiles, EmptyingLeavesHeaderAndDescriptors) {
    Create(OneInteger());
    TTableFiles t(Registry, Names);
    t.Open();
    for (int i = 0; i < 3; ++i) t.Data().InsertRecord(IntRecord(t.Data(), i));
    t.Data().NextRecordID();
    t.WriteChanges();
    t.Data().EmptyFile();
    t.Data().WriteHeader(false);
    Bytes file = ReadFile(Names.Data);
    EXPECT_EQ(file.size(), 512u + 768u);
    TDataHeader h = DecodeDataHeader(file);
    EXPECT_EQ(h.ChangeCounter, 1);
    EXPECT_EQ(h.NextRecordNumber, 1u);
    EXPECT_EQ(h.RecordCount, 0u);
    EXPECT_EQ(h.LastRecordID, 0);
    EXPECT_EQ(h.FirstFreeRecord, 0u);
}

TEST_F(TableFiles, ChangeDetectionAndDescriptorUpdates) {
    Create(OneInteger());
    TTableFiles reader(Registry, Names), writer(Registry, Names);
    reader.Open();
    writer.Open();
    EXPECT_FALSE(reader.Data().HeaderChanged());
    writer.Data().InsertRecord(IntRecord(writer.Data(), 1));
    TFieldDescriptor renamed = writer.Data().Fields()[0];
    renamed.Name = "Ident";
    renamed.DefaultValue = "7";
    renamed.Type = ftdString;  // not taken over: a type change needs a restructure
    writer.Data().UpdateFieldDescriptor(1, renamed);
    writer.WriteChanges();
    EXPECT_TRUE(reader.Data().HeaderChanged());
    EXPECT_EQ(reader.Data().Header().NextRecordNumber, 2u);
    EXPECT_FALSE(reader.Data().HeaderChanged());
    writer.Close();
    reader.Close();
    TTableFiles again(Registry, Names);
    again.Open();
    EXPECT_EQ(again.Data().FindField("ident")->DefaultValue, "7");
    EXPECT_EQ(again.Data().Fields()[0].Type, ftdInteger);
}

TEST_F(TableFiles, VersionsAndSignatures) {
    Create(OneInteger());
    Bytes original = ReadFile(Names.Data);
    auto openCode = [&](const std::string& signature) {
        TTableFiles t(Registry, Names, signature);
        return ErrorOf([&] { t.Open(); });
    };
    for (auto [version, code] : {std::pair{5, DEZEDE_OLDVERSION}, {7, DEZEDE_BADSIGNATURE}, {6, 0}}) {
        Bytes f = original;
        f[8] = static_cast<uint8_t>(version);
        WriteFile(Names.Data, f);
        EXPECT_EQ(openCode(kDefaultSignature), code) << version;
    }
    EXPECT_EQ(VersionText(5), "3.00");
    // Made with the default signature: opens under any signature.
    EXPECT_EQ(openCode("OTHER_SIG"), 0);
    // Made with another signature: only that engine opens it.
    Create(OneInteger(), "OTHER_SIG");
    EXPECT_EQ(openCode("OTHER_SIG"), 0);
    EXPECT_EQ(openCode(kDefaultSignature), DEZEDE_BADSIGNATURE);
}

TEST_F(TableFiles, DamagedHeadersGiveEngineErrors) {
    Create(OneInteger());
    Bytes original = ReadFile(Names.Data);
    const struct {
        const char* what;
        std::function<void(Bytes&)> damage;
        int code;
    } cases[] = {
        {"short file", [](Bytes& f) { f.resize(100); }, DEZEDE_READERR},
        {"1025 fields", [](Bytes& f) { fmt::StoreLE16(f, 47, 1025); }, DEZEDE_HEADERCORRUPT},
        {"zero record size", [](Bytes& f) { fmt::StoreLE16(f, 45, 0); }, DEZEDE_HEADERCORRUPT},
        {"field past the record", [](Bytes& f) { fmt::StoreLE16(f, 512 + 172, 30); }, DEZEDE_HEADERCORRUPT},
        {"wrong storage size", [](Bytes& f) { fmt::StoreLE16(f, 512 + 169, 2); }, DEZEDE_HEADERCORRUPT},
        {"descriptors missing", [](Bytes& f) { f.resize(600); }, DEZEDE_READERR},
        {"first free beyond the slots", [](Bytes& f) { fmt::StoreLE32(f, 25, 3); }, DEZEDE_HEADERCORRUPT},
    };
    for (const auto& c : cases) {
        Bytes f = original;
        c.damage(f);
        WriteFile(Names.Data, f);
        TTableFiles t(Registry, Names);
        EXPECT_EQ(ErrorOf([&] { t.Open(); }), c.code) << c.what;
    }
}

TEST_F(TableFiles, EncryptedTable) {
    TTableDefinition def;
    def.Fields = {Def("Secret", ftdString, 20), Def("Note", ftdBlob, 0, fsdMemo)};
    def.Description = "plain header";
    def.Password = "pass word";
    Create(def);

    // The header reads without the password.
    TDataHeader h = DecodeDataHeader(ReadFile(Names.Data));
    EXPECT_TRUE(h.Encrypted);
    EXPECT_EQ(h.Description, "plain header");
    EXPECT_EQ(h.FieldCount, 2);
    // The descriptors do not: the field name is nowhere in clear.
    Bytes file = ReadFile(Names.Data);
    EXPECT_EQ(std::search(file.begin(), file.end(), std::begin("Secret"), std::end("Secret") - 1), file.end());

    TTableFiles locked(Registry, Names);
    EXPECT_EQ(ErrorOf([&] { locked.Open({.Passwords = {"wrong"}}); }), DEZEDE_NOTSUFFTABLERIGHTS);

    int asked = 0;
    TTableFiles t(Registry, Names);
    t.Open({.Passwords = {"wrong"}, .Ask = [&]() -> std::optional<std::string> {
                return ++asked == 1 ? "still wrong" : "pass word";
            }});
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(t.Data().Fields()[0].Name, "Secret");
    Bytes rec(t.Data().Header().RecordSize, 0);
    std::string text = "confidential";
    SetFieldValue(t.Data().Fields()[0], rec,
                  std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    t.Data().InsertRecord(rec);
    TBlobReference ref;
    std::string memo = "a memo in the clear?";
    t.Blob()->StoreBlob(ref, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(memo.data()), memo.size()),
                        0, t.Data().NextBlobVersion());
    t.WriteChanges();
    for (const std::string& name : {Names.Data, Names.Blob}) {
        Bytes f = ReadFile(name);
        EXPECT_EQ(std::search(f.begin(), f.end(), text.begin(), text.end()), f.end()) << name;
        EXPECT_EQ(std::search(f.begin(), f.end(), memo.begin(), memo.end()), f.end()) << name;
    }
    t.Close();
    TTableFiles again(Registry, Names);
    again.Open({.Passwords = {"pass word"}});
    Bytes back(rec.size());
    again.Data().ReadRecord(1, back);
    EXPECT_STREQ(reinterpret_cast<const char*>(back.data() + 26), "confidential");
    std::vector<uint8_t> value;
    ASSERT_EQ(again.Blob()->LoadBlob(ref, 0, value), TBlobLoadResult::Loaded);
    EXPECT_EQ(std::string(value.begin(), value.end()), memo);

    again.Close();
    TTableDefinition blank = def;
    blank.Password = "   ";
    EXPECT_EQ(ErrorOf([&] { Create(blank); }), DEZEDE_INVALIDPASSWORD);
}

TEST_F(TableFiles, CreationErrorsLeaveNoFiles) {
    TTableDefinition def = OneInteger();
    const struct {
        std::function<void(TTableDefinition&)> change;
        int code;
    } cases[] = {
        {[](TTableDefinition& d) { d.IndexPageSize = 512; }, DEZEDE_INDEXLIMIT},
        {[](TTableDefinition& d) { d.BlobBlockSize = 65537; }, DEZEDE_BLOBLIMIT},
        {[](TTableDefinition& d) { d.Locale = 0x7FFFFFFF; }, DEZEDE_CANNOTLOADLDDRV},
        {[](TTableDefinition& d) { d.SecondaryIndexes.resize(31); }, DEZEDE_INDEXLIMIT},
        {[](TTableDefinition& d) {
             TIndexDescriptor i;
             i.Name = "ByID";
             i.FieldCount = 1;
             i.FieldNumbers[0] = 1;
             d.SecondaryIndexes = {i, i};
         },
         DEZEDE_INDEXEXISTS},
        {[](TTableDefinition& d) { d.FullTextFields = {1}; }, DEZEDE_INVALIDIDXDESC},
    };
    for (const auto& c : cases) {
        TTableDefinition d = def;
        c.change(d);
        EXPECT_EQ(ErrorOf([&] { Create(d); }), c.code);
        EXPECT_FALSE(std::filesystem::exists(Names.Data));
        EXPECT_FALSE(std::filesystem::exists(Names.Index));
    }
}

class BlobFiles : public TableFiles {
protected:
    void SetUp() override {
        TTableDefinition def;
        def.Fields = {Def("Data", ftdBlob), Def("Packed", ftdBlob)};
        def.Fields[1].Compression = 6;
        def.BlobBlockSize = 512;
        Create(def);
        Files = std::make_unique<TTableFiles>(Registry, Names);
        Files->Open();
        Blob = Files->Blob();
    }
    Bytes Value(size_t n) {
        Bytes v(n);
        for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
        return v;
    }
    TBlockHeader BlockOnDisk(uint32_t n) {
        Files->WriteChanges();
        Bytes f = ReadFile(Names.Blob);
        return DecodeBlockHeader(std::span<const uint8_t>(f).subspan(512 + (n - 1) * 512, 18));
    }
    void Damage(uint32_t block, const std::function<void(Bytes&)>& fn) {
        Files->WriteChanges();
        Files->Close();
        Bytes f = ReadFile(Names.Blob);
        std::span<uint8_t> img = std::span<uint8_t>(f).subspan(512 + (block - 1) * 512, 512);
        Bytes b(img.begin(), img.end());
        fn(b);
        std::copy(b.begin(), b.end(), img.begin());
        WriteFile(Names.Blob, f);
        Files->Open();
        Blob = Files->Blob();
    }
    int LoadCode(const TBlobReference& ref, uint8_t compression = 0) {
        std::vector<uint8_t> v;
        return ErrorOf([&] { Blob->LoadBlob(ref, compression, v); });
    }

    std::unique_ptr<TTableFiles> Files;
    TBlobFile* Blob = nullptr;
};

TEST_F(BlobFiles, ChainOfThreeBlocks) {
    TBlobReference ref;
    Bytes v = Value(1000);
    Blob->StoreBlob(ref, v, 0, Files->Data().NextBlobVersion());
    EXPECT_EQ(ref.FirstBlock, 1);
    EXPECT_EQ(ref.Version, 1);
    TBlockHeader b1 = BlockOnDisk(1), b2 = BlockOnDisk(2), b3 = BlockOnDisk(3);
    EXPECT_EQ(b1.UsedBytes, 494);
    EXPECT_EQ(b2.UsedBytes, 494);
    EXPECT_EQ(b3.UsedBytes, 12);
    EXPECT_EQ(b1.Length, 1000u);
    EXPECT_EQ(b1.Version, 1);
    EXPECT_EQ(b2.Version, 0);
    EXPECT_EQ(b2.Length, 0u);
    EXPECT_EQ(b1.Next, 2u);
    EXPECT_EQ(b2.Previous, 1u);
    EXPECT_EQ(b3.Next, 0u);
    EXPECT_EQ(Blob->Header().NextBlockNumber, 4u);
    std::vector<uint8_t> back;
    ASSERT_EQ(Blob->LoadBlob(ref, 0, back), TBlobLoadResult::Loaded);
    EXPECT_EQ(back, v);

    // A rewrite reuses the chain; the old reference is now out of date.
    TBlobReference old = ref;
    Bytes shorter = Value(600);
    Blob->StoreBlob(ref, shorter, 0, Files->Data().NextBlobVersion());
    EXPECT_EQ(ref.FirstBlock, 1);
    EXPECT_EQ(Blob->Header().NextBlockNumber, 4u);
    EXPECT_EQ(Blob->LoadBlob(old, 0, back), TBlobLoadResult::OutOfDate);
    ASSERT_EQ(Blob->LoadBlob(ref, 0, back), TBlobLoadResult::Loaded);
    EXPECT_EQ(back, shorter);

    // Emptying keeps the chain with length 0.
    Blob->StoreBlob(ref, {}, 0, Files->Data().NextBlobVersion());
    ASSERT_EQ(Blob->LoadBlob(ref, 0, back), TBlobLoadResult::Loaded);
    EXPECT_TRUE(back.empty());
    EXPECT_EQ(BlockOnDisk(1).Length, 0u);
}

TEST_F(BlobFiles, CompressedValuesAndBlockLimits) {
    TBlobReference ref;
    Bytes v(5000, 'x');
    Blob->StoreBlob(ref, v, 6, Files->Data().NextBlobVersion());
    EXPECT_LT(BlockOnDisk(1).Length, 200u);
    std::vector<uint8_t> back;
    ASSERT_EQ(Blob->LoadBlob(ref, 6, back), TBlobLoadResult::Loaded);
    EXPECT_EQ(back, v);

    uint8_t buf[600];
    EXPECT_EQ(ErrorOf([&] { Blob->ReadBlockData(1, 0, 495, buf); }), DEZEDE_INVALIDBLOBLEN);
    EXPECT_EQ(ErrorOf([&] { Blob->WriteBlockData(1, 10, 485, buf); }), DEZEDE_INVALIDBLOBLEN);
    EXPECT_EQ(Blob->ReadBlockData(1, 0, 494, buf), BlockOnDisk(1).UsedBytes);

    // Stored bytes that are no zlib stream.
    TBlobReference raw;
    Blob->StoreBlob(raw, Value(100), 0, Files->Data().NextBlobVersion());
    EXPECT_EQ(LoadCode(raw, 6), DEZEDE_UNCOMPRESS);
}

TEST_F(BlobFiles, BrokenChains) {
    TBlobReference ref;
    Blob->StoreBlob(ref, Value(1000), 0, Files->Data().NextBlobVersion());
    auto setNext = [](uint32_t next) { return [next](Bytes& b) { fmt::StoreLE32(b, 4, next); }; };
    const struct {
        const char* what;
        uint32_t block;
        std::function<void(Bytes&)> damage;
        int code;
    } cases[] = {
        {"loop back to the first block", 2, setNext(1), DEZEDE_MEMOCORRUPT},
        {"next beyond the last block", 2, setNext(9), DEZEDE_MEMOCORRUPT},
        {"next negative", 2, setNext(0xFFFFFFFF), DEZEDE_MEMOCORRUPT},
        {"chain ends early", 2, setNext(0), DEZEDE_ENDOFBLOB},
        {"piece longer than the block", 2, [](Bytes& b) { fmt::StoreLE16(b, 8, 600); }, DEZEDE_INVALIDBLOBLEN},
        {"length beyond the chain", 1, [](Bytes& b) { fmt::StoreLE32(b, 14, 0x7FFFFFFF); }, DEZEDE_ENDOFBLOB},
    };
    Files->WriteChanges();
    Files->Close();
    const Bytes original = ReadFile(Names.Blob);
    Files->Open();
    Blob = Files->Blob();
    for (const auto& c : cases) {
        WriteFile(Names.Blob, original);
        Damage(c.block, c.damage);
        EXPECT_EQ(LoadCode(ref), c.code) << c.what;
    }
    TBlobReference beyond{7, 1};
    EXPECT_EQ(LoadCode(beyond), DEZEDE_MEMOCORRUPT);
}

TEST_F(BlobFiles, FreeBlocksAreReusedAndHeaderVerified) {
    EXPECT_NO_THROW(Blob->VerifyBlobHeader());
    uint32_t a = Blob->AllocateBlock(), b = Blob->AllocateBlock();
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 2u);
    Files->WriteChanges();
    // Hand-made free chain: header -> 2 -> 0.
    {
        Bytes f = ReadFile(Names.Blob);
        fmt::StoreLE32(f, 25, 2);
        WriteFile(Names.Blob, f);
    }
    Files->Close();
    Files->Open();
    Blob = Files->Blob();
    EXPECT_NO_THROW(Blob->VerifyBlobHeader());
    EXPECT_EQ(Blob->AllocateBlock(), 2u);
    EXPECT_EQ(Blob->Header().FirstFreeBlock, 0u);
    EXPECT_EQ(Blob->AllocateBlock(), 3u);
    Blob->EmptyFile();
    EXPECT_EQ(Blob->Header().NextBlockNumber, 1u);
}

TEST_F(TableFiles, IndexHeaderPagesAndDescriptors) {
    TTableDefinition def;
    def.Fields = {Def("A", ftdInteger), Def("S", ftdString, 10)};
    TIndexDescriptor byS;
    byS.Name = "ByS";
    byS.CaseInsensitive = true;
    byS.FieldCount = 1;
    byS.FieldNumbers[0] = 2;
    def.SecondaryIndexes = {byS};
    def.FullTextFields = {2};
    def.IndexPageSize = 1024;
    Create(def);
    TTableFiles t(Registry, Names);
    t.Open();
    TIndexFile& index = t.Index();
    EXPECT_EQ(index.Header().SecondaryCount, 1);
    EXPECT_EQ(index.Index(1).Name, "ByS");
    EXPECT_EQ(index.Index(1).KeySize, 12 + 4);
    EXPECT_EQ(index.Index(31).FieldCount, 1);
    EXPECT_NO_THROW(index.VerifyIndexHeader(t.Data().Fields()));

    TIndexDescriptor pk;
    pk.FieldCount = 1;
    pk.FieldNumbers[0] = 1;
    index.SetPrimaryIndex(pk, t.Data().Fields());
    EXPECT_EQ(ErrorOf([&] { index.SetPrimaryIndex(pk, t.Data().Fields()); }), DEZEDE_PRIMARYKEYREDEFINE);

    EXPECT_EQ(index.AllocatePage(3), 1u);
    EXPECT_EQ(index.AllocatePage(2), 2u);
    EXPECT_EQ(index.AllocatePage(2), 3u);
    index.FreePage(2);
    index.FreePage(3);
    EXPECT_EQ(index.Header().FirstFreePage, 3u);
    t.WriteChanges();
    Bytes f = ReadFile(Names.Index);
    ASSERT_EQ(f.size(), 25088u + 3 * 1024);
    EXPECT_EQ(f[25088], 3);                              // page 1 type
    EXPECT_EQ(fmt::LoadLE32(f, 25088 + 2048 + 7), 2u);  // page 3 -> 2
    EXPECT_EQ(fmt::LoadLE32(f, 25088 + 1024 + 7), 0u);  // page 2 -> 0
    EXPECT_EQ(fmt::LoadLE32(f, 25), 3u);
    EXPECT_EQ(index.AllocatePage(1), 3u);
    EXPECT_EQ(index.Header().FirstFreePage, 2u);

    index.SetRootPage(1, 1);
    index.EmptyFile();
    EXPECT_EQ(index.Header().NextPageNumber, 1u);
    EXPECT_EQ(index.RootPage(1), 0u);
    index.WriteHeader(false);
    EXPECT_EQ(ReadFile(Names.Index).size(), 25088u);
    EXPECT_EQ(DecodeIndexHeader(ReadFile(Names.Index)).ChangeCounter, 1);
}

}  // namespace
}  // namespace dezede
