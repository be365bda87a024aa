#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/blob_buffer.h"
#include "engine/file_registry.h"
#include "engine/table_files.h"
#include "support/endian.h"
#include "tests/helpers/temp_dir.h"
#include "sample_tables.h"
#include "test_errors.h"

namespace dezede {
namespace {

using test::Def;
using test::ErrorOf;
using Bytes = std::vector<uint8_t>;
constexpr auto RW = TBlobOpenMode::bmReadWrite;
constexpr auto RO = TBlobOpenMode::bmRead;

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return v;
}

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A table with a memo and a compressed binary field, 64-byte blocks (46 data
// bytes each), so that chains of several blocks come cheaply.
class BlobBuffers : public ::testing::Test {
protected:
    void SetUp() override {
        TTableDefinition def;
        def.Fields = {Def("ID", ftdInteger), Def("Memo", ftdBlob, 0, fsdMemo), Def("Bin", ftdBlob)};
        def.Fields[2].Compression = 6;
        def.BlobBlockSize = 64;
        CreateTableFiles(Registry, Names, def);
        Reopen();
    }
    void Reopen() {
        Blobs.reset();
        if (Files) {
            Files->WriteChanges();
            Files->Close();
        }
        Files = std::make_unique<TTableFiles>(Registry, Names);
        Files->Open();
        Blobs = std::make_unique<TBlobBuffers>(Files->Data(), Files->Blob(), "Reason");
    }
    TDataFile& Data() { return Files->Data(); }
    const TFieldDescriptor& Memo() { return Data().Fields()[1]; }
    const TFieldDescriptor& Bin() { return Data().Fields()[2]; }

    Bytes NewImage() {
        Bytes rec(Data().Header().RecordSize, 0);
        StoreLE32(rec.data() + kRecordIDOffset, static_cast<uint32_t>(Data().NextRecordID()));
        return rec;
    }
    // Appends a record with the given values, as a cursor does.
    uint32_t Append(const Bytes& memo, const Bytes& bin) {
        Bytes rec = NewImage();
        for (auto [f, v] : {std::pair{&Memo(), &memo}, {&Bin(), &bin}}) {
            Blobs->Open(*f, rec, 0, RW, {});
            Blobs->Put(*f, rec, 0, static_cast<uint32_t>(v->size()), v->data());
        }
        Bytes out = rec;
        Blobs->StoreModified(rec, out, true);
        Blobs->Free(Memo(), rec);
        Blobs->Free(Bin(), rec);
        return Data().InsertRecord(out);
    }
    Bytes Record(uint32_t n) {
        Bytes rec(Data().Header().RecordSize);
        Data().ReadRecord(n, rec);
        return rec;
    }
    TBlobBuffers::TReread Reread() {
        return [this](uint32_t n, Bytes& rec) {
            rec = Record(n);
            return rec[0] != kRecordFree;
        };
    }
    Bytes ValueOf(const TFieldDescriptor& f, Bytes& rec) {
        Bytes v(Blobs->Open(f, rec, 0, RO, {}));
        EXPECT_EQ(Blobs->Get(f, rec, 0, static_cast<uint32_t>(v.size()) + 10, v.data()), v.size());
        Blobs->Free(f, rec);
        return v;
    }

    TFileRegistry Registry;
    test::TTempDir Dir;
    TTableFileNames Names = TTableFileNames::FromBase(Dir.File("Reason"));
    std::unique_ptr<TTableFiles> Files;
    std::unique_ptr<TBlobBuffers> Blobs;
};

TEST_F(BlobBuffers, ValuesSurviveTheFileAcrossBlockBoundaries) {
    const size_t sizes[] = {0, 1, 45, 46, 47, 92, 1000, 5000};
    std::vector<uint32_t> recNos;
    for (size_t i = 0; i < std::size(sizes); ++i)
        recNos.push_back(Append(Pattern(sizes[i], uint8_t(i)), Pattern(sizes[i] * 2, uint8_t(i + 50))));
    Reopen();
    for (size_t i = 0; i < std::size(sizes); ++i) {
        Bytes rec = Record(recNos[i]);
        for (const TFieldDescriptor* f : {&Memo(), &Bin()}) {
            // Stored images carry real references and the null flag of the value.
            const TBlobReference ref = ReadBlobReference(*f, rec);
            EXPECT_GE(ref.FirstBlock, 0);
            EXPECT_EQ(rec[f->Offset], sizes[i] ? 1 : 0);
            EXPECT_EQ(ref.FirstBlock == 0, sizes[i] == 0) << f->Name;
            EXPECT_EQ(ValueOf(*f, rec), Pattern(f == &Memo() ? sizes[i] : sizes[i] * 2, uint8_t(f == &Memo() ? i : i + 50)))
                << f->Name << " " << sizes[i];
        }
    }
    EXPECT_EQ(Blobs->OpenCount(), 0u);
}

TEST_F(BlobBuffers, HandlesAreReusedCheckedAndLimited) {
    const uint32_t n = Append(Pattern(100, 1), {});
    Bytes rec = Record(n);
    const Bytes original = rec;

    EXPECT_EQ(Blobs->Open(Memo(), rec, n, RO, Reread()), 100u);
    const int32_t handle = ReadBlobReference(Memo(), rec).FirstBlock;
    ASSERT_LT(handle, 0);
    // The handle in the image names the same buffer again: one user more.
    EXPECT_EQ(Blobs->Open(Memo(), rec, n, RO, Reread()), 100u);
    EXPECT_EQ(ReadBlobReference(Memo(), rec).FirstBlock, handle);
    EXPECT_EQ(Blobs->OpenCount(), 1u);
    // Read buffers ignore writes.
    Blobs->Put(Memo(), rec, 0, 3, reinterpret_cast<const uint8_t*>("xyz"));
    Blobs->Truncate(Memo(), rec, 0);
    EXPECT_EQ(Blobs->Size(Memo(), rec), 100u);
    EXPECT_FALSE(Blobs->Find(Memo(), rec)->Modified);

    // A stale copy of a freed handle, an unknown one, and a live one in the wrong field.
    Bytes stale = rec;
    Blobs->Free(Memo(), rec);
    EXPECT_LT(ReadBlobReference(Memo(), rec).FirstBlock, 0);
    Blobs->Free(Memo(), rec);
    EXPECT_EQ(rec, original);
    EXPECT_EQ(Blobs->Open(Memo(), rec, n, RO, Reread()), 100u);  // takes the freed slot again
    Bytes unknown = rec;
    WriteBlobReference(Memo(), unknown, {-77, 0});
    Bytes wrongField = rec;
    WriteBlobReference(Bin(), wrongField, {ReadBlobReference(Memo(), rec).FirstBlock, 0});
    uint8_t b;
    for (Bytes* image : {&wrongField, &unknown, &stale}) {
        const TFieldDescriptor& f = image == &wrongField ? Bin() : Memo();
        EXPECT_EQ(ErrorOf([&] { Blobs->Open(f, *image, n, RO, Reread()); }), DEZEDE_INVALIDBLOBOFFSET);
        EXPECT_EQ(ErrorOf([&] { Blobs->Get(f, *image, 0, 1, &b); }), DEZEDE_INVALIDBLOBHANDLE);
        EXPECT_EQ(ErrorOf([&] { Blobs->Free(f, *image); }), DEZEDE_INVALIDBLOBHANDLE);
    }
    EXPECT_EQ(ErrorOf([&] { Blobs->Size(Memo(), original); }), DEZEDE_INVALIDBLOBHANDLE);

    // 128 open values at most.
    std::vector<Bytes> images(kMaxOpenBlobs, original);
    for (size_t i = 1; i < kMaxOpenBlobs; ++i) Blobs->Open(Memo(), images[i], n, RO, Reread());
    EXPECT_EQ(ErrorOf([&] { Blobs->Open(Memo(), images[0], n, RO, Reread()); }), DEZEDE_OPENBLOBLIMIT);
    EXPECT_EQ(images[0], original);
    Blobs->FreeAll();
    EXPECT_EQ(Blobs->OpenCount(), 0u);
    EXPECT_EQ(ErrorOf([&] { Blobs->Size(Memo(), images[1]); }), DEZEDE_INVALIDBLOBHANDLE);
}

TEST_F(BlobBuffers, OutOfDateImageTakesTheRecordsFreshReference) {
    const uint32_t n = Append(Pattern(300, 1), {});
    Append(Pattern(10, 2), {});
    Bytes stale = Record(n);

    // Another cursor rewrites the value; the chain is reused under a new version.
    TBlobBuffers other(Data(), Files->Blob(), "Reason");
    Bytes rec = Record(n);
    other.Open(Memo(), rec, n, RW, Reread());
    const Bytes shorter = Pattern(50, 9);
    other.Truncate(Memo(), rec, 0);
    EXPECT_EQ(rec[Memo().Offset], 0);
    other.Put(Memo(), rec, 0, 50, shorter.data());
    EXPECT_EQ(rec[Memo().Offset], 1);
    Bytes out = rec;
    other.StoreModified(rec, out, false);
    EXPECT_EQ(ReadBlobReference(Memo(), out).FirstBlock, ReadBlobReference(Memo(), stale).FirstBlock);
    Data().WriteRecord(n, out);

    Bytes image = stale;
    EXPECT_EQ(Blobs->Open(Memo(), image, n, RO, Reread()), 50u);
    Blobs->Free(Memo(), image);
    EXPECT_EQ(image, out);

    // Still out of date after the reread; deleted; replaced by another record.
    const TBlobBuffers::TReread sameStale = [&](uint32_t, Bytes& r) {
        r = stale;
        return true;
    };
    EXPECT_EQ(ErrorOf([&] { Blobs->Open(Memo(), image = stale, n, RO, sameStale); }), DEZEDE_MEMOCORRUPT);
    Data().DeleteRecord(n);
    EXPECT_EQ(ErrorOf([&] { Blobs->Open(Memo(), image = stale, n, RO, Reread()); }), DEZEDE_KEYORRECDELETED);
    const uint32_t reused = Append(Pattern(5, 3), {});
    ASSERT_EQ(reused, n);
    EXPECT_EQ(ErrorOf([&] { Blobs->Open(Memo(), image = stale, n, RO, Reread()); }), DEZEDE_KEYORRECDELETED);
    EXPECT_EQ(Blobs->OpenCount(), 0u);
}

TEST_F(BlobBuffers, ModifyKeepsTheOldTextAndAppendCopiesChains) {
    const Bytes before = Pattern(200, 1), after = Pattern(120, 2);
    const uint32_t n = Append(before, Pattern(500, 3));
    const Bytes old = Record(n);
    Bytes rec = old;
    Blobs->Open(Memo(), rec, n, RW, Reread());
    Blobs->Put(Memo(), rec, 0, 120, after.data());
    Blobs->Truncate(Memo(), rec, 120);
    EXPECT_EQ(Blobs->Text(Memo(), rec, true), Str(before));
    EXPECT_EQ(Blobs->Text(Memo(), rec, false), Str(after));
    EXPECT_EQ(Blobs->Text(Bin(), rec, false), Str(Pattern(500, 3)));  // not open: from the file

    Bytes out = rec;
    Blobs->StoreModified(rec, out, false);
    Data().WriteRecord(n, out);
    // The old image's chain was just rewritten; its text is still the old value.
    EXPECT_EQ(Blobs->Text(Memo(), old, true), Str(before));
    EXPECT_EQ(Blobs->Text(Memo(), out, false), Str(after));
    EXPECT_EQ(ReadBlobReference(Bin(), out).Version, ReadBlobReference(Bin(), old).Version);

    // Appending a copy of a stored image gives the copy chains of its own:
    // editing the copy leaves the original alone.
    const uint32_t copy = Append({}, {});
    Bytes dup = Record(n);
    StoreLE32(dup.data() + kRecordIDOffset, static_cast<uint32_t>(Data().NextRecordID()));
    Bytes dupOut = dup;
    Blobs->StoreModified(dup, dupOut, true);
    Data().WriteRecord(copy, dupOut);
    for (const TFieldDescriptor* f : {&Memo(), &Bin()})
        EXPECT_NE(ReadBlobReference(*f, dupOut).FirstBlock, ReadBlobReference(*f, out).FirstBlock);
    Bytes edit = Record(copy);
    Blobs->Open(Bin(), edit, copy, RW, Reread());
    Blobs->Truncate(Bin(), edit, 0);
    Bytes editOut = edit;
    Blobs->StoreModified(edit, editOut, false);
    Blobs->Free(Bin(), edit);
    Data().WriteRecord(copy, editOut);
    EXPECT_EQ(editOut[Bin().Offset], 0);
    Reopen();
    Bytes original = Record(n), copied = Record(copy);
    EXPECT_EQ(ValueOf(Memo(), original), after);
    EXPECT_EQ(ValueOf(Bin(), original), Pattern(500, 3));
    EXPECT_EQ(ValueOf(Memo(), copied), after);
    EXPECT_EQ(ValueOf(Bin(), copied), Bytes{});
}

TEST_F(BlobBuffers, DeletedRecordsReturnTheirChains) {
    const uint32_t keep = Append(Pattern(100, 1), Pattern(100, 2));
    const uint32_t gone = Append(Pattern(1000, 3), Pattern(10, 4));
    const uint32_t blocks = Files->Blob()->Header().NextBlockNumber;
    Bytes rec = Record(gone);
    // A reference whose version is not the chain's owns nothing.
    Bytes stale = rec;
    WriteBlobReference(Memo(), stale, {ReadBlobReference(Memo(), rec).FirstBlock, 12345});
    WriteBlobReference(Bin(), stale, {});
    Blobs->ReleaseRecordBlobs(stale);
    EXPECT_EQ(Files->Blob()->Header().FirstFreeBlock, 0u);

    Blobs->ReleaseRecordBlobs(rec);
    Data().DeleteRecord(gone);
    EXPECT_NE(Files->Blob()->Header().FirstFreeBlock, 0u);
    // The next values take the freed blocks before the file grows.
    Append(Pattern(1000, 5), Pattern(10, 6));
    EXPECT_EQ(Files->Blob()->Header().NextBlockNumber, blocks);
    Reopen();
    Bytes kept = Record(keep);
    EXPECT_EQ(ValueOf(Memo(), kept), Pattern(100, 1));
    EXPECT_EQ(ValueOf(Bin(), kept), Pattern(100, 2));
}

TEST_F(BlobBuffers, ReleasingADamagedChainSparesOtherValues) {
    const uint32_t a = Append(Pattern(50, 1), {});   // blocks 1, 2
    const uint32_t b = Append(Pattern(100, 2), {});  // blocks 3, 4, 5
    // Block 2's next-block number points into the other value's chain.
    Files->WriteChanges();
    {
        std::fstream file(Names.Blob, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(512 + 64 + 4);
        file.write("\x04\0\0\0", 4);
    }
    Reopen();
    Blobs->ReleaseRecordBlobs(Record(a));
    Data().DeleteRecord(a);
    Append(Pattern(1000, 3), {});
    Reopen();
    Bytes rec = Record(b);
    EXPECT_EQ(ValueOf(Memo(), rec), Pattern(100, 2));
}

}  // namespace
}  // namespace dezede
