#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/dataset_field_type.h"
#include "engine/engine_error.h"
#include "engine/field_types.h"
#include "engine/field_value.h"
#include "engine/format_bytes.h"

namespace dezede {
namespace {

using Bytes = std::vector<uint8_t>;

TFieldDescriptor Field(uint8_t type, uint8_t subType = 0, uint16_t size = 0, uint16_t offset = 25) {
    TFieldDescriptor f;
    f.FieldNumber = 1;
    f.Name = "F";
    f.Type = type;
    f.SubType = subType;
    f.Size = size;
    f.StorageSize = StorageSize(f);
    f.Offset = offset;
    return f;
}

Bytes Key(const TFieldDescriptor& f, const Bytes& value, bool isNull = false, bool ci = false) {
    Bytes out(1 + KeySize(f));
    EncodeKeyValue(f, value, isNull, ci, 0, out);
    return Bytes(out.begin() + 1, out.end());
}

Bytes LE(uint64_t v, size_t n) {
    Bytes b(n);
    fmt::StoreLE64(b.size() >= 8 ? b : (b.resize(8), b), 0, v);
    b.resize(n);
    return b;
}

Bytes Dbl(double d) {
    Bytes b(8);
    fmt::StoreLEDouble(b, 0, d);
    return b;
}

TEST(FieldTypes, StorageAndKeySizes) {
    const struct {
        uint8_t type, sub;
        uint16_t size, storage, key;
    } cases[] = {
        {ftdString, 0, 10, 11, 11},   {ftdString, fsdWideString, 10, 21, 21}, {ftdDate, 0, 0, 4, 4},
        {ftdInteger, 0, 0, 4, 4},     {ftdTime, 0, 0, 4, 4},                  {ftdBlob, 0, 0, 8, 8},
        {ftdFloat, 0, 0, 8, 8},       {ftdTimestamp, 0, 0, 8, 8},             {ftdLargeInt, 0, 0, 8, 8},
        {ftdBoolean, 0, 0, 2, 2},     {ftdSmallInt, 0, 0, 2, 2},              {ftdWord, 0, 0, 2, 2},
        {ftdBCD, 0, 0, 34, 8},        {ftdBytes, 0, 7, 7, 7},                 {ftdVarBytes, 0, 9, 9, 9},
        {ftdUInteger, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StorageSize(c.type, c.sub, c.size), c.storage) << int(c.type);
        EXPECT_EQ(KeySize(c.type, c.sub, c.size), c.key) << int(c.type);
    }
    EXPECT_EQ(MaxDeclaredSize(ftdString, fsdGuid), 39);
    EXPECT_EQ(MaxDeclaredSize(ftdString, fsdWideString), 256);
    EXPECT_EQ(MaxDeclaredSize(ftdBCD, 0), 34);
}

TEST(FieldTypes, KeyBytesSortAsValues) {
    TFieldDescriptor i32 = Field(ftdInteger), dbl = Field(ftdFloat), bcd = Field(ftdBCD);
    EXPECT_EQ(Key(i32, LE(uint32_t(-1), 4)), (Bytes{0x7F, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Key(i32, LE(0, 4)), (Bytes{0x80, 0, 0, 0}));
    EXPECT_EQ(Key(i32, LE(1, 4)), (Bytes{0x80, 0, 0, 1}));
    EXPECT_EQ(Key(dbl, Dbl(1.0)), (Bytes{0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Key(dbl, Dbl(-1.0)), (Bytes{0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    Bytes b(34);
    CurrencyToBcdRecord(125000, 1, b);
    EXPECT_EQ(Key(bcd, b), (Bytes{0x80, 0, 0, 0, 0, 0x01, 0xE8, 0x48}));
    EXPECT_EQ(BcdRecordToCurrency(b), 125000);
    EXPECT_EQ(Key(Field(ftdSmallInt), LE(uint16_t(-2), 2)), (Bytes{0x7F, 0xFE}));
    EXPECT_EQ(Key(Field(ftdWord), LE(0x1234, 2)), (Bytes{0x12, 0x34}));
    EXPECT_EQ(Key(Field(ftdLargeInt), LE(uint64_t(-1), 8)), (Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));

    // Ordering of many doubles and integers follows the values.
    const double ds[] = {-1e300, -2.5, -1.0, -0.0, 0.0, 1e-300, 1.0, 3.5, 1e300};
    for (size_t i = 1; i < std::size(ds); ++i) EXPECT_LE(Key(dbl, Dbl(ds[i - 1])), Key(dbl, Dbl(ds[i]))) << ds[i];
    const int32_t is[] = {INT32_MIN, -70000, -1, 0, 1, 255, 256, INT32_MAX};
    for (size_t i = 1; i < std::size(is); ++i)
        EXPECT_LT(Key(i32, LE(uint32_t(is[i - 1]), 4)), Key(i32, LE(uint32_t(is[i]), 4)));

    // A null key has presence 0 and is encoded from zero data.
    Bytes full(5);
    EncodeKeyValue(i32, LE(77, 4), true, false, 0, full);
    EXPECT_EQ(full, (Bytes{0, 0x80, 0, 0, 0}));
}

TEST(FieldTypes, BcdRecordLayout) {
    Bytes b(34);
    CurrencyToBcdRecord(-125000, 2, b);  // -12.50 with two places
    EXPECT_EQ(b[0], 32);
    EXPECT_EQ(b[1], 0x82);
    EXPECT_EQ(b[16], 0x12);  // digits 29..30 of 32: 1 2, then 5 0
    EXPECT_EQ(b[17], 0x50);
    EXPECT_EQ(BcdRecordToCurrency(b), -125000);
    EXPECT_EQ(FormatBcd(b, 2), "-12.50");
    Bytes zero(34);
    EXPECT_EQ(BcdRecordToCurrency(zero), 0);  // precision 0 reads as 0
}

TEST(FieldTypes, SetAndGetString) {
    TFieldDescriptor plain = Field(ftdString, 0, 5), fixed = Field(ftdString, fsdFixedChar, 8);
    TFieldDescriptor upper = Field(ftdString, 0, 5);
    upper.CharCase = ccUpper;
    const struct {
        const TFieldDescriptor* f;
        const char* in;
        const char* stored;
        bool isNull;
    } cases[] = {
        {&plain, "abc   ", "abc", false}, {&fixed, "abc   ", "abc   ", false}, {&plain, "", "", true},
        {&plain, "   ", "", true},        {&plain, "abcdefgh", "abcde", false}, {&upper, "ab\xe9z", "AB\xc9Z", false},
    };
    for (const auto& c : cases) {
        Bytes rec(48, 0xEE);
        std::string in(c.in);
        SetFieldValue(*c.f, rec, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(in.data()), in.size()));
        Bytes v(c.f->StorageSize);
        EXPECT_EQ(GetFieldValue(*c.f, rec, v), c.isNull) << c.in;
        EXPECT_STREQ(reinterpret_cast<const char*>(v.data()), c.stored) << c.in;
        EXPECT_EQ(v.back(), 0) << "always NUL-terminated";
    }
}

TEST(FieldTypes, SetOtherTypesAndNull) {
    TFieldDescriptor b = Field(ftdBoolean), i = Field(ftdInteger), blob = Field(ftdBlob);
    Bytes rec(48, 0);
    SetFieldValue(b, rec, std::span<const uint8_t>(LE(255, 2)));
    Bytes v(8);
    EXPECT_FALSE(GetFieldValue(b, rec, v));
    EXPECT_EQ(fmt::LoadLE16(v, 0), 1);

    SetFieldValue(i, rec, std::span<const uint8_t>(LE(42, 4)));
    SetFieldValue(i, rec, std::nullopt);
    EXPECT_TRUE(GetFieldValue(i, rec, v));
    EXPECT_EQ(rec[26], 0);

    // A BLOB field keeps its reference when set to null and writes only the first block.
    Bytes brec(48, 0);
    fmt::StoreLE32(brec, 30, 99);  // version stamp
    SetFieldValue(blob, brec, std::span<const uint8_t>(LE(7, 8)));
    EXPECT_EQ(fmt::LoadLE32(brec, 26), 7u);
    EXPECT_EQ(fmt::LoadLE32(brec, 30), 99u);
    SetFieldValue(blob, brec, std::nullopt);
    EXPECT_EQ(fmt::LoadLE32(brec, 26), 7u);

    // Pseudo fields read at their offset and are never null.
    Bytes prec(48, 0);
    fmt::StoreLE32(prec, 5, 1234);
    EXPECT_FALSE(GetFieldValue(RecordIDDescriptor(), prec, v));
    EXPECT_EQ(fmt::LoadLE32(v, 0), 1234u);

    // A field that would reach past the record is refused.
    TFieldDescriptor bad = Field(ftdInteger, 0, 0, 46);
    EXPECT_THROW(GetFieldValue(bad, prec, v), EDEZEDEEngineError);
}

TEST(FieldTypes, CaseInsensitiveKeysAndCompare) {
    TFieldDescriptor s = Field(ftdString, 0, 10);
    std::string abc = "abc", ABC = "ABC";
    Bytes a(abc.begin(), abc.end()), A(ABC.begin(), ABC.end());
    a.resize(11);
    A.resize(11);
    EXPECT_EQ(Key(s, a, false, true), Key(s, A, false, true));
    EXPECT_NE(Key(s, a), Key(s, A));

    EXPECT_EQ(CompareStrings(0, "abc", "ABC", true), 0);
    EXPECT_EQ(CompareStrings(0, "abc", "ABC", false), 1);
    EXPECT_EQ(CompareStrings(0, "ab", "abc", false), -1);
    EXPECT_EQ(CompareStrings(0, "abcX", "abcY", false, 3), 0);
}

TEST(FieldTypes, CompareKeysDescendingNullsAndSuffix) {
    TKeyLayout layout;
    layout.Fields = {{1, ftdInteger, 4, false}, {2, ftdInteger, 4, true}};
    auto key = [](bool p1, int32_t v1, bool p2, int32_t v2, int32_t id) {
        Bytes k(14);
        k[0] = p1;
        EncodeKeyInt32(v1, std::span<uint8_t>(k).subspan(1, 4));
        k[5] = p2;
        EncodeKeyInt32(v2, std::span<uint8_t>(k).subspan(6, 4));
        EncodeKeyInt32(id, std::span<uint8_t>(k).subspan(10, 4));
        return k;
    };
    EXPECT_EQ(CompareKeys(layout, key(1, 1, 1, 5, 1), key(1, 2, 1, 5, 1), 14), -1);
    EXPECT_EQ(CompareKeys(layout, key(1, 1, 1, 5, 1), key(1, 1, 1, 6, 1), 14), 1);   // descending field
    EXPECT_EQ(CompareKeys(layout, key(0, 0, 1, 5, 1), key(1, -9, 1, 5, 1), 14), -1);  // null first ascending
    EXPECT_EQ(CompareKeys(layout, key(1, 1, 0, 0, 1), key(1, 1, 1, 0, 1), 14), 1);    // null last descending
    EXPECT_EQ(CompareKeys(layout, key(1, 1, 1, 5, 2), key(1, 1, 1, 5, 3), 14), -1);   // RecordID suffix
    EXPECT_EQ(CompareKeys(layout, key(1, 1, 1, 5, 2), key(1, 1, 1, 5, 3), 10), 0);    // prefix only
}

TEST(FieldTypes, Literals) {
    const struct {
        uint8_t type;
        const char* text;
        bool valid;
    } cases[] = {
        {ftdBoolean, "true", true},          {ftdBoolean, "yes", false},        {ftdInteger, "-42", true},
        {ftdInteger, "4x", false},           {ftdSmallInt, "40000", false},     {ftdFloat, "3.25", true},
        {ftdFloat, "3,25", false},           {ftdBCD, "-.5", true},             {ftdDate, "2007-03-31", true},
        {ftdDate, "2007-02-30", false},      {ftdDate, "current_date", true},   {ftdTime, "12:30", true},
        {ftdTime, "12:30:15.5 PM", true},    {ftdTime, "25:00", false},         {ftdTimestamp, "2007-03-31 8:00", true},
        {ftdTimestamp, "8:00", true},        {ftdTimestamp, "CURRENT_TIME", true}, {ftdBlob, "x", false},
        {ftdBlob, "", true},                 {ftdString, "anything", true},
    };
    for (const auto& c : cases) EXPECT_EQ(ValidateLiteral(c.text, c.type), c.valid) << c.text;

    TFieldDescriptor t = Field(ftdTime);
    auto v = ParseLiteral(t, "12:05 AM", {});
    ASSERT_TRUE(v);
    EXPECT_EQ(fmt::LoadLE32(*v, 0), 5u * 60 * 1000);
    v = ParseLiteral(t, "1:00:00.250 PM", {});
    EXPECT_EQ(fmt::LoadLE32(*v, 0), 13u * 3600 * 1000 + 250);
                }

TEST(FieldTypes, DefaultsAndConstraints) {
    std::vector<TFieldDescriptor> fields = {Field(ftdString, 0, 10, 25), Field(ftdInteger, 0, 0, 36),
                                            Field(ftdDate, 0, 0, 41)};
    fields[0].DefaultValue = "  hi  ";
    fields[0].MinValue = " ";
    fields[1].DefaultValue = "7";
    fields[1].MaxValue = "10";
    fields[2].Required = true;
    fields[2].DefaultValue = "CURRENT_DATE";
    for (size_t i = 0; i < fields.size(); ++i) fields[i].Name = std::string(1, char('A' + i));
    Bytes rec(48, 0xFF);
    InitRecordDefaults(fields, rec, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(rec.data() + 26), "  hi");
    EXPECT_EQ(fmt::LoadLE32(rec, 37), 7u);
    EXPECT_EQ(fmt::LoadLEI32(rec, 42), LocalNow().Date);
    EXPECT_NO_THROW(CheckConstraints(fields, rec, 0, "T"));

    auto code = [&](const Bytes& r) -> int {
        try {
            CheckConstraints(fields, r, 0, "T");
        } catch (const EDEZEDEEngineError& e) {
            return e.ErrorCode;
        }
        return 0;
    };
    Bytes r = rec;
    SetFieldValue(fields[1], r, std::span<const uint8_t>(LE(11, 4)));
    EXPECT_EQ(code(r), DEZEDE_MAXVALERR);
    r = rec;
    SetFieldValue(fields[2], r, std::nullopt);
    EXPECT_EQ(code(r), DEZEDE_REQDERR);
    r = rec;
    SetFieldValue(fields[0], r, std::nullopt);  // a null string is still checked against its minimum
    EXPECT_EQ(code(r), DEZEDE_MINVALERR);
}

TEST(FieldTypes, DatasetTypeMapping) {
    using enum TDatasetFieldType;
    for (TDatasetFieldType t : {ftString, ftFixedChar, ftWideString, ftGuid, ftDate, ftBlob, ftMemo, ftGraphic,
                                ftBoolean, ftSmallint, ftInteger, ftAutoInc, ftFloat, ftCurrency, ftBCD, ftBytes,
                                ftTime, ftDateTime, ftWord, ftVarBytes, ftLargeint, ftADT, ftArray, ftReference,
                                ftDataSet}) {
        TEngineFieldType e = EngineFieldType(t);
        EXPECT_EQ(DatasetFieldType(e.Type, e.SubType), t) << int(t);
    }
    EXPECT_EQ(EngineFieldType(ftFmtMemo).SubType, fsdMemo);
    EXPECT_EQ(EngineFieldType(ftVariant).Type, 0);
    EXPECT_EQ(DatasetFieldType(ftdBlob, 33), ftMemo);
    EXPECT_EQ(DatasetFieldType(ftdBlob, 30), ftBlob);
    EXPECT_EQ(DatasetFieldType(ftdCursor, 0), ftUnknown);
    EXPECT_EQ(DatasetFieldType(ftdUInteger, 0), ftInteger);
    EXPECT_EQ(DatasetFieldType(ftdULargeInt, 0), ftLargeint);
}

}  // namespace
}  // namespace dezede
