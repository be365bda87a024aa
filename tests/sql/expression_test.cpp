// Expressions from text to type and value through parser, verifier and
// evaluator, over a small row of columns of every kind.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/engine_error.h"
#include "sql/expression_evaluator.h"
#include "sql/expression_parser.h"
#include "sql/expression_verifier.h"
#include "sql/sql_functions.h"
#include "sql/value_conversion.h"
#include "support/date_time.h"

namespace dezede {
namespace {

// The row the column names bind to.
class TRow {
public:
    TRow() {
        Add("i", ftdInteger).SetInteger(5);
        Add("n", ftdInteger);
        Add("s", ftdString, fsdNone, 21).SetString("abc");
        Add("sn", ftdString, fsdNone, 21);
        Add("d", ftdDate).SetDate(*EncodeDate(2006, 1, 31));
        Add("t", ftdTime).SetTime(*EncodeTime(13, 45, 10, 250));
        Add("ts", ftdTimestamp).SetTimestamp(EncodeTimestamp(*EncodeDate(2006, 1, 31), *EncodeTime(13, 45, 10, 250)));
        Add("b", ftdBoolean).SetBoolean(true);
        Add("bf", ftdBoolean).SetBoolean(false);
        Add("f", ftdFloat).SetFloat(2.5);
        Add("money", ftdFloat, fsdMoney).SetFloat(1.25);
        Add("m", ftdBlob, fsdMemo).SetString("memo text");
        Add("bin", ftdBlob, fsdNone).SetBytes("\x01\x02", 2);
        Add("c", ftdBCD, fsdNone, 0, 2).SetBcdCurrency(125000, 2);
        Add("w", ftdWord).Put<uint16_t>(7);
        Add("si", ftdSmallInt).Put<int16_t>(-3);
        Add("li", ftdLargeInt).SetLargeInt(10000000000LL);
        Add("id", ftdInteger, fsdAutoInc).SetInteger(9);
        Add("by", ftdBytes, fsdNone, 2).SetBytes("ab", 2);
    }

    bool Bind(TExpToken& column) const {
        auto it = Columns_.find(column.ColumnName);
        if (it == Columns_.end()) return false;
        const TExpToken& c = *it->second;
        column.SetType(c.DataType, c.SubType, c.Size, c.Scale);
        return true;
    }

    static void Fetch(void* data, TExpToken& column) {
        const TExpToken& c = *static_cast<TRow*>(data)->Columns_.at(column.ColumnName);
        column.Value = c.Value;
        column.IsNull = c.IsNull;
    }

private:
    TExpToken& Add(const std::string& name, uint8_t type, uint8_t subType = fsdNone, uint32_t size = 0,
                   uint8_t scale = 0) {
        auto c = std::make_unique<TExpToken>();
        static const std::map<uint8_t, uint32_t> kSizes = {{ftdInteger, 4}, {ftdDate, 4}, {ftdTime, 4},
                                                           {ftdTimestamp, 8}, {ftdBoolean, 2}, {ftdFloat, 8},
                                                           {ftdBCD, 34}, {ftdWord, 2}, {ftdSmallInt, 2},
                                                           {ftdLargeInt, 8}};
        if (!size && kSizes.count(type)) size = kSizes.at(type);
        c->SetType(type, subType, size, scale);
        c->Value.assign(size, 0);
        TExpToken& ref = *c;
        Columns_[name] = std::move(c);
        return ref;
    }
    std::map<std::string, std::unique_ptr<TExpToken>> Columns_;
};

struct TEvalResult {
    std::unique_ptr<TExpToken> Root;
    std::string Shown;  // "Type:value" or "Type:NULL"
};

TEvalResult Evaluate(const std::string& text, uint32_t flags = kWhereFlags, bool booleanContext = false,
                     uint32_t locale = 0) {
    static TRow row;
    TExpressionParser parser;
    parser.ErrorContext.StatementName = "SELECT SQL statement";
    TEvalResult r;
    r.Root = parser.ParseWhole(text, flags);
    TExpressionVerifier verifier;
    verifier.ErrorContext = parser.ErrorContext;
    verifier.BindColumn = [](TExpToken& c) { return row.Bind(c); };
    verifier.Verify(*r.Root, booleanContext, true);
    TExpressionEvaluator evaluator;
    evaluator.Context.FetchColumn = &TRow::Fetch;
    evaluator.Context.FetchData = &row;
    evaluator.Context.Locale = locale;
    evaluator.Evaluate(*r.Root);
    r.Shown = TypeName(r.Root->DataType, r.Root->SubType) + ":" + (r.Root->IsNull ? "NULL" : ValueAsText(*r.Root));
    return r;
}

std::string Shown(const std::string& text, uint32_t flags = kWhereFlags) { return Evaluate(text, flags).Shown; }

std::string ErrorOf(const std::string& text, uint32_t flags = kWhereFlags | kSelectColumnFlags) {
    try {
        Evaluate(text, flags);
    } catch (const EDEZEDEEngineError& e) {
        return e.ErrorMessage + " @" + std::to_string(e.ErrorLine) + ":" + std::to_string(e.ErrorColumn);
    }
    return "<no error>";
}

struct TCase {
    const char* Text;
    const char* Expected;
};

void ExpectAll(const std::vector<TCase>& cases, uint32_t flags = kWhereFlags) {
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(Shown(c.Text, flags), c.Expected) << c.Text;
        } catch (const EDEZEDEEngineError& e) {
            ADD_FAILURE() << c.Text << ": " << e.what();
        }
    }
}

TEST(Expression, NullRules) {
    ExpectAll({
        {"NULL = NULL", "Boolean:TRUE"},        {"NULL <> NULL", "Boolean:FALSE"},
        {"NULL >= NULL", "Boolean:TRUE"},       {"NULL <= NULL", "Boolean:TRUE"},
        {"NULL < 1", "Boolean:FALSE"},          {"NULL > NULL", "Boolean:FALSE"},
        {"n = 1", "Boolean:FALSE"},             {"n <> 1", "Boolean:TRUE"},
        {"n >= 1", "Boolean:FALSE"},            {"n IS NULL", "Boolean:TRUE"},
        {"i IS NOT NULL", "Boolean:TRUE"},      {"1 + NULL", "Integer:NULL"},
        {"i * n", "Integer:NULL"},              {"d + n", "Date:NULL"},
        {"'a' + NULL", "String:a"},             {"sn + s", "String:abc"},
        {"sn < 'a'", "Boolean:TRUE"},           {"sn >= ''", "Boolean:TRUE"},
        {"sn = 'a'", "Boolean:FALSE"},          {"sn LIKE 'a%'", "Boolean:FALSE"},
        {"sn NOT LIKE 'a%'", "Boolean:TRUE"},   {"n IN (1, NULL)", "Boolean:TRUE"},
        {"n BETWEEN NULL AND NULL", "Boolean:TRUE"}, {"NOT (n = 1)", "Boolean:TRUE"},
        {"(n = 1) OR b", "Boolean:TRUE"},       {"LENGTH(sn)", "Integer:0"},
        {"UPPER(sn)", "String:"},               {"SUBSTRING(sn FROM 1)", "String:NULL"},
        {"POSITION('a' IN sn)", "Integer:0"},   {"EXTRACT(YEAR FROM CAST(NULL AS DATE))", "Integer:NULL"},
        {"ABS(n)", "Integer:NULL"},             {"SQRT(n)", "Float:NULL"},
        {"COALESCE(n, NULL, 4)", "Integer:4"},  {"IFNULL(n THEN 'x' ELSE 'y')", "String:x"},
        {"NULLIF(n, NULL)", "Integer:NULL"},    {"IF(n = 1 THEN 1 ELSE 2)", "Integer:2"},
        {"CASE WHEN n > 1 THEN 'big' END", "String:NULL"},
    });
}

TEST(Expression, OperatorsTypeAndCompute) {
    ExpectAll({
        {"2 + 3 * 4", "Integer:14"},          {"(2 + 3) * 4", "Integer:20"},
        {"7 / 2", "Float:3.5"},               {"7 MOD 2", "Integer:1"},
        {"-7 MOD 2", "Integer:-1"},           {"li MOD 3", "LargeInt:1"},
        {"i + li", "LargeInt:10000000005"},   {"si + w", "Integer:4"},
        {"i + f", "Float:7.5"},               {"i + c", "BCD:17.50"},
        {"c * 2", "BCD:25.00"},               {"c / 5", "BCD:2.50"},
        {"money + 1", "Currency:2.25"},       {"money * f", "Currency:3.125"},
        {"-i", "Integer:-5"},                 {"-id", "Integer:-9"},
        {"2147483647 + 1", "Integer:NULL"},   {"1 / 0", "Float:NULL"},
        {"5 MOD 0", "Integer:NULL"},          {"2147483648", "LargeInt:2147483648"},
        {"s + 'def'", "String:abcdef"},       {"s || 'x'", "String:abcx"},
        {"m + s", "Memo:memo textabc"},       {"s + m", "Memo:abcmemo text"},
        {"d + 1", "Date:2006-02-01"},         {"1 + d", "Date:2006-02-01"},
        {"d - 31", "Date:2005-12-31"},        {"d - CAST('2006-01-01' AS DATE)", "Integer:30"},
        {"t - 250", "Time:13:45:10.000"},     {"t - CAST('13:45' AS TIME)", "Integer:10250"},
        {"ts - d", "Float:49510250"},         {"ts + 1000", "Timestamp:2006-01-31 13:45:11.250"},
        {"d = '2006-01-31'", "Boolean:TRUE"}, {"ts > '2006-01-31'", "Boolean:TRUE"},
        {"d BETWEEN '2006-01-01' AND '2006-12-31'", "Boolean:TRUE"},
        {"d IN ('2006-01-30', '2006-01-31')", "Boolean:TRUE"},
        {"d = ts", "Boolean:FALSE"},          {"d < ts", "Boolean:TRUE"},
        {"b = 1", "Boolean:TRUE"},            {"i = TRUE", "Boolean:FALSE"},
        {"c = 12.5", "Boolean:TRUE"},         {"c > 12", "Boolean:TRUE"},
        {"by = by", "Boolean:TRUE"},          {"'a' = 'b'", "Boolean:FALSE"},
        {"'abc' < 'abd'", "Boolean:TRUE"},    {"'B' > 'a'", "Boolean:FALSE"},
        {"i >< 5", "Boolean:FALSE"},          {"i > = 5", "Boolean:TRUE"},
        {"i BETWEEN 1 AND 5", "Boolean:TRUE"}, {"i NOT BETWEEN 1 AND 4", "Boolean:TRUE"},
        {"i IN (1, 2, 5)", "Boolean:TRUE"},   {"i NOT IN (1, 2)", "Boolean:TRUE"},
        {"b AND bf", "Boolean:FALSE"},        {"b OR bf", "Boolean:TRUE"},
        {"NOT bf", "Boolean:TRUE"},           {"TRUE AND NOT FALSE", "Boolean:TRUE"},
    });
}

TEST(Expression, LikeMatchesWithWildcardsAndEscape) {
    ExpectAll({
        {"'abc' LIKE 'a%'", "Boolean:TRUE"},     {"'abc' LIKE 'a_c'", "Boolean:TRUE"},
        {"'a%c' LIKE 'a!%c' ESCAPE '!'", "Boolean:TRUE"}, {"'abc' LIKE 'a!%c' ESCAPE '!'", "Boolean:FALSE"},
        {"'' + s LIKE '%'", "Boolean:TRUE"},     {"'abcbc' LIKE '%bc'", "Boolean:TRUE"},
        {"'abcbd' LIKE 'a%bc'", "Boolean:FALSE"}, {"'aXbXc' LIKE 'a%b%c'", "Boolean:TRUE"},
        {"'ABC' LIKE 'abc'", "Boolean:FALSE"},   {"'abc' LIKE 'ab'", "Boolean:FALSE"},
        {"'abc' NOT LIKE 'x%'", "Boolean:TRUE"}, {"m LIKE '%text'", "Boolean:TRUE"},
        {"'ab' LIKE 'ab%%'", "Boolean:TRUE"},
    });
}

TEST(Expression, StringFunctions) {
    ExpectAll({
        {"UPPER('abc\xe9')", "String:ABC\xc9"},   {"LCASE('ABC')", "String:abc"},
        {"SUBSTRING('abcdef' FROM 3 FOR 2)", "String:cd"}, {"SUBSTRING('abc' FROM 5)", "String:NULL"},
        {"SUBSTRING('abc' FROM 0 FOR 2)", "String:ab"},    {"SUBSTRING('abc', 2)", "String:bc"},
        {"REPLACE('a' WITH 'xy' IN 'banana')", "String:bxynxynxy"}, {"REPLACE('aa', 'a', 'aaa')", "String:aa"},
        {"REPLACE('a' WITH '' IN 'aaa')", "String:NULL"}, {"POSITION('c' IN 'abcc')", "Integer:3"},
        {"POS('z', 'abc')", "Integer:0"},         {"OCCURS('aa' IN 'aaaaa')", "Integer:2"},
        {"TRIM(BOTH 'x' FROM 'xxaxx')", "String:a"}, {"TRIM(LEADING 'x', 'xxaxx')", "String:axx"},
        {"TRIM(TRAILING 'x' FROM 'xxaxx')", "String:xxa"}, {"RTRIM('   ')", "String:NULL"},
        {"LTRIM('  a ')", "String:a "},           {"ALLTRIM(' a ')", "String:a"},
        {"LENGTH('abc')", "Integer:3"},           {"LEFT('abc' FOR 2)", "String:ab"},
        {"RIGHT('abc' FOR 5)", "String:abc"},     {"LEFT('abc', -1)", "String:NULL"},
        {"REPEAT('ab' FOR 3)", "String:ababab"},  {"REPEAT('ab', 0)", "String:NULL"},
        {"CONCAT('a' WITH 'b')", "String:ab"},    {"CONCAT(d, 2)", "Date:2006-02-02"},
        {"UPPER(m)", "Memo:MEMO TEXT"},
    });
    EXPECT_EQ(Evaluate("REPEAT('ab' FOR 3)").Root->Size, 7u);
    EXPECT_EQ(Evaluate("s + 'de'").Root->Size, 23u);
}

TEST(Expression, TemporalAndNumericFunctions) {
    ExpectAll({
        {"EXTRACT(WEEK FROM '2005-01-01')", "Integer:53"}, {"EXTRACT(DAYOFWEEK FROM '2005-01-02')", "Integer:7"},
        {"EXTRACT(WEEK FROM '2008-12-29')", "Integer:1"}, {"EXTRACT(DAYOFYEAR FROM d)", "Integer:31"},
        {"EXTRACT(YEAR, ts)", "Integer:2006"},     {"EXTRACT(MONTH FROM d)", "Integer:1"},
        {"EXTRACT(DAY FROM d)", "Integer:31"},     {"EXTRACT(HOUR FROM t)", "Integer:13"},
        {"EXTRACT(MINUTE FROM ts)", "Integer:45"}, {"EXTRACT(SECOND FROM t)", "Integer:10"},
        {"EXTRACT(MSECOND FROM '13:45:10.25')", "Integer:250"}, {"EXTRACT(HOUR FROM d)", "Integer:0"},
        {"EXTRACT(WEEK FROM t)", "Integer:0"},     {"EXTRACT(HOUR FROM '1:30 PM')", "Integer:13"},
        {"YEARSFROMMSECS(31536000000 * 2 + 90061001)", "Integer:2"},
        {"DAYSFROMMSECS(31536000000 * 2 + 90061001)", "Integer:1"},
        {"HOURSFROMMSECS(90061001)", "Integer:1"}, {"MINSFROMMSECS(90061001)", "Integer:1"},
        {"SECSFROMMSECS(90061001)", "Integer:1"},  {"MSECSFROMMSECS(90061001)", "Integer:1"},
        {"ABS(-2.5)", "Float:2.5"},                {"ABS(si)", "SmallInt:3"},
        {"ROUND(2.5)", "Float:3"},                 {"ROUND(-2.5)", "Float:-3"},
        {"ROUND(1.25 TO 1)", "Float:1.3"},         {"ROUND(i)", "Integer:5"},
        {"ROUND(c, 1)", "BCD:12.50"},              {"ROUND(CAST(-1.25 AS DECIMAL(5,2)) TO 1)", "BCD:-1.30"},
        {"TRUNCATE(2.79 TO 1)", "Float:2.7"},      {"TRUNC(-2.79)", "Float:-2"},
        {"TRUNCATE(0.29, 2)", "Float:0.29"},
        {"SQRT(-1)", "Float:NULL"},                {"SQRT(16)", "Float:4"},
        {"LOG(0)", "Float:NULL"},                  {"ACOS(2)", "Float:NULL"},
        {"COT(0)", "Float:NULL"},                  {"POWER(2 TO 10)", "Float:1024"},
        {"POWER(10, 400)", "Float:NULL"},          {"EXP(0)", "Float:1"},
        {"LOG10(1000)", "Float:3"},                {"ATAN2(0, 1)", "Float:0"},
        {"DEGREES(PI)", "Float:180"},              {"PI()", "Float:3.141592653589793"},
        {"CEILING(2.1)", "LargeInt:3"},            {"FLOOR(-2.1)", "LargeInt:-3"},
        {"CEIL(1e20)", "LargeInt:NULL"},           {"SIGN(-4)", "Integer:-1"},
        {"MOD(7, 3)", "Integer:1"},                {"RAND(1)", "Float:0"},
        {"CAST('abc' AS INTEGER)", "Integer:NULL"}, {"CAST('42' AS SMALLINT)", "SmallInt:42"},
        {"CAST(70000 AS SMALLINT)", "SmallInt:NULL"}, {"CAST(2.9 AS INTEGER)", "Integer:2"},
        {"CAST(1.5 AS VARCHAR(2))", "String:1."},  {"CAST(m AS CHAR(4))", "FixedChar:memo"},
        {"CAST('true' AS BOOLEAN)", "Boolean:TRUE"}, {"CAST('yes' AS BOOLEAN)", "Boolean:NULL"},
        {"CAST('2006-02-30' AS DATE)", "Date:NULL"}, {"CAST('12:00 AM' AS TIME)", "Time:00:00:00.000"},
        {"CAST('2006-01-31 10:00' AS TIMESTAMP)", "Timestamp:2006-01-31 10:00:00.000"},
        {"CAST(ts AS DATE)", "Date:2006-01-31"},   {"CAST(12.346 AS NUMERIC(8, 2))", "BCD:12.35"},
        {"CAST(d AS VARCHAR(20))", "String:2006-01-31"}, {"CAST(0.1 AS VARCHAR(20))", "String:0.1"},
        {"IF(i > 1 THEN 'big' ELSE 'small')", "String:big"}, {"IF(i > 1, NULL, 'x')", "String:NULL"},
        {"IF(n > 1 THEN 1 ELSE 2.5)", "Integer:2"}, {"COALESCE(NULL, 'b', 'c')", "String:b"},
        {"NULLIF(i, 5)", "Integer:NULL"},          {"NULLIF(i, 6)", "Integer:5"},
        {"CASE i WHEN 1 THEN 'one' WHEN 5 THEN 'five' ELSE 'many' END", "String:five"},
        {"CASE WHEN i > 9 THEN 1 ELSE 0 END", "Integer:0"},
    });
    EXPECT_EQ(Evaluate("IF(b THEN 'ab' ELSE 'abcd')").Root->Size, 5u);
    double r = Evaluate("RAND").Root->Get<double>();
    EXPECT_GE(r, 0.0);
    EXPECT_LT(r, 1.0);
    EXPECT_EQ(Evaluate("CURRENT_GUID").Root->StringView().size(), 38u);
}

TEST(Expression, AggregatesTypeTheirResult) {
    ExpectAll({
        {"SUM(i)", "LargeInt:5"}, {"AVG(si)", "Integer:-3"}, {"SUM(f)", "Float:2.5"},
        {"COUNT(*)", "Integer:NULL"}, {"COUNT(s)", "Integer:NULL"}, {"MAX(id)", "Integer:9"},
        {"MIN(NULL)", "Float:NULL"}, {"STDDEV(w)", "Float:7"}, {"LIST(s, ',')", "Memo:abc"},
        {"SUM(c)", "BCD:12.50"},
    }, kSelectColumnFlags);
}

TEST(Expression, BooleanContextComparesBareValuesWithTrue) {
    auto r = Evaluate("b AND NOT bf AND i", kWhereFlags, true);
    EXPECT_EQ(r.Shown, "Boolean:FALSE");  // i = TRUE is 5 = 1
    const TExpToken& andNode = *r.Root->First;
    ASSERT_EQ(andNode.First->Code, ecEqual);
    EXPECT_EQ(andNode.First->First->ColumnName, "b");
    EXPECT_EQ(andNode.First->First->Parent, andNode.First.get());
    EXPECT_EQ(andNode.Second->First->Code, ecEqual);
    auto single = Evaluate("b", kWhereFlags, true);
    EXPECT_EQ(single.Root->Code, ecEqual);
    EXPECT_EQ(single.Shown, "Boolean:TRUE");
    // Outside a Boolean context, and under other parents, nothing is rewritten.
    EXPECT_EQ(Evaluate("b").Root->Kind, ekColumn);
    auto ifRoot = Evaluate("IF(b THEN 1 ELSE 2)", kWhereFlags, true);
    ASSERT_EQ(ifRoot.Root->Code, ecEqual);  // the Integer root itself is compared with TRUE
    EXPECT_EQ(ifRoot.Root->First->Args[0]->Kind, ekColumn);
    EXPECT_EQ(ifRoot.Shown, "Boolean:TRUE");
}

TEST(Expression, VerifierErrors) {
    const TCase cases[] = {
        {"d = '31/01/2006'", "Expected NULL, Date, or Timestamp expression but instead found 31/01/2006 in SELECT SQL statement @1:5"},
        {"b AND 1", "Expected NULL, Boolean expression but instead found 1 in SELECT SQL statement @1:7"},
        {"i + 'a'", "Expected NULL, SmallInt, Word, AutoInc, Integer, LargeInt, Currency, Float, BCD, Date, Time, or Timestamp expression but instead found a in SELECT SQL statement @1:5"},
        {"s = 1", "Expected NULL, FixedChar, GUID, String, Memo, or BLOB expression but instead found 1 in SELECT SQL statement @1:5"},
        {"bin = 'x'", "Expected NULL expression but instead found x in SELECT SQL statement @1:7"},
        {"b < TRUE", "Expected NULL, FixedChar, GUID, String, Bytes, VarBytes, SmallInt, Word, AutoInc, Integer, LargeInt, Currency, Float, BCD, Date, Time, Timestamp, Memo, or BLOB expression but instead found b in SELECT SQL statement @1:1"},
        {"s * 2", "Expected NULL, SmallInt, Word, AutoInc, Integer, LargeInt, Currency, Float, or BCD expression but instead found s in SELECT SQL statement @1:1"},
        {"f MOD 2", "Expected NULL, SmallInt, Word, AutoInc, Integer, or LargeInt expression but instead found f in SELECT SQL statement @1:1"},
        {"d + d", "Expected NULL, SmallInt, Word, AutoInc, Integer, or LargeInt expression but instead found d in SELECT SQL statement @1:5"},
        {"UPPER(i)", "Expected NULL, FixedChar, GUID, String, Memo, or BLOB expression but instead found i in SELECT SQL statement @1:7"},
        {"LENGTH(bin)", "Expected NULL, FixedChar, GUID, String, Memo, or BLOB expression but instead found bin in SELECT SQL statement @1:8"},
        {"SUM(s)", "Expected NULL, SmallInt, Word, AutoInc, Integer, LargeInt, Currency, Float, or BCD expression but instead found s in SELECT SQL statement @1:5"},
        {"nosuch = 1", "Expected column name but instead found nosuch in SELECT SQL statement @1:1"},
        {"IF(i > 1 THEN NULL ELSE NULL)", "At least one of the IF expression arguments must be a non-NULL value in SELECT SQL statement @1:1"},
        {"IFNULL(i, NULL, NULL)", "At least one of the IFNULL expression arguments must be a non-NULL value in SELECT SQL statement @1:1"},
        {"COALESCE(NULL, NULL)", "At least one of the COALESCE expression arguments must be a non-NULL value in SELECT SQL statement @1:1"},
        {"NULLIF(NULL, NULL)", "At least one of the NULLIF expression arguments must be a non-NULL value in SELECT SQL statement @1:1"},
        {"CASE WHEN b THEN NULL END", "At least one of the CASE..THEN expression arguments must be a non-NULL value in SELECT SQL statement @1:1"},
        {"IF(b THEN 'a' ELSE 1)", "Expected NULL, FixedChar, GUID, String, Memo, or BLOB expression but instead found 1 in SELECT SQL statement @1:20"},
        {"IF(i THEN 1 ELSE 2)", "Expected NULL, Boolean expression but instead found i in SELECT SQL statement @1:4"},
        {"CAST(i AS VARCHAR(600))", "Length argument must be greater than 0 and less than or equal to 512 in SELECT SQL statement @1:19"},
        {"CAST(i AS CHAR(0))", "Length argument must be greater than 0 and less than or equal to 512 in SELECT SQL statement @1:16"},
        {"CAST(i AS BYTES(i))", "Length argument must be greater than 0 and less than or equal to 512 in SELECT SQL statement @1:17"},
        {"CAST(i AS DECIMAL(10, 5))", "Scale argument must be an integer less than or equal to 4 but greater than or equal to 0 in SELECT SQL statement @1:23"},
        {"TEXTSEARCH('a' IN 'b')", "Expected column name but instead found b in SELECT SQL statement @1:19"},
        {"EXTRACT(DAY FROM 'noon')", "Expected NULL, Date, Time, or Timestamp expression but instead found noon in SELECT SQL statement @1:18"},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.Text), c.Expected) << c.Text;
}

TEST(Expression, KindAndTypeListsAreJoinedWithOr) {
    EXPECT_EQ(KindList((1u << ekColumn) | (1u << ekConstant)), "column name, or constant value");
    EXPECT_EQ(KindList(1u << ekFunction), "function name");
    EXPECT_EQ(TypeList(TypeBit(ftdBoolean), sbNone), "NULL, Boolean");
    EXPECT_EQ(TypeList(TypeBit(ftdDate) | TypeBit(ftdTimestamp), sbNone), "NULL, Date, or Timestamp");
    EXPECT_EQ(TypeList(TypeBit(ftdString) | TypeBit(ftdInteger) | TypeBit(ftdFloat) | TypeBit(ftdBlob),
                       sbFixedChar | sbAutoInc | sbCurrency | sbGraphic),
              "NULL, FixedChar, AutoInc, Currency, or Graphic");
}

TEST(Expression, ColumnWithoutFetchIsAnInternalError) {
    TExpressionParser parser;
    auto root = parser.ParseWhole("Name", kWhereFlags);
    TExpressionEvaluator evaluator;
    try {
        evaluator.Evaluate(*root);
        FAIL();
    } catch (const EDEZEDEEngineError& e) {
        EXPECT_EQ(e.ErrorCode, DEZEDE_SQLPARSE);
        EXPECT_EQ(e.ErrorMessage, "Internal error: Column \"Name\" specified illegally");
    }
}

TEST(Expression, RepeatRefusesHugeMemoResults) {
    try {
        Evaluate("REPEAT(m FOR 100000000)");
        FAIL();
    } catch (const EDEZEDEEngineError& e) {
        EXPECT_EQ(e.ErrorCode, DEZEDE_SQLEXEC);
        EXPECT_EQ(e.ErrorMessage, "The result of REPEAT is larger than 16777216 bytes");
    }
    // A String result is bounded by its declared size.
    EXPECT_EQ(Evaluate("CAST(REPEAT('ab' FOR i * 1000000) AS VARCHAR(3))").Shown, "String:aba");
}

TEST(Expression, CopiesAreDeepAndCanBeRebound) {
    auto r = Evaluate("i + 1 > 2 AND s LIKE 'a%'");
    auto copy = r.Root->Copy();
    EXPECT_EQ(copy->First->First->First->ColumnName, "i");
    EXPECT_NE(copy->First->First->First.get(), r.Root->First->First->First.get());
    EXPECT_EQ(copy->First->First->Parent, copy->First.get());
    EXPECT_EQ(copy->Second->Args[0]->StringView(), "a%");
    int bound = 0;
    auto rebound = CopyBoundTo(*r.Root, [&](TExpToken& c) {
        c.ColumnNumber = 42;
        ++bound;
    });
    EXPECT_EQ(bound, 2);
    EXPECT_EQ(rebound->Second->First->ColumnNumber, 42);
    EXPECT_EQ(r.Root->Second->First->ColumnNumber, 0);
}

TEST(Expression, RegisteredFunctionsCallTheHook) {
    TSqlFunctions functions;
    functions.Add({"Twice", ftdInteger, fsdNone, 0, {{ftdInteger, fsdNone}}});
    functions.Add({"Greet", ftdString, fsdNone, 10, {{ftdString, fsdNone}}});
    functions.OnCustomFunction = [](const TSqlFunctionDef& f, const std::vector<std::unique_ptr<TExpToken>>& args,
                                    TExpToken& result) {
        if (f.Name == "Twice") {
            if (!args[0]->IsNull) result.SetInteger(static_cast<int32_t>(args[0]->AsInt64() * 2));
        } else {
            result.SetString("hi " + std::string(args[0]->StringView()));
        }
    };
    TExpressionParser parser;
    parser.Functions = &functions;
    TExpressionVerifier verifier;
    verifier.Functions = &functions;
    TExpressionEvaluator evaluator;
    evaluator.Context.Functions = &functions;

    auto root = parser.ParseWhole("TWICE(20 + 1) + LENGTH(greet('x'))", kWhereFlags);
    verifier.Verify(*root, false, false);
    EXPECT_EQ(root->Args.size(), 0u);
    EXPECT_EQ(root->First->DataType, ftdInteger);
    EXPECT_EQ(root->Second->Args[0]->Size, 11u);
    evaluator.Evaluate(*root);
    EXPECT_EQ(root->AsInt64(), 46);

    auto bad = parser.ParseWhole("twice('a')", kWhereFlags);
    try {
        verifier.Verify(*bad, false, false);
        FAIL();
    } catch (const EDEZEDEEngineError& e) {
        EXPECT_EQ(e.ErrorMessage,
                  "Expected NULL, Boolean, SmallInt, Word, AutoInc, Integer, LargeInt, Currency, Float, or BCD "
                  "expression but instead found a in SQL statement");
    }
}

}  // namespace
}  // namespace dezede

namespace dezede {
namespace {

TEST(Expression, StringsCompareByTheStatementLocale) {
    constexpr uint32_t kGerman = 1031;
    struct {
        const char* Text;
        uint32_t Locale;
        const char* Expected;
    } cases[] = {
        {"'a' < 'B'", 0, "Boolean:FALSE"},
        {"'a' < 'B'", kGerman, "Boolean:TRUE"},
        {"'\xe4' < 'b'", kGerman, "Boolean:TRUE"},  // a-umlaut sorts with a
        {"'abc' = 'ABC'", kGerman, "Boolean:FALSE"},
        {"'x\xe4' LIKE 'x_'", kGerman, "Boolean:TRUE"},
        {"UPPER('stra\xdf" "e')", kGerman, "String:STRASSE"},
        {"UPPER('stra\xdf" "e')", 0, "String:STRA\xdf" "E"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Evaluate(c.Text, kWhereFlags, false, c.Locale).Shown, c.Expected) << c.Text << " " << c.Locale;
    }
}

TEST(Expression, CaseInsensitiveNodesIgnoreCase) {
    auto r = Evaluate("s = 'ABC' AND s LIKE 'A%'");
    r.Root->First->CaseInsensitive = true;
    r.Root->Second->CaseInsensitive = true;
    TExpressionEvaluator evaluator;
    TRow row;
    evaluator.Context.FetchColumn = &TRow::Fetch;
    evaluator.Context.FetchData = &row;
    evaluator.Evaluate(*r.Root);
    EXPECT_TRUE(TExpressionEvaluator::IsTrue(*r.Root));
}

}  // namespace
}  // namespace dezede
