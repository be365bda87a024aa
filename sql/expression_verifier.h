#pragma once
// TExpressionVerifier: binds the column names of an expression tree through
// the caller's callback, works out the type, subtype, size and scale of every
// node bottom-up and refuses operands of the wrong type.

#include <cstdint>
#include <functional>
#include <string>

#include "sql/exp_token.h"
#include "sql/sql_scanner.h"

namespace dezede {

class TSqlFunctions;

// Sets of types (bit 1 << type code) and of subtypes (the bits below).
using TTypeSet = uint32_t;
using TSubTypeSet = uint32_t;

constexpr TTypeSet TypeBit(uint8_t t) { return TTypeSet{1} << t; }

enum : TSubTypeSet {
    sbNone = 0x01,
    sbCurrency = 0x02,
    sbMemo = 0x04,
    sbGraphic = 0x08,
    sbAutoInc = 0x10,
    sbFixedChar = 0x20,
    sbWide = 0x40,
    sbGuid = 0x80,
};

TSubTypeSet SubTypeBit(uint8_t subType);

// "NULL, Date, or Timestamp": the names of the allowed types as the type errors list them.
std::string TypeList(TTypeSet types, TSubTypeSet subTypes);
// "column name, or constant value".
std::string KindList(uint32_t kinds);

class TExpressionVerifier {
public:
    TScanErrorContext ErrorContext;
    // Resolves a column node: fills its type, subtype, size, scale, column
    // number and source; false when the name is unknown.
    std::function<bool(TExpToken& column)> BindColumn;
    const TSqlFunctions* Functions = nullptr;

    void Verify(TExpToken& root, bool booleanContext, bool allowUnknown);

    // Raises the expected-type error unless the node's type and subtype are allowed.
    void CheckType(const TExpToken& node, TTypeSet types, TSubTypeSet subTypes) const;
    // Raises the expected-kind error unless the node's kind is in the set (bit 1 << kind).
    void CheckKind(const TExpToken& node, uint32_t kinds) const;
    // Whether a value may be assigned to a target of the given type (raises otherwise).
    void CheckAssignment(uint8_t targetType, uint8_t targetSubType, const TExpToken& value) const;

    [[noreturn]] void Raise(const std::string& inner, const TExpToken& at) const;

private:
    void VerifyNode(TExpToken& node, TExpToken* parent);
    void VerifyBinary(TExpToken& node);
    void VerifyExtended(TExpToken& node);
    void VerifyFunction(TExpToken& node);
    void VerifyAggregate(TExpToken& node);
    void VerifyBranches(TExpToken& node, const char* name, size_t first, size_t count, TExpToken* extra);
    void VerifyDataType(TDataTypeSpec& spec);
    void CheckSecondOperand(uint8_t code, const TExpToken& first, const TExpToken& second) const;
    void ConvertStringToTemporal(TExpToken& constant, const TExpToken& other) const;
    bool Passes(const TExpToken& node) const;
    void RewriteAsTrueComparison(TExpToken& node);

    bool BooleanContext_ = false;
    bool AllowUnknown_ = false;
};

}  // namespace dezede
