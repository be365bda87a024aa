#pragma once
// TExpressionEvaluator: recomputes the values of a verified expression tree
// for the current row, each node's value written into its own buffer.
// Evaluation never raises for bad data: NULL rules, failed conversions and
// results outside a function's domain give NULL.

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "sql/exp_token.h"

namespace dezede {

class TSqlFunctions;

struct TEvaluationContext {
    // Copies the bound column's current value and null flag into the node.
    void (*FetchColumn)(void* data, TExpToken& column) = nullptr;
    void* FetchData = nullptr;
    // The statement's locale (0: byte order and the Windows-1252 case tables).
    uint32_t Locale = 0;
    const TSqlFunctions* Functions = nullptr;
    // IN sub-query: runs the node's sub-query for the outer value; true when it returns a row.
    std::function<bool(TExpToken& node)> RunSubQuery;
    // TEXTSEARCH and TEXTOCCURS: how often the words occur in the column of the current record.
    std::function<int32_t(TExpToken& node, std::string_view words)> TextOccurrences;
    // LASTAUTOINC and IDENT_CURRENT: the last auto-increment value of the named table.
    std::function<int32_t(std::string_view table)> LastAutoInc;
};

class TExpressionEvaluator {
public:
    TEvaluationContext Context;

    void Evaluate(TExpToken& node);
    // Truth of a Boolean node after evaluation (NULL is false).
    static bool IsTrue(const TExpToken& node) { return !node.IsNull && node.Get<int16_t>() != 0; }

    // Compares two evaluated operands under a comparison code, with the NULL rules.
    bool Compare(uint8_t code, const TExpToken& a, const TExpToken& b, const TExpToken& op) const;

private:
    void EvaluateBinary(TExpToken& n);
    void EvaluateArithmetic(TExpToken& n, TExpToken& a, TExpToken& b);
    void EvaluateExtended(TExpToken& n);
    void EvaluateFunction(TExpToken& n);
    void EvaluateMath(TExpToken& n);
    int CompareValues(const TExpToken& a, const TExpToken& b, const TExpToken& op) const;
    int CompareText(std::string_view a, std::string_view b, const TExpToken& op) const;
    bool Like(std::string_view value, std::string_view pattern, int escape, bool caseInsensitive) const;
    bool SameChar(char a, char b, bool caseInsensitive) const;
};

// Deep copy of a tree in which every column node is passed to `bind` (to
// re-bind it to another source table).
std::unique_ptr<TExpToken> CopyBoundTo(const TExpToken& root, const std::function<void(TExpToken& column)>& bind);

}  // namespace dezede
