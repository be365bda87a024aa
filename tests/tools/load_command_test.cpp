// dezede load and dump through cursors: round trips of every field type,
// dumps in an index's order, and a bad record rolling back its batch.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

#include "engine/file_registry.h"
#include "engine/table_files.h"
#include "tests/engine/sample_tables.h"
#include "tests/helpers/temp_dir.h"
#include "tests/tools/tool_runner.h"

namespace dezede::test {
namespace {

// Dumped lines against the expected ones, field by field, with short messages
// (the values can be long).
void ExpectRows(const std::string& dump, const std::vector<std::string>& expected) {
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> out;
        std::istringstream in(dump);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }();
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == expected[i]) continue;
        const nlohmann::ordered_json got = nlohmann::ordered_json::parse(lines[i]);
        const nlohmann::ordered_json want = nlohmann::ordered_json::parse(expected[i]);
        for (const auto& [key, value] : want.items())
            EXPECT_TRUE(got.contains(key) && got[key] == value)
                << "row " << i << " field " << key << ": " << got.value(key, nlohmann::json()).dump().substr(0, 80)
                << " instead of " << value.dump().substr(0, 80);
        EXPECT_EQ(got.size(), want.size()) << "row " << i;
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

class LoadCommand : public ::testing::Test {
protected:
    void Create(const std::string& name, TTableDefinition def) {
        CreateTableFiles(Registry, TTableFileNames::FromBase(Dir.File(name)), std::move(def));
    }
    void Write(const std::string& file, const std::vector<std::string>& lines) {
        std::ofstream out(Dir.File(file), std::ios::binary);
        for (const std::string& l : lines) out << l << "\n";
    }
    std::string Table(const std::string& name) { return Dir.File(name); }

    TFileRegistry Registry;
    TTempDir Dir;
};

TTableDefinition EveryType() {
    TTableDefinition def;
    // The unsigned 32- and 64-bit types are left out: tables store them with
    // their declared size, which creation sets to 0.
    def.Fields = {Def("S", ftdString, 10), Def("B", ftdBoolean), Def("I16", ftdSmallInt),
                  Def("W", ftdWord),       Def("I", ftdInteger), Def("L", ftdLargeInt),
                  Def("F", ftdFloat),      Def("D", ftdDate),    Def("T", ftdTime),
                  Def("TS", ftdTimestamp), Def("N", ftdBCD),     Def("Y", ftdBytes, 3),
                  Def("M", ftdBlob, 0, fsdMemo), Def("X", ftdBlob)};
    def.Fields[10].Scale = 2;
    def.Fields[13].Compression = 9;
    return def;
}

TEST_F(LoadCommand, LoadThenDumpRoundTripsEveryFieldType) {
    Create("every", EveryType());
    Create("copy", EveryType());
    nlohmann::ordered_json rows[3];
    rows[0] = {{"RecordID", 1},
               {"S", "Cr\xc3\xa8me"},
               {"B", true},
               {"I16", -32768},
               {"W", 65535},
               {"I", -2147483647 - 1},
               {"L", INT64_MIN},
               {"F", 0.1},
               {"D", "2007-03-31"},
               {"T", "23:59:59.999"},
               {"TS", "2007-03-31 01:02:03.004"},
               {"N", "-12.50"},
               {"Y", "ab01ff"},
               {"M", "line1\nline2 \xc3\xbc"},
               {"X", "dead00beef"}};
    rows[1] = {{"RecordID", 2}};
    for (const auto& [key, value] : rows[0].items())
        if (key != "RecordID") rows[1][key] = nullptr;
    rows[2] = rows[0];
    rows[2]["RecordID"] = 3;
    rows[2]["F"] = -1e20;
    rows[2]["TS"] = "9999-12-31 23:59:59.999";
    rows[2]["N"] = "123456789012345678901234567890.99";
    rows[2]["Y"] = "000000";
    rows[2]["M"] = std::string(70000, 'm');  // several BLOB blocks
    std::string hex;
    for (int i = 0; i < 3000; ++i) hex += "0123456789abcdef"[i % 16];
    rows[2]["X"] = hex;

    std::vector<std::string> expected, input;
    for (auto& row : rows) {
        expected.push_back(row.dump());
        row["RecordID"] = 500;  // ignored: the table numbers its records
        input.push_back(row.dump());
    }
    Write("in.jsonl", input);

    ToolResult r = RunTool("load " + Table("every") + " " + Dir.File("in.jsonl") + " --progress");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // no bar: standard error is not a terminal
    r = RunTool("dump " + Table("every"));
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectRows(r.out, expected);

    // The dump loads back from standard input into a table of the same kind.
    std::ofstream(Dir.File("dump.jsonl"), std::ios::binary) << r.out;
    r = RunTool("load " + Table("copy") + " - < " + Dir.File("dump.jsonl"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunTool("dump " + Table("copy"));
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectRows(r.out, expected);
}

// Names are required; ByName is not unique, ByCode unique and descending.
TTableDefinition People() {
    TTableDefinition def;
    def.Fields = {Def("Name", ftdString, 10), Def("Code", ftdInteger)};
    def.Fields[0].Required = true;
    TIndexDescriptor byCode = OneFieldIndex("ByCode", 2, true);
    byCode.Descending = true;
    byCode.DescendingFields[0] = true;
    def.SecondaryIndexes = {OneFieldIndex("ByName", 1), byCode};
    return def;
}

std::string Person(const std::string& name, int code) {
    return nlohmann::json{{"Name", name}, {"Code", code}}.dump();
}

// The values of one field of every dumped line, in the dump's order.
std::vector<nlohmann::json> Column(const std::string& dump, const char* field) {
    std::vector<nlohmann::json> out;
    for (const std::string& line : Lines(dump)) out.push_back(nlohmann::json::parse(line)[field]);
    return out;
}

TEST_F(LoadCommand, DumpFollowsTheChosenIndex) {
    Create("people", People());
    Write("people.jsonl", {Person("delta", 4), Person("alpha", 1), Person("charlie", 3), Person("alpha", 5),
                           Person("bravo", 2)});
    ASSERT_EQ(RunTool("load " + Table("people") + " " + Dir.File("people.jsonl")).status, 0);

    using J = std::vector<nlohmann::json>;
    ToolResult r = RunTool("dump " + Table("people") + " --index ByName");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Column(r.out, "Name"), (J{"alpha", "alpha", "bravo", "charlie", "delta"}));
    EXPECT_EQ(Column(r.out, "RecordID"), (J{2, 4, 5, 3, 1}));  // duplicates in record order
    r = RunTool("dump " + Table("people") + " --index bycode --format csv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "RecordID,Name,Code\r\n4,alpha,5\r\n1,delta,4\r\n3,charlie,3\r\n5,bravo,2\r\n2,alpha,1\r\n");
    r = RunTool("dump " + Table("people") + " --index ''");  // the primary index
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Column(r.out, "RecordID"), (J{1, 2, 3, 4, 5}));

    r = RunTool("dump " + Table("people") + " --index Nope");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("# 10022"), std::string::npos) << r.err;
    EXPECT_EQ(RunTool("dump " + Table("people") + " --index").status, 2);
}

TEST_F(LoadCommand, BadRecordRollsBackItsBatchAndNamesLineAndError) {
    struct Case {
        const char* Name;
        std::vector<std::string> Lines;
        const char* Batch;
        const char* Error;  // a part of standard error
        std::vector<nlohmann::json> Kept;  // codes left in the table, ByCode order
    } cases[] = {
        {"duplicate key after a committed batch",
         {Person("a", 1), Person("b", 2), Person("c", 3), Person("d", 1)},
         "2",
         "line 4: DEZEDE Engine Error # 9729",
         {2, 1}},
        {"unknown field", {Person("a", 1), R"({"Nmae":"b","Code":2})"}, "100", R"(line 2: the table has no field "Nmae")", {}},
        {"required field, after a blank line", {Person("a", 1), "", R"({"Code":3})"}, "100", "line 3: DEZEDE Engine Error # 9732", {}},
        {"value out of range", {R"({"Name":"a","Code":2147483648})"}, "100", R"(line 1: field "Code": 2147483648 is outside the range)", {}},
        {"not JSON", {Person("a", 1), Person("b", 2), "{"}, "1", "line 3: parse error", {2, 1}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string table = "t" + std::to_string(++n);
        Create(table, People());
        Write("in.jsonl", c.Lines);
        ToolResult r = RunTool("load " + Table(table) + " " + Dir.File("in.jsonl") + " --batch " + c.Batch);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.Error), std::string::npos) << r.err;
        r = RunTool("dump " + Table(table) + " --index ByCode");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Column(r.out, "Code"), c.Kept);
        // Nothing stays locked: the next load goes in.
        Write("more.jsonl", {Person("z", 99)});
        EXPECT_EQ(RunTool("load " + Table(table) + " " + Dir.File("more.jsonl")).status, 0);
    }
    EXPECT_EQ(RunTool("load " + Table("t1")).status, 2);
    EXPECT_EQ(RunTool("load " + Table("t1") + " " + Dir.File("missing.jsonl")).status, 1);
    EXPECT_EQ(RunTool("load " + Table("t1") + " - --batch 0").status, 2);
}

}  // namespace
}  // namespace dezede::test
