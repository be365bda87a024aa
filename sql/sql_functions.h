#pragma once
// SQL functions registered with the engine (its `Functions` collection) and
// the `OnCustomFunction` hook that computes them. The parser needs a
// function's name, result type and argument count; the verifier its
// parameter types; the evaluator calls the hook with the argument values.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dezede {

class TExpToken;

struct TSqlFunctionParam {
    uint8_t DataType = 0;
    uint8_t SubType = 0;
};

struct TSqlFunctionDef {
    std::string Name;
    uint8_t ResultType = 0;
    uint8_t ResultSubType = 0;
    uint32_t ResultSize = 0;  // String results: the length; 0 gives the largest (512)
    std::vector<TSqlFunctionParam> Params;
};

// The hook: computes `result` (its type is already set) from the argument
// nodes, which hold their evaluated values. Leave `result.IsNull` set for NULL.
using TOnCustomFunction =
    std::function<void(const TSqlFunctionDef& function, const std::vector<std::unique_ptr<TExpToken>>& args,
                       TExpToken& result)>;

class TSqlFunctions {
public:
    void Add(TSqlFunctionDef def) { Items_.push_back(std::move(def)); }
    void Clear() { Items_.clear(); }
    size_t Count() const { return Items_.size(); }
    const TSqlFunctionDef& Item(size_t i) const { return Items_[i]; }
    // Index of the function with this name (compared without regard to ASCII case), or -1.
    int Find(std::string_view name) const;

    TOnCustomFunction OnCustomFunction;

private:
    std::vector<TSqlFunctionDef> Items_;
};

}  // namespace dezede
