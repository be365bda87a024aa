#pragma once
// TExpressionParser: the recursive-descent parser of SQL expressions on top of
// the scanner. Each clause passes context flags that decide what its
// expressions may contain. Nesting is bounded, so hostile input ends in a
// parse error rather than a stack overflow.

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql/exp_token.h"
#include "sql/sql_scanner.h"

namespace dezede {

class TSqlFunctions;

// Context flags of the expression entry points.
enum TParseFlags : uint32_t {
    pfAggregates = 0x01,
    pfStar = 0x02,
    pfPredicates = 0x04,  // LIKE, BETWEEN, IN, IS and NOT
    pfParameters = 0x08,
    pfSubQueries = 0x10,
    pfQualified = 0x20,
};

// Flags of the clauses.
inline constexpr uint32_t kSelectColumnFlags = 0x27;
inline constexpr uint32_t kWhereFlags = 0x3C;
inline constexpr uint32_t kJoinOnFlags = 0x2C;
inline constexpr uint32_t kSetValueFlags = 0x2C;
inline constexpr uint32_t kInsertValueFlags = 0x0C;
inline constexpr uint32_t kHavingFlags = 0x25;
inline constexpr uint32_t kFilterFlags = 0x04;

// Limits on nesting: recursion of the parser (each parenthesis or function
// argument level takes three steps, so about 128 levels) and the height of the
// tree (recursion of the verifier, the evaluator, copies and destruction).
inline constexpr uint32_t kMaxExpressionNesting = 384;
inline constexpr uint32_t kMaxExpressionDepth = 1000;

class TExpressionParser : public TSqlScanner {
public:
    // Registered functions; may be null.
    const TSqlFunctions* Functions = nullptr;
    // Parameter nodes are appended here in marker order; may be null.
    std::vector<TExpToken*>* Parameters = nullptr;
    // The statement (or cursor) that owns the nodes being parsed.
    void* Owner = nullptr;
    // Parses "SELECT ..." of an IN sub-query into the node (current token is
    // SELECT; returns at the closing parenthesis). Without it sub-queries are refused.
    std::function<void(TExpToken& node)> SubQueryParser;

    std::unique_ptr<TExpToken> ParseExpression(uint32_t flags);
    std::unique_ptr<TExpToken> ParseAdditive(uint32_t flags);
    std::unique_ptr<TExpToken> ParsePrimary(uint32_t flags);
    // A data type; null when `required` is false and no type keyword follows.
    std::unique_ptr<TDataTypeSpec> ParseDataType(bool required = true);
    // The current integer token as a 32-bit integer (TOP, sizes, versions).
    int32_t ParseIntegerLiteral();

    // Parses a whole text as one expression, refusing anything after it.
    std::unique_ptr<TExpToken> ParseWhole(std::string_view text, uint32_t flags, uint32_t line = 1,
                                          uint32_t column = 1);

private:
    struct TNestGuard {
        TExpressionParser& P;
        explicit TNestGuard(TExpressionParser& p);
        ~TNestGuard() { --P.Nesting_; }
    };

    // One level of the grammar: reads an operand with the given context flags.
    using TOperandParser = std::unique_ptr<TExpToken> (TExpressionParser::*)(uint32_t flags);

    // A node at the current token, or at the given place.
    std::unique_ptr<TExpToken> NewNode(uint8_t kind, uint8_t code, std::string text);
    std::unique_ptr<TExpToken> NewNodeAt(uint8_t kind, uint8_t code, std::string text, uint32_t line,
                                         uint32_t column);
    std::unique_ptr<TExpToken> MakeBinary(uint8_t kind, uint8_t code, std::string text, uint32_t line,
                                          uint32_t column, std::unique_ptr<TExpToken> a,
                                          std::unique_ptr<TExpToken> b);
    void Adopt(TExpToken& parent, std::unique_ptr<TExpToken>& child);
    void AddArg(TExpToken& parent, std::unique_ptr<TExpToken> child);
    void RefuseStar(const TExpToken& operand) const;
    // The first operand, or a further argument, of an operator; neither may be a bare *.
    void SetFirst(TExpToken& parent, std::unique_ptr<TExpToken> operand);
    void AddOperand(TExpToken& parent, std::unique_ptr<TExpToken> operand);
    [[noreturn]] void RaiseTooDeep(uint32_t line, uint32_t column) const;

    template <typename Match>
    std::unique_ptr<TExpToken> ParseBinaryChain(uint32_t flags, TOperandParser operand, Match match);
    // Operands joined by one keyword operator (OR, AND).
    std::unique_ptr<TExpToken> ParseKeywordChain(uint32_t flags, TOperandParser operand, std::string_view keyword,
                                                 uint8_t code);
    // A prefix operator (the current token) and its operand.
    std::unique_ptr<TExpToken> ParsePrefixed(uint32_t flags, TOperandParser operand, uint8_t code);
    std::unique_ptr<TExpToken> ParseOr(uint32_t flags);
    std::unique_ptr<TExpToken> ParseAnd(uint32_t flags);
    std::unique_ptr<TExpToken> ParseNot(uint32_t flags);
    std::unique_ptr<TExpToken> ParseComparison(uint32_t flags);
    std::unique_ptr<TExpToken> ParseMultiplicative(uint32_t flags);
    std::unique_ptr<TExpToken> ParseUnary(uint32_t flags);
    std::unique_ptr<TExpToken> ParseNumber();
    std::unique_ptr<TExpToken> ParseColumn(uint32_t flags, std::string first);
    std::unique_ptr<TExpToken> ParseIdentifier(uint32_t flags);
    std::unique_ptr<TExpToken> ParseAggregate(uint32_t flags, uint8_t code, std::string name, uint32_t line,
                                              uint32_t column);
    std::unique_ptr<TExpToken> ParseFunction(uint32_t flags, uint8_t code, std::string name, uint32_t line,
                                             uint32_t column);
    void ExpectSeparator(std::string_view keyword);
    void SkipEmptyParens();
    // Function arguments read by `parse`: the first, then one after each
    // separator (a keyword or a comma; "," admits only a comma).
    void ParseArgs(TExpToken& n, TOperandParser parse, uint32_t flags,
                   std::initializer_list<std::string_view> separators);

    uint32_t Nesting_ = 0;
};

}  // namespace dezede
