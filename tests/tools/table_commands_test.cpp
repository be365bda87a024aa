#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>

#include "engine/file_registry.h"
#include "engine/format_bytes.h"
#include "engine/table_files.h"
#include "support/bcd.h"
#include "support/date_time.h"
#include "tests/helpers/temp_dir.h"
#include "tests/tools/tool_runner.h"
#include "tests/engine/sample_tables.h"
#include "tests/tools/value_bytes.h"

namespace dezede::test {
namespace {

// A table of every commonly used type, with three records of which one is deleted.
class TableCommands : public ::testing::Test {
protected:
    void SetUp() override {
        TTableDefinition def;
        def.Fields = {Def("Name", ftdString, 10),  Def("Count", ftdInteger),       Def("Big", ftdLargeInt),
                      Def("Price", ftdBCD),         Def("Born", ftdDate),           Def("At", ftdTimestamp),
                      Def("Flag", ftdBoolean),      Def("Ratio", ftdFloat),         Def("Raw", ftdBytes, 3),
                      Def("Memo", ftdBlob, 0, fsdMemo), Def("Bin", ftdBlob)};
        def.Fields[3].Scale = 2;
        def.Fields[10].Compression = 9;
        def.Description = "Caf\xe9";
        def.Password = Password;
        CreateTableFiles(Registry, Names, def);
        TTableFiles t(Registry, Names);
        t.Open({.Passwords = {Password}});
        TDataFile& data = t.Data();
        auto fields = data.Fields();
        auto set = [&](Bytes& rec, size_t i, const Bytes& v) { SetFieldValue(fields[i], rec, std::span<const uint8_t>(v)); };
        auto insert = [&](const std::function<void(Bytes&)>& fill) {
            Bytes rec(data.Header().RecordSize, 0);
            fmt::StoreLE32(rec, 5, static_cast<uint32_t>(data.NextRecordID()));
            fill(rec);
            data.InsertRecord(rec);
        };
        insert([&](Bytes& rec) {
            set(rec, 0, Text("Cr\xe8me, \"x\""));
            set(rec, 1, Le(uint32_t(-5), 4));
            set(rec, 2, Le(9007199254740993ULL, 8));
            Bytes bcd(34);
            CurrencyToBcdRecord(125000, 2, bcd);
            set(rec, 3, bcd);
            set(rec, 4, Le(static_cast<uint32_t>(*EncodeDate(2007, 3, 31)), 4));
            Bytes ts(8);
            fmt::StoreLEDouble(ts, 0, EncodeTimestamp(*EncodeDate(2007, 3, 31), 3723004));
            set(rec, 5, ts);
            set(rec, 6, Le(1, 2));
            Bytes d(8);
            fmt::StoreLEDouble(d, 0, 0.1);
            set(rec, 7, d);
            set(rec, 8, Bytes{0xAB, 0x01, 0xFF});
            for (size_t i : {9u, 10u}) {
                TBlobReference ref;
                Bytes value = i == 9 ? Text("line1\nline2") : Bytes{0xDE, 0xAD};
                t.Blob()->StoreBlob(ref, value, fields[i].Compression, data.NextBlobVersion());
                Bytes r(8);
                EncodeBlobReference(ref, r);
                set(rec, i, r);
                rec[fields[i].Offset] = 1;
                std::copy(r.begin() + 4, r.end(), rec.begin() + fields[i].Offset + 5);
            }
        });
        insert([&](Bytes& rec) { set(rec, 0, Text("gone")); });
        insert([&](Bytes&) {});
        data.DeleteRecord(2);
        t.WriteChanges();
    }

    std::string Args(const std::string& command, const std::string& extra = "") {
        return command + " " + Dir.File("REASON") + " --password '" + Password + "' " + extra;
    }

    TFileRegistry Registry;
    TTempDir Dir;
    TTableFileNames Names = TTableFileNames::FromBase(Dir.File("reason"));
    std::string Password = "s3cret";
};

TEST_F(TableCommands, InfoJson) {
    ToolResult r = RunTool(Args("info", "--json"));
    ASSERT_EQ(r.status, 0);
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["version"], "4.00");
    EXPECT_EQ(j["version_byte"], 6);
    EXPECT_EQ(j["records"], 2);
    EXPECT_EQ(j["next_record"], 4);
    EXPECT_EQ(j["first_free_record"], 2);
    EXPECT_EQ(j["last_record_id"], 3);
    EXPECT_EQ(j["blob_field_count"], 2);
    EXPECT_EQ(j["encrypted"], true);
    EXPECT_EQ(j["description"], "Caf\xc3\xa9");
    ASSERT_EQ(j["fields"].size(), 11u);
    EXPECT_EQ(j["fields"][3]["name"], "Price");
    EXPECT_EQ(j["fields"][3]["scale"], 2);
    EXPECT_EQ(j["fields"][3]["storage_size"], 34);
    EXPECT_EQ(j["fields"][0]["offset"], 25);
    EXPECT_EQ(j["fields"][10]["compression"], 9);
    ASSERT_EQ(j["indexes"].size(), 1u);  // the default primary index; slot 31 has no fields
    EXPECT_EQ(j["indexes"][0]["fields"], nlohmann::json::array({-1}));
    EXPECT_EQ(j["indexes"][0]["unique"], true);
    EXPECT_EQ(RunTool(Args("info")).status, 0);
}

TEST_F(TableCommands, DumpJsonAndCsv) {
    ToolResult r = RunTool(Args("dump"));
    ASSERT_EQ(r.status, 0);
    std::istringstream lines(r.out);
    std::string first, second, extra;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_FALSE(std::getline(lines, extra));
    EXPECT_EQ(first,
              R"({"RecordID":1,"Name":"Crème, \"x\"","Count":-5,"Big":9007199254740993,"Price":"12.50",)"
              R"("Born":"2007-03-31","At":"2007-03-31 01:02:03.004","Flag":true,"Ratio":0.1,"Raw":"ab01ff",)"
              R"("Memo":"line1\nline2","Bin":"dead"})");
    EXPECT_EQ(second, R"({"RecordID":3,"Name":null,"Count":null,"Big":null,"Price":null,"Born":null,"At":null,)"
                      R"("Flag":null,"Ratio":null,"Raw":null,"Memo":null,"Bin":null})");

    r = RunTool(Args("dump", "--format csv"));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "RecordID,Name,Count,Big,Price,Born,At,Flag,Ratio,Raw,Memo,Bin\r\n"
              "1,\"Crème, \"\"x\"\"\",-5,9007199254740993,12.50,2007-03-31,2007-03-31 01:02:03.004,true,0.1,"
              "ab01ff,\"line1\nline2\",dead\r\n"
              "3,,,,,,,,,,,\r\n");
}

TEST_F(TableCommands, ErrorsExitNonZero) {
    EXPECT_EQ(RunTool("dump " + Dir.File("reason.dat")).status, 1);  // no password
    EXPECT_EQ(RunTool("info " + Dir.File("missing")).status, 1);
    EXPECT_EQ(RunTool("dump " + Dir.File("reason") + " --format xml").status, 2);
    EXPECT_EQ(RunTool("info").status, 2);
    // A foreign file and a damaged BLOB chain give engine errors, not crashes.
    std::ofstream(Dir.File("foreign.dat")) << std::string(2000, 'z');
    EXPECT_EQ(RunTool("info " + Dir.File("foreign")).status, 1);
    TTableFileNames plain = TTableFileNames::FromBase(Dir.File("plain"));
    TTableDefinition def;
    def.Fields = {Def("Bin", ftdBlob)};
    CreateTableFiles(Registry, plain, def);
    {
        TTableFiles t(Registry, plain);
        t.Open();
        Bytes rec(t.Data().Header().RecordSize, 0);
        TBlobReference ref;
        t.Blob()->StoreBlob(ref, Bytes(1000, 7), 0, t.Data().NextBlobVersion());
        rec[25] = 1;
        EncodeBlobReference(ref, std::span<uint8_t>(rec).subspan(26, 8));
        t.Data().InsertRecord(rec);
        t.WriteChanges();
    }
    EXPECT_EQ(RunTool("dump " + Dir.File("plain")).status, 0);
    {
        std::fstream blob(plain.Blob, std::ios::in | std::ios::out | std::ios::binary);
        blob.seekp(512 + 512 + 4);
        const char loop[4] = {1, 0, 0, 0};  // block 2 leads back to block 1
        blob.write(loop, 4);
    }
    EXPECT_EQ(RunTool("dump " + Dir.File("plain")).status, 1);
}

}  // namespace
}  // namespace dezede::test
