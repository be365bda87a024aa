// JSON values of the dump's forms back into field values, and record lines
// into record images.

#include <gtest/gtest.h>

#include <sstream>

#include "engine/data_file_format.h"
#include "support/bcd.h"
#include "support/date_time.h"
#include "tests/engine/sample_tables.h"
#include "tests/tools/value_bytes.h"
#include "tools/dezede/json_field_value.h"
#include "tools/dezede/progress_bar.h"

namespace dezede::test {
namespace {

using tool::EJsonValueError;
using tool::JsonToFieldValue;
Bytes Bcd(const std::string& text) {
    Bytes b(kBcdSize);
    TextToBcd(text)->Store(b.data());
    return b;
}

TFieldDescriptor Field(uint8_t type, uint16_t size = 0, uint8_t sub = fsdNone, uint8_t scale = 0) {
    TFieldDescriptor f = Def("F", type, size, sub);
    f.Scale = scale;
    f.StorageSize = StorageSize(f);
    return f;
}

TEST(JsonFieldValue, AcceptsTheDumpFormsOfEveryType) {
    const double ts = EncodeTimestamp(*EncodeDate(2007, 3, 31), 3723004);
    struct Case {
        TFieldDescriptor Field;
        const char* Json;
        Bytes Expected;
    } cases[] = {
        {Field(ftdString, 5), R"("Cr\u00e8me")", Text("Cr\xe8me")},
        {Field(ftdBoolean), "true", Le(1, 2)},
        {Field(ftdBoolean), "false", Le(0, 2)},
        {Field(ftdSmallInt), "-32768", Le(0x8000, 2)},
        {Field(ftdWord), "65535", Le(0xFFFF, 2)},
        {Field(ftdInteger), "-5", Le(uint32_t(-5), 4)},
        {Field(ftdUInteger, 4), "4294967295", Le(0xFFFFFFFF, 4)},
        {Field(ftdLargeInt), "-9223372036854775808", Le(0x8000000000000000ULL, 8)},
        {Field(ftdULargeInt, 8), "18446744073709551615", Le(~0ULL, 8)},
        {Field(ftdFloat), "0.1", Le(std::bit_cast<uint64_t>(0.1), 8)},
        {Field(ftdFloat), "3", Le(std::bit_cast<uint64_t>(3.0), 8)},
        {Field(ftdDate), R"("2007-03-31")", Le(uint32_t(*EncodeDate(2007, 3, 31)), 4)},
        {Field(ftdTime), R"("01:02:03.004")", Le(3723004, 4)},
        {Field(ftdTimestamp), R"("2007-03-31 01:02:03.004")", Le(std::bit_cast<uint64_t>(ts), 8)},
        {Field(ftdBCD, 0, fsdNone, 2), R"("-12.50")", Bcd("-12.50")},
        {Field(ftdBCD, 0, fsdNone, 2), R"("7")", Bcd("7.00")},
        {Field(ftdBCD, 0, fsdNone, 2), R"("1.2300")", Bcd("1.23")},  // zeros beyond the places
        {Field(ftdBCD, 0, fsdNone, 0), R"("123456789012345678901234567890")",
         Bcd("123456789012345678901234567890")},
        {Field(ftdBytes, 3), R"("Ab01fF")", Bytes{0xAB, 0x01, 0xFF}},
        {Field(ftdBlob, 0, fsdMemo), R"("line1\nline2")", Text("line1\nline2")},
        {Field(ftdBlob), R"("dead")", Bytes{0xDE, 0xAD}},
        {Field(ftdBlob), R"("")", Bytes{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Json);
        std::optional<Bytes> v = JsonToFieldValue(c.Field, nlohmann::json::parse(c.Json), 0);
        ASSERT_TRUE(v);
        EXPECT_EQ(*v, c.Expected);
    }
    EXPECT_FALSE(JsonToFieldValue(Field(ftdInteger), nullptr, 0));
}

TEST(JsonFieldValue, RefusesWhatTheFieldCannotHoldExactly) {
    struct Case {
        TFieldDescriptor Field;
        const char* Json;
        const char* Message;  // a part of the message
    } cases[] = {
        {Field(ftdString, 3), R"("four")", "longer than the field's 3 characters"},
        {Field(ftdString, 9), R"("\u4e2d")", "code page cannot represent"},
        {Field(ftdString, 9), R"("a\u0000b")", "NUL"},
        {Field(ftdString, 9), "5", "expects a string"},
        {Field(ftdBoolean), "1", "expects true or false"},
        {Field(ftdSmallInt), "32768", "outside the range -32768 to 32767"},
        {Field(ftdWord), "-1", "outside the range 0 to 65535"},
        {Field(ftdInteger), "1.5", "expects an integer"},
        {Field(ftdInteger), R"("7")", "expects an integer"},
        {Field(ftdLargeInt), "9223372036854775808", "outside the range"},
        {Field(ftdUInteger), "1", "does not fit the field's 0 bytes of storage"},  // stored with its declared size
        {Field(ftdFloat), R"("1")", "expects a number"},
        {Field(ftdDate), R"("2007-02-30")", "not a date"},
        {Field(ftdTime), R"("25:00")", "not a time"},
        {Field(ftdTimestamp), "12", "expects a timestamp"},
        {Field(ftdBCD, 0, fsdNone, 2), R"("1.234")", "at most 2 places"},
        {Field(ftdBCD, 0, fsdNone, 2), R"("1e5")", "not a decimal"},
        {Field(ftdBCD, 0, fsdNone, 2), R"(".")", "not a decimal"},
        {Field(ftdBCD, 0, fsdNone, 2), R"("1234567890123456789012345678901")", "32 digits"},
        {Field(ftdBCD, 0, fsdNone, 2), "1.5", "expects a decimal text"},
        {Field(ftdBytes, 2), R"("abcdef")", "longer than the field's 2 bytes"},
        {Field(ftdBytes, 2), R"("abc")", "even number"},
        {Field(ftdBlob), R"("zz")", "hex digits"},
        {Field(ftdBlob, 0, fsdMemo), "[]", "expects a text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Json);
        try {
            JsonToFieldValue(c.Field, nlohmann::json::parse(c.Json), 0);
            ADD_FAILURE() << "accepted";
        } catch (const EJsonValueError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
        }
    }
    TFieldDescriptor computed = Field(ftdInteger);
    computed.Computed = true;
    EXPECT_FALSE(JsonToFieldValue(computed, nullptr, 0));
    EXPECT_THROW(JsonToFieldValue(computed, 5, 0), EJsonValueError);
}

class JsonRecordReader : public ::testing::Test {
protected:
    void SetUp() override {
        Fields = {Def("Name", ftdString, 10), Def("Count", ftdInteger), Def("Memo", ftdBlob, 0, fsdMemo)};
        for (size_t i = 0; i < Fields.size(); ++i) Fields[i].FieldNumber = static_cast<int16_t>(i + 1);
        Size = ComputeRecordLayout(Fields, "t").RecordSize;
    }

    std::string Error(std::string_view line) {
        tool::TJsonRecord r;
        try {
            tool::TJsonRecordReader(Fields, 0, Size).Read(line, r);
        } catch (const EJsonValueError& e) {
            return e.what();
        }
        return "";
    }

    std::vector<TFieldDescriptor> Fields;
    size_t Size = 0;
};

TEST_F(JsonRecordReader, BuildsTheImageAndCollectsBlobs) {
    tool::TJsonRecordReader reader(Fields, 0, Size);
    tool::TJsonRecord r;
    reader.Read(R"({"RecordID":99,"count":7,"Memo":"long text"})", r);
    Bytes expected(Size, 0);
    SetFieldValue(Fields[1], expected, std::span<const uint8_t>(Le(7, 4)));
    EXPECT_EQ(r.Image, expected);  // Name missing: NULL; RecordID not taken
    ASSERT_EQ(r.Blobs.size(), 1u);
    EXPECT_EQ(r.Blobs[0].Field, 2u);
    EXPECT_EQ(r.Blobs[0].Bytes, Text("long text"));

    // The next line starts afresh.
    reader.Read(R"({"Name":"x","Memo":null})", r);
    expected.assign(Size, 0);
    SetFieldValue(Fields[0], expected, std::span<const uint8_t>(Text("x")));
    EXPECT_EQ(r.Image, expected);
    EXPECT_TRUE(r.Blobs.empty());
}

TEST_F(JsonRecordReader, NamesWhatIsWrongWithALine) {
    EXPECT_EQ(Error(R"({"Nope":1})"), R"(the table has no field "Nope")");
    EXPECT_EQ(Error(R"({"Name":"a","NAME":"b"})"), R"(field "Name" is given twice)");  // keys come sorted
    EXPECT_EQ(Error(R"({"Count":"x"})"), R"(field "Count": expects an integer, not "x")");
    EXPECT_EQ(Error("[1]"), "a record must be a JSON object");
    EXPECT_NE(Error(R"({"Count":)").find("parse error"), std::string::npos);
    EXPECT_NE(Error("{\"Name\":\"\xff\"}").find("parse error"), std::string::npos);  // not UTF-8
}

TEST(ProgressBar, RedrawsOnlyWhenItChangesAndEndsTheLineOnce) {
    std::ostringstream out;
    {
        tool::TProgressBar bar(out, 200, "records");
        bar.Update(0, 0);
        bar.Update(1, 1);  // still 0 %
        bar.Update(100, 2);
        bar.Update(500, 3);  // clamped to 100 %
        bar.Finish();
        bar.Update(200, 4);
    }
    const std::string dots(40, '.'), half = std::string(20, '#') + std::string(20, '.');
    EXPECT_EQ(out.str(), "\r[" + dots + "]   0%  0 records\r[" + half + "]  50%  2 records\r[" +
                             std::string(40, '#') + "] 100%  3 records\n");
}

}  // namespace
}  // namespace dezede::test
