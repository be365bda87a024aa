#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace dezede::test {
namespace {

struct TEvalRun {
    int Status = -1;
    std::string Output;  // standard output and standard error
};

TEvalRun RunEval(const std::string& expression) {
    std::string quoted = "'";
    for (char c : expression) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    quoted += "'";
    const std::string cmd = std::string(DEZEDE_BINARY_DIR) + "/tools/dezede/dezede eval " + quoted + " 2>&1";
    TEvalRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.Output.append(buf.data(), n);
    int st = pclose(p);
    r.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

TEST(DezedeEval, PrintsTypeAndValueAsDumpWritesThem) {
    const struct {
        const char* Expression;
        const char* Output;
    } cases[] = {
        {"1 + 2", "{\"type\":\"Integer\",\"value\":3}\n"},
        {"2147483648 * 2", "{\"type\":\"LargeInt\",\"value\":4294967296}\n"},
        {"7 / 2", "{\"type\":\"Float\",\"value\":3.5}\n"},
        {"0.1 + 0.2", "{\"type\":\"Float\",\"value\":0.30000000000000004}\n"},
        {"'caf' + #233", "{\"type\":\"String\",\"value\":\"caf\xc3\xa9\"}\n"},
        {"'say \"hi\"'", "{\"type\":\"String\",\"value\":\"say \\\"hi\\\"\"}\n"},
        {"'' ", "{\"type\":\"String\",\"value\":null}\n"},
        {"NULL", "{\"type\":\"NULL\",\"value\":null}\n"},
        {"1 < 2", "{\"type\":\"Boolean\",\"value\":true}\n"},
        {"CAST('2006-01-31' AS DATE) + 1", "{\"type\":\"Date\",\"value\":\"2006-02-01\"}\n"},
        {"CAST('1:02:03.4 PM' AS TIME)", "{\"type\":\"Time\",\"value\":\"13:02:03.400\"}\n"},
        {"CAST('2006-01-31 08:00' AS TIMESTAMP)", "{\"type\":\"Timestamp\",\"value\":\"2006-01-31 08:00:00.000\"}\n"},
        {"CAST(-3.5 AS DECIMAL(10, 3))", "{\"type\":\"BCD\",\"value\":\"-3.500\"}\n"},
        {"CAST(2 AS MONEY)", "{\"type\":\"Currency\",\"value\":2.0}\n"},
        {"CAST('ab' AS CHAR(5))", "{\"type\":\"FixedChar\",\"value\":\"ab\"}\n"},
        {"CAST('ab' AS MEMO) + 'c'", "{\"type\":\"Memo\",\"value\":\"abc\"}\n"},
        {"CAST('ab' AS VARBYTES(4))", "{\"type\":\"VarBytes\",\"value\":\"6162\"}\n"},
    };
    for (const auto& c : cases) {
        TEvalRun r = RunEval(c.Expression);
        EXPECT_EQ(r.Status, 0) << c.Expression;
        EXPECT_EQ(r.Output, c.Output) << c.Expression;
    }
}

TEST(DezedeEval, ErrorsGoToStandardErrorWithLineAndColumn) {
    const struct {
        const char* Expression;
        const char* Output;
    } cases[] = {
        {"1 +\n  (2", "dezede: DEZEDE Engine Error # 11949 SQL parsing error - Missing ) in SQL statement at line 2, column 5\n"},
        {"Name = 1", "dezede: DEZEDE Engine Error # 11949 SQL parsing error - Expected column name but instead found Name in SQL statement at line 1, column 1\n"},
        {"1 + 'a'", "dezede: DEZEDE Engine Error # 11949 SQL parsing error - Expected NULL, SmallInt, Word, AutoInc, Integer, LargeInt, Currency, Float, BCD, Date, Time, or Timestamp expression but instead found a in SQL statement at line 1, column 5\n"},
    };
    for (const auto& c : cases) {
        TEvalRun r = RunEval(c.Expression);
        EXPECT_EQ(r.Status, 1) << c.Expression;
        EXPECT_EQ(r.Output, c.Output) << c.Expression;
    }
    EXPECT_EQ(RunEval("").Status, 1);
}

}  // namespace
}  // namespace dezede::test
