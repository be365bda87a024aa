#pragma once
// The engine component's collection of custom SQL functions: each function
// has a name, a result type and a list of parameters with their data types.
// The application code behind them runs in the engine's OnCustomFunction.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/field_type.h"

namespace dezede {

struct TDEZEDEFunctionParam {
    TFieldType DataType = ftdNone;
};

class TDEZEDEFunction {
public:
    const std::string& Name() const { return Name_; }
    void SetName(const std::string& name) { Name_ = name; }
    TFieldType ResultType() const { return ResultType_; }
    void SetResultType(TFieldType type) { ResultType_ = type; }
    std::vector<TDEZEDEFunctionParam>& Params() { return Params_; }
    const std::vector<TDEZEDEFunctionParam>& Params() const { return Params_; }

private:
    std::string Name_;
    TFieldType ResultType_ = ftdNone;
    std::vector<TDEZEDEFunctionParam> Params_;
};

class TDEZEDEFunctions {
public:
    // The new item stays at the same address until it is deleted.
    TDEZEDEFunction& Add();
    void Delete(size_t index);
    void Clear() { Items_.clear(); }
    size_t Count() const { return Items_.size(); }
    TDEZEDEFunction& Item(size_t index) { return *Items_.at(index); }
    const TDEZEDEFunction& Item(size_t index) const { return *Items_.at(index); }
    // The first function with that name, compared without regard to case; nullptr if none.
    const TDEZEDEFunction* Find(const std::string& name) const;

private:
    std::vector<std::unique_ptr<TDEZEDEFunction>> Items_;
};

}  // namespace dezede
