#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "engine/lock_file_list.h"
#include "support/endian.h"
#include "tests/helpers/helper_process.h"
#include "tests/helpers/temp_dir.h"
#include "tests/tools/tool_runner.h"

namespace dezede::test {
namespace {

const std::string kHelper = std::string(DEZEDE_HELPER_DIR) + "/lock_helper";

nlohmann::json TableOf(const nlohmann::json& out, const std::string& name) {
    for (const auto& t : out["tables"])
        if (t["table"] == name) return t;
    return nullptr;
}

TEST(DezedeLocks, ShowsWhatOtherProcessesHold) {
    TTempDir dir;
    for (const char* name : {"orders.dat", "users.dat", "parts.dat"}) std::ofstream(dir.File(name)) << "....";
    THelperProcess a(kHelper), b(kHelper);
    ASSERT_EQ(a.Ask("open " + dir.Path()), "ok 0");
    ASSERT_EQ(b.Ask("open " + dir.Path()), "ok 0");
    std::ofstream(dir.File("late.dat")) << "....";  // no slot yet
    for (const char* cmd : {"lockrecord orders 5", "lockrecord orders 9", "endread orders", "locksem orders 1",
                            "locksem orders 1024", "beginwrite users", "translock orders"})
        ASSERT_EQ(a.Ask(cmd).substr(0, 2), "ok") << cmd;
    for (const char* cmd : {"beginread parts", "locktable parts"}) ASSERT_EQ(b.Ask(cmd).substr(0, 2), "ok") << cmd;

    ToolResult r = RunTool("locks " + dir.Path() + " --json");
    ASSERT_EQ(r.status, 0);
    const nlohmann::json out = nlohmann::json::parse(r.out);
    EXPECT_EQ(out["lock_file"]["change_counter"], 1);
    EXPECT_EQ(out["lock_file"]["slots"].size(), 3u);
    EXPECT_EQ(out["tables"].size(), 4u);
    const struct {
        const char* table;
        std::vector<int> semaphores, records;
        bool whole, read, write, trans;
    } cases[] = {
        {"orders", {1, 1024}, {5, 9}, false, false, false, true},
        {"users", {}, {}, false, false, true, true},
        {"parts", {}, {}, true, true, false, false},
        {"late", {}, {}, false, false, false, false},
    };
    for (const auto& c : cases) {
        const nlohmann::json t = TableOf(out, c.table);
        ASSERT_FALSE(t.is_null()) << c.table;
        EXPECT_EQ(t["semaphores"].get<std::vector<int>>(), c.semaphores) << c.table;
        EXPECT_EQ(t["records"].get<std::vector<int>>(), c.records) << c.table;
        EXPECT_EQ(t["whole_table_locked"], c.whole) << c.table;
        EXPECT_EQ(t["read_locked"], c.read) << c.table;
        EXPECT_EQ(t["write_locked"], c.write) << c.table;
        EXPECT_EQ(t["transaction_locked"], c.trans) << c.table;
    }
    EXPECT_TRUE(TableOf(out, "late")["slot"].is_null());

    ToolResult text = RunTool("locks " + dir.Path());
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("1,1024 / 5,9"), std::string::npos) << text.out;

    // Once the holders are gone, nothing is held.
    ASSERT_EQ(a.Ask("close"), "ok");
    ASSERT_EQ(b.Ask("close"), "ok");
    const nlohmann::json after = nlohmann::json::parse(RunTool("locks " + dir.Path() + " --json").out);
    for (const auto& t : after["tables"]) {
        EXPECT_TRUE(t["records"].empty() && t["semaphores"].empty()) << t;
        EXPECT_FALSE(t["whole_table_locked"] || t["read_locked"] || t["write_locked"] || t["transaction_locked"])
            << t;
    }
}

TEST(DezedeLocks, ReadsDamagedLockFilesAndReportsBadArguments) {
    TTempDir dir;
    std::ofstream(dir.File("t2.dat")) << "";
    std::string bytes(4, '\0');
    StoreLE32s(reinterpret_cast<uint8_t*>(bytes.data()), 7);
    const std::vector<uint8_t> block = BuildLockFileBlock({std::string(70, 'n'), "t2", "cut"});
    bytes.append(block.begin(), block.end() - 1);
    std::ofstream(dir.File("app.lck"), std::ios::binary) << bytes;

    ToolResult r = RunTool("locks " + dir.Path() + " --json");
    ASSERT_EQ(r.status, 0);
    const nlohmann::json out = nlohmann::json::parse(r.out);
    EXPECT_EQ(out["lock_file"]["change_counter"], 7);
    ASSERT_EQ(out["lock_file"]["slots"].size(), 2u) << "the entry cut short is not listed";
    EXPECT_EQ(TableOf(out, "t2")["slot"], 2);

    EXPECT_EQ(RunTool("locks").status, 2);
    EXPECT_EQ(RunTool("locks " + dir.Path() + " --bogus").status, 2);
    EXPECT_EQ(RunTool("locks " + dir.File("missing")).status, 1);
    EXPECT_EQ(RunTool("locks " + dir.Path() + " --lock-file none.lck").status, 1);
    TTempDir bare;
    std::ofstream(bare.File("t.dat")) << "";
    const nlohmann::json none = nlohmann::json::parse(RunTool("locks " + bare.Path() + " --json").out);
    EXPECT_TRUE(none["lock_file"].is_null());
    EXPECT_TRUE(TableOf(none, "t")["slot"].is_null());
}

}  // namespace
}  // namespace dezede::test
