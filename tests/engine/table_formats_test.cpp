#include <gtest/gtest.h>

#include <vector>

#include "engine/blob_file_format.h"
#include "engine/data_file_format.h"
#include "engine/engine_error.h"
#include "engine/format_bytes.h"
#include "engine/index_file_format.h"
#include "test_errors.h"
#include "sample_tables.h"

namespace dezede {
namespace {

using test::Def;
using test::ErrorOf;

using Bytes = std::vector<uint8_t>;

TEST(DataFileFormat, HeaderFieldsAtTheirOffsets) {
    TDataHeader h;
    h.ChangeCounter = 0x01020304;
    h.Signature = SignatureDigest(kDefaultSignature);
    h.FirstFreeRecord = 5;
    h.NextRecordNumber = 9;
    h.LastRecordID = 8;
    h.LastAutoInc = 3;
    h.RecordCount = 7;
    h.RecordSize = 32;
    h.FieldCount = 1;
    h.BlobFieldCount = 0;
    h.BlobBlockSize = 512;
    h.LastBlobVersion = 4;
    h.IndexPageSize = 4096;
    h.LastUpdated = -0.5;
    h.Description = "Reasons";
    h.Encrypted = true;
    h.Locale = 1033;
    h.UserMajor = 2;
    h.UserMinor = 11;
    h.ChangedFlag = 1;
    Bytes b(512, 0xAA);
    EncodeDataHeader(h, b);
    EXPECT_EQ(b[0], 0x04);
    EXPECT_EQ(b[3], 0x01);
    EXPECT_EQ(b[4], 0);
    EXPECT_EQ(b[8], 6);
    EXPECT_EQ(fmt::LoadLE32(b, 25), 5u);
    EXPECT_EQ(fmt::LoadLE32(b, 29), 9u);
    EXPECT_EQ(fmt::LoadLE16(b, 45), 32);
    EXPECT_EQ(fmt::LoadLE32(b, 51), 512u);
    EXPECT_EQ(fmt::LoadLE32(b, 59), 4096u);
    EXPECT_EQ(fmt::LoadLEDouble(b, 63), -0.5);
    EXPECT_EQ(b[71], 7);
    EXPECT_EQ(b[72], 'R');
    EXPECT_EQ(b[172], 1);
    EXPECT_EQ(fmt::LoadLE32(b, 189), 1033u);
    EXPECT_EQ(fmt::LoadLE16(b, 195), 11);
    EXPECT_EQ(b[197], 1);
    EXPECT_EQ(b[511], 0);
    TDataHeader back = DecodeDataHeader(b);
    EXPECT_EQ(back.ChangedFlag, 0);  // the writer's mark is not taken over
    back.ChangedFlag = 1;
    Bytes again(512);
    EncodeDataHeader(back, again);
    EXPECT_EQ(again, b);
    EXPECT_EQ(VersionText(5), "3.00");
    EXPECT_EQ(VersionText(6), "4.00");
    EXPECT_EQ(VersionText(7), "");
}

TEST(DataFileFormat, FieldDescriptorRoundTrip) {
    TFieldDescriptor f = Def("Name", ftdString, 30);
    f.FieldNumber = 3;
    f.Description = "d";
    f.StorageSize = 31;
    f.Offset = 40;
    f.Required = true;
    f.CharCase = ccUpper;
    f.MinValue = "A";
    f.MaxValue = "Z";
    f.DefaultValue = "M";
    f.NoHash = true;
    Bytes b(768);
    EncodeFieldDescriptor(f, b);
    EXPECT_EQ(fmt::LoadLE16(b, 0), 3);
    EXPECT_EQ(b[2], 4);
    EXPECT_EQ(b[164], ftdString);
    EXPECT_EQ(fmt::LoadLE16(b, 166), 30);
    EXPECT_EQ(fmt::LoadLE16(b, 169), 31);
    EXPECT_EQ(fmt::LoadLE16(b, 172), 40);
    EXPECT_EQ(b[174], 1);
    EXPECT_EQ(b[175], 2);
    EXPECT_EQ(b[177], 'A');
    EXPECT_EQ(b[278], 'Z');
    EXPECT_EQ(b[379], 'M');
    EXPECT_EQ(b[485], 1);
    EXPECT_EQ(DecodeFieldDescriptor(b), f);
    // A length byte beyond the string's room reads as the room, not past it.
    b[2] = 250;
    EXPECT_EQ(DecodeFieldDescriptor(b).Name.size(), 60u);
}

TEST(DataFileFormat, RecordLayout) {
    std::vector<TFieldDescriptor> one = {Def("ID", ftdInteger)};
    EXPECT_EQ(CheckFieldDefinitions(one, "T").RecordSize, 32);
    EXPECT_EQ(one[0].Offset, 25);
    EXPECT_EQ(one[0].FieldNumber, 1);

    std::vector<TFieldDescriptor> mixed = {Def("A", ftdString, 10), Def("B", ftdBlob), Def("C", ftdBCD)};
    mixed[1].Compression = 6;
    TRecordLayout l = CheckFieldDefinitions(mixed, "T");
    EXPECT_EQ(mixed[1].Offset, 25 + 12);
    EXPECT_EQ(mixed[2].Offset, 25 + 12 + 9);
    EXPECT_EQ(l.RecordSize, (25 + 12 + 9 + 35 + 7) / 8 * 8);
    EXPECT_EQ(l.BlobFieldCount, 1);

    // 128 strings of 512 need 25 + 128 × 514 bytes, too many; the largest record, 65528 bytes, fits.
    std::vector<TFieldDescriptor> big;
    for (int i = 0; i < 128; ++i) big.push_back(Def(("S" + std::to_string(i)).c_str(), ftdString, 512));
    EXPECT_EQ(ErrorOf([&] { CheckFieldDefinitions(big, "T"); }), DEZEDE_RECTOOBIG);
    big.pop_back();
    big.push_back(Def("Last", ftdBytes, 65528 - 25 - 127 * 514 - 1));
    EXPECT_EQ(CheckFieldDefinitions(big, "T").RecordSize, 65528);
}

TEST(DataFileFormat, CreationChecks) {
    auto check = [](std::vector<TFieldDescriptor> fields) { return ErrorOf([&] { CheckFieldDefinitions(fields, "T"); }); };
    auto with = [](TFieldDescriptor f) { return std::vector<TFieldDescriptor>{Def("Ok", ftdInteger), f}; };
    TFieldDescriptor bigCompression = Def("B", ftdBlob);
    bigCompression.Compression = 10;
    TFieldDescriptor intCompression = Def("I", ftdInteger);
    intCompression.Compression = 1;
    TFieldDescriptor badDefault = Def("D", ftdDate);
    badDefault.DefaultValue = "31/03/2007";
    TFieldDescriptor dupNumber = Def("N", ftdInteger);
    dupNumber.FieldNumber = 4;
    std::vector<TFieldDescriptor> tooMany(1025, Def("X", ftdInteger));
    std::vector<TFieldDescriptor> blobs;
    for (int i = 0; i < 129; ++i) blobs.push_back(Def(("B" + std::to_string(i)).c_str(), ftdBlob));
    const struct {
        std::vector<TFieldDescriptor> fields;
        int code;
    } cases[] = {
        {{}, DEZEDE_FLDLIMIT},
        {tooMany, DEZEDE_FLDLIMIT},
        {blobs, DEZEDE_BLOBLIMIT},
        {with(Def("", ftdInteger)), DEZEDE_INVALIDFIELDNAME},
        {with(Def("1st", ftdInteger)), DEZEDE_INVALIDFIELDNAME},
        {with(Def("recordid", ftdInteger)), DEZEDE_INVALIDFIELDNAME},
        {with(Def(" ok ", ftdInteger)), DEZEDE_INVALIDFIELDNAME},
        {with(Def(std::string(61, 'a').c_str(), ftdInteger)), DEZEDE_INVALIDFIELDNAME},
        {with(Def("Zero", ftdNone)), DEZEDE_INVALIDFLDTYPE},
        {with(Def("S", ftdString, 0)), DEZEDE_INVALIDFLDTYPE},
        {with(Def("S", ftdString, 513)), DEZEDE_INVALIDFLDTYPE},
        {with(Def("W", ftdString, 257, fsdWideString)), DEZEDE_INVALIDFLDTYPE},
        {with(bigCompression), DEZEDE_INVALIDFLDTYPE},
        {with(intCompression), DEZEDE_INVALIDFLDTYPE},
        {with(badDefault), DEZEDE_INVALIDVCHKSTRUCT},
        {{dupNumber, dupNumber}, DEZEDE_INVALIDFIELDNAME},
        {with(Def("\xE9t\xE9", ftdString, 512)), 0},
        {with(Def("W", ftdString, 256, fsdWideString)), 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(check(cases[i].fields), cases[i].code) << i;
    TFieldDescriptor a = Def("A", ftdInteger), b = Def("B", ftdInteger);
    a.FieldNumber = b.FieldNumber = 2;
    EXPECT_EQ(check({a, b}), DEZEDE_INVALIDFLDTYPE);
}

TEST(DataFileFormat, VerifyHeader) {
    std::vector<TFieldDescriptor> fields = {Def("A", ftdInteger), Def("B", ftdString, 10)};
    TDataHeader h;
    TRecordLayout l = CheckFieldDefinitions(fields, "T");
    h.RecordSize = l.RecordSize;
    h.FieldCount = 2;
    h.NextRecordNumber = 4;
    h.FirstFreeRecord = 2;
    uint64_t size = DataStart(2) + 3 * h.RecordSize;
    EXPECT_NO_THROW(VerifyDataHeader(h, fields, size, "T"));
    auto fails = [&](auto change) {
        TDataHeader h2 = h;
        std::vector<TFieldDescriptor> f2 = fields;
        uint64_t s2 = size;
        change(h2, f2, s2);
        return ErrorOf([&] { VerifyDataHeader(h2, f2, s2, "T"); });
    };
    using H = TDataHeader;
    using F = std::vector<TFieldDescriptor>;
    EXPECT_EQ(fails([](H&, F&, uint64_t& s) { s += 1; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H& h, F&, uint64_t&) { h.NextRecordNumber = 5; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H& h, F&, uint64_t&) { h.FirstFreeRecord = 4; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H& h, F&, uint64_t&) { h.RecordSize += 8; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H&, F& f, uint64_t&) { f[1].Offset += 1; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H&, F& f, uint64_t&) { f[1].Name = "a"; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H&, F& f, uint64_t&) { f[1].FieldNumber = 3; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H&, F& f, uint64_t&) { f[0].Scale = 2; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H&, F& f, uint64_t&) { f[0].MaxValue = "x"; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H& h, F&, uint64_t&) { h.Locale = 0x7FFFFFFF; }), DEZEDE_CANNOTLOADLDDRV);
}

TEST(DataFileFormat, RecordHashIgnoresBlobAndNoHashFields) {
    std::vector<TFieldDescriptor> fields = {Def("A", ftdInteger), Def("B", ftdBlob), Def("C", ftdInteger)};
    fields[2].NoHash = true;
    TRecordLayout l = CheckFieldDefinitions(fields, "T");
    Bytes rec(l.RecordSize, 0);
    rec[fields[0].Offset] = 1;
    TDigest base = ComputeRecordHash(fields, l.BlobFieldCount, rec);
    Bytes changed = rec;
    changed[fields[1].Offset] = 1;
    changed[fields[1].Offset + 3] = 9;
    changed[fields[2].Offset + 1] = 9;
    changed[5] = 77;  // RecordID is outside the hashed area
    EXPECT_EQ(ComputeRecordHash(fields, l.BlobFieldCount, changed), base);
    changed[fields[0].Offset + 1] = 1;
    EXPECT_NE(ComputeRecordHash(fields, l.BlobFieldCount, changed), base);
    // Without BLOB fields the slot is hashed as it is.
    EXPECT_EQ(ComputeRecordHash(fields, 0, rec), MD5Digest(rec.data() + 25, rec.size() - 25));
}

TEST(IndexFileFormat, HeaderAndDescriptorOffsets) {
    TIndexHeader h;
    h.FirstFreePage = 3;
    h.NextPageNumber = 10;
    h.SecondaryCount = 2;
    h.RootPages[0] = 1;
    h.RootPages[31] = 7;
    h.AuxPages[31] = 8;
    h.ChangedFlag = 1;
    Bytes b(512);
    EncodeIndexHeader(h, b);
    EXPECT_EQ(fmt::LoadLE32(b, 25), 3u);
    EXPECT_EQ(fmt::LoadLE32(b, 29), 10u);
    EXPECT_EQ(b[33], 2);
    EXPECT_EQ(fmt::LoadLE32(b, 34), 1u);
    EXPECT_EQ(fmt::LoadLE32(b, 34 + 124), 7u);
    EXPECT_EQ(fmt::LoadLE32(b, 162 + 124), 8u);
    EXPECT_EQ(b[290], 1);

    TIndexDescriptor d;
    d.Name = "ByName";
    d.KeySize = 20;
    d.CaseInsensitive = true;
    d.Compression = icFull;
    d.FieldCount = 2;
    d.FieldNumbers[0] = 2;
    d.FieldNumbers[1] = kRecordHashField;
    d.DescendingFields[1] = true;
    d.NoKeyStats = true;
    Bytes db(768);
    EncodeIndexDescriptor(d, db);
    EXPECT_EQ(db[0], 6);
    EXPECT_EQ(fmt::LoadLE16(db, 61), 20);
    EXPECT_EQ(db[127], 1);
    EXPECT_EQ(db[129], 3);
    EXPECT_EQ(db[130], 2);
    EXPECT_EQ(db[131], 0);
    EXPECT_EQ(db[132], 1);
    EXPECT_EQ(fmt::LoadLE16(db, 259), 2);
    EXPECT_EQ(fmt::LoadLE16(db, 261), 0xFFFE);
    EXPECT_EQ(db[515], 1);
    EXPECT_EQ(DecodeIndexDescriptor(db), d);
}

TEST(IndexFileFormat, DefinitionChecksAndKeySize) {
    std::vector<TFieldDescriptor> fields = {Def("A", ftdInteger), Def("B", ftdBlob), Def("S", ftdString, 200)};
    CheckFieldDefinitions(fields, "T");
    auto def = [](const char* name, std::vector<int16_t> nums, bool unique = false) {
        TIndexDescriptor d;
        d.Name = name;
        d.Unique = unique;
        d.FieldCount = static_cast<uint8_t>(nums.size());
        for (size_t i = 0; i < nums.size(); ++i) d.FieldNumbers[i] = nums[i];
        return d;
    };
    TIndexDescriptor ok = def("ByA", {1});
    CheckIndexDefinition(ok, false, fields, 4096, "T");
    EXPECT_EQ(ok.KeySize, 9);  // 5 + 4 RecordID suffix
    TIndexDescriptor pk = def("ignored", {1, kRecordHashField});
    CheckIndexDefinition(pk, true, fields, 4096, "T");
    EXPECT_EQ(pk.KeySize, 5 + 17);
    EXPECT_TRUE(pk.Unique);
    EXPECT_TRUE(pk.Name.empty());

    const struct {
        TIndexDescriptor d;
        uint32_t page;
        int code;
    } cases[] = {
        {def("9x", {1}), 4096, DEZEDE_INVALIDINDEXNAME},
        {def("X", {4}), 4096, DEZEDE_INVALIDIDXDESC},
        {def("X", {2}), 4096, DEZEDE_SEARCHCOLREQD},
        {def("X", {3, 3}), 1024, DEZEDE_INVALIDKEY},  // 2 × 202 + 4 > (1024 − 13) ÷ 3
        {def("X", {3, 3}), 4096, 0},
    };
    for (auto c : cases) EXPECT_EQ(ErrorOf([&] { CheckIndexDefinition(c.d, false, fields, c.page, "T"); }), c.code);
    // 4107 bytes is refused even on the largest pages.
    std::vector<TFieldDescriptor> wide;
    for (int i = 0; i < 8; ++i) wide.push_back(Def(("W" + std::to_string(i)).c_str(), ftdBytes, 512));
    wide.push_back(Def("Z", ftdBytes, 1));
    CheckFieldDefinitions(wide, "T");
    TIndexDescriptor all = def("All", {1, 2, 3, 4, 5, 6, 7, 8, 9}, true);
    EXPECT_EQ(ComputeKeySize(all, wide), 4106u);
    EXPECT_EQ(ErrorOf([&] { CheckIndexDefinition(all, false, wide, 16384, "T"); }), 0);
    wide[8].Size = 2;
    CheckFieldDefinitions(wide, "T");
    EXPECT_EQ(ErrorOf([&] { CheckIndexDefinition(all, false, wide, 16384, "T"); }), DEZEDE_INVALIDKEY);
}

TEST(IndexFileFormat, RecordKeysOfACaseInsensitiveIndex) {
    std::vector<TFieldDescriptor> fields = {Def("S", ftdString, 5)};
    TRecordLayout l = CheckFieldDefinitions(fields, "T");
    TIndexDescriptor d;
    d.Name = "ByS";
    d.CaseInsensitive = true;
    d.FieldCount = 1;
    d.FieldNumbers[0] = 1;
    CheckIndexDefinition(d, false, fields, 1024, "T");
    auto key = [&](const char* text, int32_t id) {
        Bytes rec(l.RecordSize, 0);
        fmt::StoreLE32(rec, 5, static_cast<uint32_t>(id));
        std::string s(text);
        SetFieldValue(fields[0], rec, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
        Bytes k(d.KeySize);
        BuildRecordKey(d, fields, 0, rec, k);
        return k;
    };
    EXPECT_EQ(key("abc", 1), key("ABC", 1));
    EXPECT_EQ(key("abc", 1), (Bytes{1, 'A', 'B', 'C', 0, 0, 0, 0x80, 0, 0, 1}));
    TKeyLayout layout = MakeKeyLayout(d, false, fields, 0);
    EXPECT_EQ(CompareKeys(layout, key("abc", 1), key("ABC", 2), d.KeySize), -1);
    EXPECT_EQ(CompareKeys(layout, key("abd", 1), key("ABC", 2), d.KeySize), 1);
}

TEST(IndexFileFormat, VerifyIndexHeader) {
    std::vector<TFieldDescriptor> fields = {Def("A", ftdInteger), Def("M", ftdBlob, 0, fsdMemo)};
    CheckFieldDefinitions(fields, "T");
    std::array<TIndexDescriptor, kIndexSlotCount> slots{};
    slots[0] = DefaultPrimaryIndex();
    slots[31] = FullTextIndex({2});
    TIndexDescriptor sec;
    sec.Name = "ByA";
    sec.FieldCount = 1;
    sec.FieldNumbers[0] = 1;
    CheckIndexDefinition(sec, false, fields, 1024, "T");
    slots[1] = sec;
    TIndexHeader h;
    h.SecondaryCount = 1;
    h.NextPageNumber = 3;
    h.FirstFreePage = 2;
    uint64_t size = kIndexDataStart + 2 * 1024;
    EXPECT_NO_THROW(VerifyIndexHeader(h, slots, fields, 1024, size, "T"));
    auto fails = [&](auto change) {
        auto s2 = slots;
        TIndexHeader h2 = h;
        change(h2, s2);
        return ErrorOf([&] { VerifyIndexHeader(h2, s2, fields, 1024, size, "T"); });
    };
    using H = TIndexHeader;
    using S = std::array<TIndexDescriptor, kIndexSlotCount>;
    EXPECT_EQ(fails([](H& h, S&) { h.FirstFreePage = 3; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H& h, S&) { h.RootPages[1] = 9; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H&, S& s) { s[2] = s[1]; }), DEZEDE_HEADERCORRUPT);  // duplicate name
    EXPECT_EQ(fails([](H&, S& s) { s[1].KeySize = 8; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H&, S& s) { s[1].FieldNumbers[0] = 2; }), DEZEDE_HEADERCORRUPT);  // BLOB
    EXPECT_EQ(fails([](H&, S& s) { s[0].Unique = false; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H&, S& s) { s[31].FieldNumbers[0] = 1; }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(fails([](H&, S& s) { s[31].Name = "Text"; }), DEZEDE_HEADERCORRUPT);
}

TEST(BlobFileFormat, HeaderBlockAndReference) {
    TBlobHeader h;
    h.FirstFreeBlock = 2;
    h.NextBlockNumber = 5;
    h.ChangedFlag = 1;
    Bytes b(512);
    EncodeBlobHeader(h, b);
    EXPECT_EQ(b[8], 6);
    EXPECT_EQ(fmt::LoadLE32(b, 25), 2u);
    EXPECT_EQ(fmt::LoadLE32(b, 29), 5u);
    EXPECT_EQ(b[33], 1);
    Bytes blk(18);
    EncodeBlockHeader({1, 3, 494, 7, 1000}, blk);
    EXPECT_EQ(blk, (Bytes{1, 0, 0, 0, 3, 0, 0, 0, 0xEE, 1, 7, 0, 0, 0, 0xE8, 3, 0, 0}));
    EXPECT_EQ(ErrorOf([] { VerifyBlobHeader({.FirstFreeBlock = 0}, 512, 512, "T"); }), 0);
    EXPECT_EQ(ErrorOf([] { VerifyBlobHeader({.FirstFreeBlock = 1}, 512, 512, "T"); }), DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(ErrorOf([] { VerifyBlobHeader({.FirstFreeBlock = 1, .NextBlockNumber = 2}, 512, 1024, "T"); }), 0);
}

}  // namespace
}  // namespace dezede
