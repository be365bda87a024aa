#include <gtest/gtest.h>

#include <string>

#include "engine/engine_error.h"
#include "sql/expression_parser.h"
#include "sql/sql_functions.h"

namespace dezede {
namespace {

struct TParseErrorCase {
    uint32_t Flags;
    std::string Text;
    std::string Message;  // the inner text
    uint32_t Line;
    uint32_t Column;
};

std::string ParseError(uint32_t flags, const std::string& text, uint32_t& line, uint32_t& column,
                       const std::string& statement = "SELECT SQL statement") {
    TExpressionParser p;
    p.ErrorContext.StatementName = statement;
    try {
        p.ParseWhole(text, flags);
    } catch (const EDEZEDEEngineError& e) {
        line = e.ErrorLine;
        column = e.ErrorColumn;
        return e.ErrorMessage;
    }
    return "<no error>";
}

TEST(ExpressionParser, ErrorsCarryTextLineAndColumn) {
    const TParseErrorCase cases[] = {
        {kWhereFlags, "a = 'abc", "Missing ' in SELECT SQL statement", 1, 5},
        {kWhereFlags, "a = 'abc\n'", "Expected ' but instead found abc in SELECT SQL statement", 1, 5},
        {kWhereFlags, "a = [x\n]", "Expected ] but instead found x in SELECT SQL statement", 1, 5},
        {kWhereFlags, "a /* x\n y", "Missing / in SELECT SQL statement", 1, 3},
        {kWhereFlags, "-- c\n/* a\n b */ a = = 1", "Expected expression but instead found = in SELECT SQL statement", 3, 11},
        {kWhereFlags, "x = 1 = 2", "Invalid expression = found in SELECT SQL statement", 1, 7},
        {kSelectColumnFlags, "?", "Invalid expression ? found in SELECT SQL statement", 1, 1},
        {kSelectColumnFlags, "#256", "Expected character constant but instead found #256 in SELECT SQL statement", 1, 1},
        {kWhereFlags, "1.2.3", "Expected numeric expression but instead found 1.2.3 in SELECT SQL statement", 1, 1},
        {kWhereFlags, "a IS 5", "Expected NULL or NOT but instead found 5 in SELECT SQL statement", 1, 6},
        {kWhereFlags, "(a", "Missing ) in SELECT SQL statement", 1, 3},
        {kWhereFlags, "LEFT(a 3)", "Expected FOR or , but instead found 3 in SELECT SQL statement", 1, 8},
        {kWhereFlags, "TRIM(a FROM b)", "Expected LEADING, TRAILING, or BOTH but instead found a in SELECT SQL statement", 1, 6},
        {kWhereFlags, "EXTRACT(CENTURY FROM d)",
         "Expected YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, SECOND, or MSECOND but instead found CENTURY in SELECT SQL statement", 1, 9},
        {kWhereFlags, "CAST(a AS STRING)", "Expected SQL data type but instead found STRING in SELECT SQL statement", 1, 11},
        {kWhereFlags, "t.", "Missing identifier in SELECT SQL statement", 1, 3},
        {kWhereFlags, "SUM(a) > 1", "Invalid expression SUM found in SELECT SQL statement", 1, 1},
        {kSelectColumnFlags, "* + 1", "Invalid expression * found in SELECT SQL statement", 1, 1},
        {kSelectColumnFlags, "SUM(*)", "Expected expression but instead found * in SELECT SQL statement", 1, 5},
        {kJoinOnFlags & ~pfPredicates, "a LIKE 'x'", "Invalid expression LIKE found in SELECT SQL statement", 1, 3},
        {kWhereFlags, "a | b", "Expected | but instead found b in SELECT SQL statement", 1, 5},
        {kWhereFlags, "a IN (SELECT x FROM t)", "Invalid expression SELECT found in SELECT SQL statement", 1, 7},
        {kWhereFlags, "CASE a THEN 1 END", "Expected WHEN but instead found THEN in SELECT SQL statement", 1, 8},
        {kWhereFlags, "", "Missing expression in SELECT SQL statement", 1, 1},
    };
    for (const auto& c : cases) {
        uint32_t line = 0, column = 0;
        EXPECT_EQ(ParseError(c.Flags, c.Text, line, column), c.Message) << c.Text;
        EXPECT_EQ(line, c.Line) << c.Text;
        EXPECT_EQ(column, c.Column) << c.Text;
    }
}

TEST(ExpressionParser, CallerColumnAppliesToFirstLineOnly) {
    uint32_t line = 0, column = 0;
    TExpressionParser p;
    try {
        p.ParseWhole("a = 1 +", kWhereFlags, 4, 20);
    } catch (const EDEZEDEEngineError& e) {
        line = e.ErrorLine;
        column = e.ErrorColumn;
    }
    EXPECT_EQ(line, 4u);
    EXPECT_EQ(column, 27u);
    try {
        p.ParseWhole("a = 1\r\n\r +", kWhereFlags, 4, 20);
    } catch (const EDEZEDEEngineError& e) {
        line = e.ErrorLine;
        column = e.ErrorColumn;
    }
    EXPECT_EQ(line, 6u);
    EXPECT_EQ(column, 3u);
}

TEST(ExpressionParser, FilterErrorsUseTheFilterCode) {
    TExpressionParser p;
    p.ErrorContext = {DEZEDE_INVALIDFILTER, "db", "Employee", "filter expression"};
    try {
        p.ParseWhole("Name = ?", kFilterFlags);
        FAIL();
    } catch (const EDEZEDEEngineError& e) {
        EXPECT_EQ(e.ErrorCode, DEZEDE_INVALIDFILTER);
        EXPECT_STREQ(e.what(),
                     "DEZEDE Engine Error # 10051 Filter error for the table 'Employee' - "
                     "Invalid expression ? found in filter expression at line 1, column 8");
    }
}

TEST(ExpressionParser, BuildsNodesAsWritten) {
    TExpressionParser p;
    std::vector<TExpToken*> params;
    p.Parameters = &params;
    auto e = p.ParseWhole("a >< b AND c > = d AND x IS NOT NULL AND y = ? AND t.[ z ] LIKE 'it''s' ESCAPE '!'",
                          kWhereFlags);
    ASSERT_EQ(e->Code, ecAnd);
    // Left-associative: (((a >< b AND c >= d) AND x IS NOT NULL) AND y = ?) AND t.z LIKE ...
    const TExpToken* like = e->Second.get();
    EXPECT_EQ(like->Code, ecLike);
    EXPECT_EQ(like->First->TableName, "t");
    EXPECT_EQ(like->First->ColumnName, "z");
    EXPECT_EQ(like->Args[0]->StringView(), "it's");
    EXPECT_EQ(like->Args[1]->StringView(), "!");
    const TExpToken* param = e->First->Second.get();
    EXPECT_EQ(param->Code, ecEqual);
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(params[0], param->Second.get());
    const TExpToken* isNotNull = e->First->First->Second.get();
    EXPECT_EQ(isNotNull->Code, ecNotEqual);
    EXPECT_TRUE(isNotNull->Second->IsNullConstant());
    EXPECT_EQ(e->First->First->First->First->Code, ecNotEqual);
    EXPECT_EQ(e->First->First->First->Second->Code, ecGreaterEqual);

    struct {
        std::string Text;
        uint8_t Kind, Type;
        bool Null;
    } constants[] = {
        {"TRUE", ekConstant, ftdBoolean, false},   {"true", ekConstant, ftdBoolean, false},
        {"[True]", ekColumn, ftdNone, true},       {"''", ekConstant, ftdString, true},
        {"2147483647", ekConstant, ftdInteger, false}, {"2147483648", ekConstant, ftdLargeInt, false},
        {"99999999999999999999", ekConstant, ftdFloat, false}, {".5e1", ekConstant, ftdFloat, false},
        {"#65", ekConstant, ftdString, false},     {"NULL", ekConstant, ftdNone, true},
        {"\"Sum\"", ekColumn, ftdNone, true},      {"count", ekColumn, ftdNone, true},
    };
    for (const auto& c : constants) {
        auto n = p.ParseWhole(c.Text, kWhereFlags);
        EXPECT_EQ(n->Kind, c.Kind) << c.Text;
        EXPECT_EQ(n->DataType, c.Type) << c.Text;
        EXPECT_EQ(n->IsNull, c.Null) << c.Text;
    }
    EXPECT_EQ(p.ParseWhole("#65", 0)->StringView(), "A");
    EXPECT_EQ(p.ParseWhole("2 + 3 * 4", 0)->Second->Code, ecMultiply);
    EXPECT_EQ(p.ParseWhole("'a' || 'b'", 0)->Code, ecAdd);
}

TEST(ExpressionParser, CaseWithOperandComparesEachWhen) {
    TExpressionParser p;
    auto e = p.ParseWhole("CASE a WHEN 1 THEN 'x' WHEN 2 THEN 'y' END", kWhereFlags);
    ASSERT_EQ(e->Code, ecCase);
    ASSERT_EQ(e->Args.size(), 3u);
    ASSERT_EQ(e->Args[0]->Args.size(), 2u);
    EXPECT_EQ(e->Args[0]->Args[1]->Code, ecEqual);
    EXPECT_EQ(e->Args[0]->Args[1]->First->ColumnName, "a");
    EXPECT_TRUE(e->Args[2]->IsNullConstant());
}

TEST(ExpressionParser, RegisteredFunctionsTakeTheirArgumentCount) {
    TSqlFunctions functions;
    functions.Add({"Twice", ftdInteger, fsdNone, 0, {{ftdInteger, fsdNone}}});
    TExpressionParser p;
    p.Functions = &functions;
    auto e = p.ParseWhole("twice(1 + 2)", kWhereFlags);
    EXPECT_EQ(e->Code, ecRegistered);
    EXPECT_EQ(e->Args.size(), 1u);
    uint32_t line = 0, column = 0;
    TExpressionParser q;
    q.Functions = &functions;
    try {
        q.ParseWhole("twice(1, 2)", kWhereFlags);
        FAIL();
    } catch (const EDEZEDEEngineError& err) {
        EXPECT_EQ(err.ErrorMessage, "Expected ) but instead found , in SQL statement");
        line = err.ErrorLine;
        column = err.ErrorColumn;
    }
    EXPECT_EQ(line, 1u);
    EXPECT_EQ(column, 8u);
}

TEST(ExpressionParser, DeepNestingIsAParseErrorNotACrash) {
    const std::string texts[] = {
        std::string(100000, '(') + "1" + std::string(100000, ')'),
        [] {
            std::string s = "1";
            for (int i = 0; i < 50000; ++i) s += "+1";
            return s;
        }(),
        [] {
            std::string s;
            for (int i = 0; i < 50000; ++i) s += "ABS(";
            return s;
        }(),
    };
    for (const auto& t : texts) {
        uint32_t line = 0, column = 0;
        EXPECT_EQ(ParseError(kWhereFlags, t, line, column), "Expression is nested too deeply in SELECT SQL statement");
    }
    uint32_t line = 0, column = 0;
    EXPECT_EQ(ParseError(kWhereFlags, std::string(40, '(') + "1" + std::string(40, ')'), line, column), "<no error>");
}

}  // namespace
}  // namespace dezede
