#include <gtest/gtest.h>

#include "engine/error_table.h"
#include "tests/tools/tool_runner.h"

namespace dezede::test {
namespace {

TEST(DezedeError, PrintsCodeNameAndFormat) {
    const struct {
        const char* arg;
        int status;
        const char* out;
    } cases[] = {
        {"8961", 0, "8961\tDEZEDE_HEADERCORRUPT\tHeader information corrupt in the table '%s'\n"},
        {"11047", 0, "11047\tDEZEDE_OSUNKNOWN\tAn unknown operating system error %u occurred with the table or backup file '%s'\n"},
        {"11280", 0, "11280\tDEZEDE_REMOTECONNECT\tAn unknown error occurred\n"},
        {"11300", 0, "11300\t\tAn unknown error occurred\n"},
        {"0", 0, "0\tDEZEDE_NONE\tAn unknown error occurred\n"},
        {"x12", 2, ""},
        {"70000", 2, ""},
    };
    for (const auto& c : cases) {
        ToolResult r = RunTool(std::string("error ") + c.arg);
        EXPECT_EQ(r.status, c.status) << c.arg;
        EXPECT_EQ(r.out, c.out) << c.arg;
    }
}

TEST(DezedeError, EveryListedCodeRoundTrips) {
    for (const TErrorCodeInfo& e : ErrorCodeTable()) {
        ToolResult r = RunTool("error " + std::to_string(e.Code));
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.out, std::to_string(e.Code) + "\t" + e.Name + "\t" + (e.Format ? e.Format : kUnknownErrorText) + "\n");
    }
}

TEST(DezedeTool, HelpAndUnknownCommand) {
    EXPECT_EQ(RunTool("--help").status, 0);
    EXPECT_NE(RunTool("--help").out.find("error"), std::string::npos);
    EXPECT_EQ(RunTool("error --help").status, 0);
    EXPECT_EQ(RunTool("no-such-command").status, 2);
    EXPECT_EQ(RunTool("").status, 2);
}

}  // namespace
}  // namespace dezede::test
