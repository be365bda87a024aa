#include "sql/expression_verifier.h"

#include <algorithm>

#include "engine/error_context.h"
#include "sql/sql_functions.h"
#include "sql/value_conversion.h"

namespace dezede {

namespace {

constexpr TTypeSet kIntTypes =
    TypeBit(ftdSmallInt) | TypeBit(ftdInteger) | TypeBit(ftdWord) | TypeBit(ftdLargeInt);
constexpr TTypeSet kNumTypes = kIntTypes | TypeBit(ftdFloat) | TypeBit(ftdBCD);
constexpr TTypeSet kTemporalTypes = TypeBit(ftdDate) | TypeBit(ftdTime) | TypeBit(ftdTimestamp);
constexpr TTypeSet kAllTypes = TypeBit(ftdString) | TypeBit(ftdDate) | TypeBit(ftdBlob) | TypeBit(ftdBoolean) |
                               kNumTypes | TypeBit(ftdBytes) | TypeBit(ftdTime) | TypeBit(ftdTimestamp) |
                               TypeBit(ftdVarBytes);
constexpr TTypeSet kStringTypes = TypeBit(ftdString) | TypeBit(ftdBlob);
constexpr TSubTypeSet kNumSubs = sbNone | sbCurrency | sbAutoInc;
constexpr TSubTypeSet kIntSubs = sbNone | sbAutoInc;
constexpr TSubTypeSet kStringSubs = sbNone | sbFixedChar | sbGuid;
constexpr TSubTypeSet kTextSubs = sbNone | sbMemo | sbFixedChar | sbGuid;
constexpr TSubTypeSet kEqualSubs = sbNone | sbCurrency | sbMemo | sbGraphic | sbAutoInc | sbFixedChar | sbGuid;
constexpr TSubTypeSet kAnySubs = 0xFF;

bool In(TTypeSet set, uint8_t type) { return type < 32 && (set & TypeBit(type)); }
bool IsSmallInteger(uint8_t t) { return t == ftdSmallInt || t == ftdInteger || t == ftdWord; }
uint8_t DropAutoInc(uint8_t subType) { return subType == fsdAutoInc ? uint8_t{fsdNone} : subType; }

uint32_t FixedSize(uint8_t type) {
    switch (type) {
        case ftdDate:
        case ftdTime:
        case ftdInteger: return 4;
        case ftdTimestamp:
        case ftdFloat:
        case ftdLargeInt: return 8;
        case ftdBoolean:
        case ftdSmallInt:
        case ftdWord: return 2;
        case ftdBCD: return kBcdSize;
        default: return 0;
    }
}

struct TResult {
    uint8_t Type = ftdNone;
    uint8_t SubType = fsdNone;
    uint32_t Size = 0;
    uint8_t Scale = 0;
};

bool NumericResult(uint8_t code, const TExpToken& a, const TExpToken& b, TResult& r) {
    const uint8_t x = a.DataType, y = b.DataType;
    if (code == ecMod) {
        if (IsSmallInteger(x) && IsSmallInteger(y)) r.Type = ftdInteger;
        else if (IsIntegerType(x) && y == ftdLargeInt) r.Type = ftdLargeInt;
        return r.Type != ftdNone;
    }
    if (code == ecDivide) {
        if (IsIntegerType(x) && (IsIntegerType(y) || y == ftdFloat)) r.Type = ftdFloat;
        else if (IsNumericType(x) && y == ftdFloat) r.Type = ftdFloat;
        else if ((IsIntegerType(x) || x == ftdBCD) && y == ftdBCD) r.Type = ftdBCD;
        return r.Type != ftdNone;
    }
    if (IsSmallInteger(x) && IsSmallInteger(y)) r.Type = ftdInteger;
    else if (IsIntegerType(x) && y == ftdLargeInt) r.Type = ftdLargeInt;
    else if (IsNumericType(x) && y == ftdFloat) r.Type = ftdFloat;
    else if ((IsIntegerType(x) || x == ftdBCD) && y == ftdBCD) r.Type = ftdBCD;
    return r.Type != ftdNone;
}

bool ArithmeticResult(uint8_t code, const TExpToken& a, const TExpToken& b, TResult& r) {
    const uint8_t x = a.DataType, y = b.DataType;
    if (code == ecAdd) {
        if (x == ftdString && y == ftdString) {
            r.Type = ftdString;
            r.Size = a.Size + b.Size > 0 ? a.Size + b.Size - 1 : 0;
            return true;
        }
        if ((x == ftdString && y == ftdBlob) || x == ftdBlob) {
            r.Type = ftdBlob;
            r.SubType = fsdMemo;
            return true;
        }
        if (IsTemporalType(x) && IsIntegerType(y)) {
            r.Type = x;
            return true;
        }
        return NumericResult(code, a, b, r);
    }
    if (code == ecSubtract) {
        if ((x == ftdDate && y == ftdDate) || (x == ftdTime && y == ftdTime)) r.Type = ftdInteger;
        else if ((x == ftdDate || x == ftdTime || x == ftdTimestamp) && IsIntegerType(y)) r.Type = x;
        else if (x == ftdTimestamp && IsTemporalType(y)) r.Type = ftdFloat;
        if (r.Type != ftdNone) return true;
        return NumericResult(code, a, b, r);
    }
    return NumericResult(code, a, b, r);
}

void SetResult(TExpToken& n, uint8_t type, uint8_t subType = fsdNone, uint32_t size = 0, uint8_t scale = 0) {
    n.SetType(type, subType, size ? size : FixedSize(type), scale);
    n.Value.assign(n.Size, 0);
    n.IsNull = true;
}

bool IsAggregate(uint8_t code) { return (code >= ecSum && code <= ecStdDev) || code == ecList; }

}  // namespace

TSubTypeSet SubTypeBit(uint8_t s) {
    switch (s) {
        case fsdNone: return sbNone;
        case fsdMoney: return sbCurrency;
        case fsdMemo: return sbMemo;
        case fsdGraphic: return sbGraphic;
        case fsdAutoInc: return sbAutoInc;
        case fsdFixedChar: return sbFixedChar;
        case fsdWideString: return sbWide;
        case fsdGuid: return sbGuid;
        default: return 0;
    }
}

std::string TypeList(TTypeSet types, TSubTypeSet subs) {
    struct TName {
        const char* Name;
        uint8_t Type;
        TSubTypeSet Sub;  // 0: listed by type alone
    };
    static constexpr TName kNames[] = {
        {"FixedChar", ftdString, sbFixedChar}, {"GUID", ftdString, sbGuid}, {"String", ftdString, sbNone},
        {"Bytes", ftdBytes, 0}, {"VarBytes", ftdVarBytes, 0}, {"Boolean", ftdBoolean, 0},
        {"SmallInt", ftdSmallInt, 0}, {"Word", ftdWord, 0}, {"AutoInc", ftdInteger, sbAutoInc},
        {"Integer", ftdInteger, sbNone}, {"LargeInt", ftdLargeInt, 0}, {"Currency", ftdFloat, sbCurrency},
        {"Float", ftdFloat, sbNone}, {"BCD", ftdBCD, 0}, {"Date", ftdDate, 0}, {"Time", ftdTime, 0},
        {"Timestamp", ftdTimestamp, 0}, {"Memo", ftdBlob, sbMemo}, {"Graphic", ftdBlob, sbGraphic},
        {"BLOB", ftdBlob, sbNone},
    };
    std::string list = "NULL";
    int count = 0;
    for (const auto& n : kNames) {
        if (!In(types, n.Type)) continue;
        if (n.Sub && !(subs & n.Sub)) continue;
        list += ", ";
        list += n.Name;
        ++count;
    }
    if (count > 1) list.replace(list.rfind(' '), 1, " or ");
    return list;
}

std::string KindList(uint32_t kinds) {
    static constexpr std::pair<uint8_t, const char*> kNames[] = {
        {ekUnary, "unary operator"}, {ekBinary, "binary operator"}, {ekCompare, "compare operator"},
        {ekExtended, "extended binary operator"}, {ekColumn, "column name"}, {ekConstant, "constant value"},
        {ekFunction, "function name"},
    };
    std::string list;
    int count = 0;
    for (const auto& [kind, name] : kNames) {
        if (!(kinds & (1u << kind))) continue;
        if (count++) list += ", ";
        list += name;
    }
    if (count > 1) list.replace(list.rfind(", ") + 1, 1, " or ");
    return list;
}

void TExpressionVerifier::Raise(const std::string& inner, const TExpToken& at) const {
    RaiseError(DEZEDE_SQLPARSE, {.Table = ErrorContext.Table,
                                 .Database = ErrorContext.Database,
                                 .Message = inner + " in " + ErrorContext.StatementName,
                                 .Line = at.Line,
                                 .Column = at.Column});
}

bool TExpressionVerifier::Passes(const TExpToken& n) const {
    return n.DataType == ftdNone && (AllowUnknown_ || (n.Kind == ekConstant && !n.IsParameter));
}

void TExpressionVerifier::CheckType(const TExpToken& n, TTypeSet types, TSubTypeSet subs) const {
    if (Passes(n)) return;
    if (In(types, n.DataType) && (subs & SubTypeBit(n.SubType))) return;
    Raise("Expected " + TypeList(types, subs) + " expression but instead found " + n.Text, n);
}

void TExpressionVerifier::CheckKind(const TExpToken& n, uint32_t kinds) const {
    if (kinds & (1u << n.Kind)) return;
    Raise("Expected " + KindList(kinds) + " but instead found " + n.Text, n);
}

// "String or memo": a String, or a BLOB holding text.
static void CheckText(const TExpressionVerifier& v, const TExpToken& n) {
    v.CheckType(n, kStringTypes, kTextSubs);
    if (n.DataType == ftdBlob && n.SubType != fsdMemo) {
        v.Raise("Expected " + TypeList(kStringTypes, kTextSubs) + " expression but instead found " + n.Text, n);
    }
}

void TExpressionVerifier::CheckAssignment(uint8_t t, uint8_t sub, const TExpToken& v) const {
    const bool valueIsString = v.DataType == ftdString;
    switch (t) {
        case ftdString:
            if (valueIsString) CheckType(v, TypeBit(ftdString), kStringSubs);
            else CheckType(v, kStringTypes, kTextSubs);
            break;
        case ftdDate:
        case ftdTimestamp: CheckType(v, TypeBit(ftdDate) | TypeBit(ftdTimestamp), sbNone); break;
        case ftdTime: CheckType(v, TypeBit(ftdTime), sbNone); break;
        case ftdBlob:
            if (sub != fsdMemo) CheckType(v, TypeBit(ftdBlob), sbNone | sbMemo | sbGraphic);
            else if (valueIsString) CheckType(v, TypeBit(ftdString), kStringSubs);
            else CheckType(v, TypeBit(ftdBlob), sbMemo);
            break;
        case ftdBoolean: CheckType(v, TypeBit(ftdBoolean) | kIntTypes, kIntSubs); break;
        case ftdSmallInt:
        case ftdInteger:
        case ftdWord:
        case ftdLargeInt: CheckType(v, TypeBit(ftdBoolean) | kNumTypes, kNumSubs); break;
        case ftdFloat:
        case ftdBCD: CheckType(v, kNumTypes, kNumSubs); break;
        case ftdBytes:
        case ftdVarBytes: CheckType(v, TypeBit(ftdBytes) | TypeBit(ftdVarBytes), sbNone); break;
        default: break;
    }
}

void TExpressionVerifier::Verify(TExpToken& root, bool booleanContext, bool allowUnknown) {
    BooleanContext_ = booleanContext;
    AllowUnknown_ = allowUnknown;
    VerifyNode(root, nullptr);
}

void TExpressionVerifier::RewriteAsTrueComparison(TExpToken& n) {
    auto inner = std::make_unique<TExpToken>();
    TExpToken& c = *inner;
    c.Text = std::move(n.Text);
    c.Kind = n.Kind;
    c.Code = n.Code;
    c.ColumnName = std::move(n.ColumnName);
    c.TableName = std::move(n.TableName);
    c.ColumnNumber = n.ColumnNumber;
    c.Source = n.Source;
    c.Query = n.Query;
    c.Owner = n.Owner;
    c.SetType(n.DataType, n.SubType, n.Size, n.Scale);
    c.IsNull = n.IsNull;
    c.Value = std::move(n.Value);
    c.CaseInsensitive = n.CaseInsensitive;
    c.PartialLength = n.PartialLength;
    c.IsParameter = n.IsParameter;
    c.FunctionIndex = n.FunctionIndex;
    c.First = std::move(n.First);
    c.Second = std::move(n.Second);
    c.Args = std::move(n.Args);
    c.CastType = std::move(n.CastType);
    c.Line = n.Line;
    c.Column = n.Column;
    c.Depth = n.Depth;
    c.Parent = &n;
    if (c.First) c.First->Parent = &c;
    if (c.Second) c.Second->Parent = &c;
    for (auto& a : c.Args) a->Parent = &c;

    auto truth = std::make_unique<TExpToken>();
    truth->Text = std::string("TRUE");
    truth->Kind = ekConstant;
    truth->SetType(ftdBoolean, fsdNone, 2);
    truth->SetBoolean(true);
    truth->Line = n.Line;
    truth->Column = n.Column;
    truth->Parent = &n;

    TExpToken* keepParent = n.Parent;
    n.Reset();
    n.Parent = keepParent;
    n.Text = std::string(1, '=');
    n.Kind = ekBinary;
    n.Code = ecEqual;
    n.Depth = c.Depth + 1;
    n.Line = c.Line;
    n.Column = c.Column;
    n.Owner = c.Owner;
    n.First = std::move(inner);
    n.Second = std::move(truth);
    SetResult(n, ftdBoolean);
}

void TExpressionVerifier::VerifyNode(TExpToken& n, TExpToken* parent) {
    n.Parent = parent;
    switch (n.Kind) {
        case ekColumn:
            if (n.ColumnName == "*") break;
            if (!BindColumn || !BindColumn(n)) Raise("Expected column name but instead found " + n.Text, n);
            break;
        case ekConstant: break;
        case ekUnary: {
            VerifyNode(*n.First, &n);
            const TExpToken& a = *n.First;
            if (n.Code == ecNot) {
                CheckType(a, TypeBit(ftdBoolean), sbNone);
                SetResult(n, ftdBoolean);
            } else {
                CheckType(a, kNumTypes, kNumSubs);
                SetResult(n, a.DataType, DropAutoInc(a.SubType), a.Size, a.Scale);
            }
            break;
        }
        case ekBinary:
        case ekCompare:
            VerifyNode(*n.First, &n);
            VerifyNode(*n.Second, &n);
            VerifyBinary(n);
            break;
        case ekExtended: VerifyExtended(n); break;
        case ekFunction:
            if (IsAggregate(n.Code)) VerifyAggregate(n);
            else VerifyFunction(n);
            break;
        default: Raise("Expected " + KindList(0x17E) + " but instead found " + n.Text, n);
    }
    if (BooleanContext_ && (n.Kind == ekColumn || n.Kind == ekConstant || n.Kind == ekFunction) &&
        (n.DataType == ftdBoolean || IsIntegerType(n.DataType)) &&
        (!parent || ((parent->Kind == ekUnary || parent->Kind == ekBinary) &&
                     (parent->Code == ecNot || parent->Code == ecAnd || parent->Code == ecOr)))) {
        RewriteAsTrueComparison(n);
    }
}

void TExpressionVerifier::ConvertStringToTemporal(TExpToken& c, const TExpToken& other) const {
    if (c.Kind != ekConstant || c.IsParameter || c.DataType != ftdString || !IsTemporalType(other.DataType)) return;
    TExpToken converted;
    converted.SetType(other.DataType, fsdNone, FixedSize(other.DataType));
    if (!ConvertValue(c, converted)) return;  // left as a String: the operand test names the temporal types
    c.SetType(converted.DataType, fsdNone, converted.Size);
    c.Value = std::move(converted.Value);
    c.IsNull = converted.IsNull;
}

void TExpressionVerifier::CheckSecondOperand(uint8_t code, const TExpToken& a, const TExpToken& b) const {
    const bool ordering = code == ecLess || code == ecGreater || code == ecLessEqual || code == ecGreaterEqual;
    if (a.DataType == ftdNone) {
        // An unknown first operand: the second one still has to be a value of some type.
        CheckType(b, kAllTypes, kEqualSubs);
        return;
    }
    switch (code) {
        case ecEqual:
        case ecNotEqual:
        case ecLess:
        case ecGreater:
        case ecLessEqual:
        case ecGreaterEqual:
        case ecAdd: {
            const uint8_t t = a.DataType;
            if (t == ftdString || (t == ftdBlob && a.SubType == fsdMemo)) {
                if (b.DataType == ftdString) CheckType(b, TypeBit(ftdString), kStringSubs);
                else CheckType(b, kStringTypes, kTextSubs);
            } else if (t == ftdBlob) {
                CheckType(b, 0, 0);
            } else if (code == ecAdd) {
                if (IsTemporalType(t)) CheckType(b, kIntTypes, kIntSubs);
                else if (IsIntegerType(t)) CheckType(b, kTemporalTypes | kNumTypes, kNumSubs);
                else CheckType(b, kNumTypes, kNumSubs);
            } else if (t == ftdDate || t == ftdTimestamp) {
                CheckType(b, TypeBit(ftdDate) | TypeBit(ftdTimestamp), sbNone);
            } else if (t == ftdBoolean) {
                CheckType(b, TypeBit(ftdBoolean) | kIntTypes, kIntSubs);
            } else if (IsIntegerType(t)) {
                CheckType(b, (ordering ? 0 : TypeBit(ftdBoolean)) | kNumTypes, kNumSubs);
            } else if (t == ftdFloat || t == ftdBCD) {
                CheckType(b, kNumTypes, kNumSubs);
            } else if (t == ftdBytes || t == ftdVarBytes) {
                if (!ordering) CheckType(b, TypeBit(ftdBytes) | TypeBit(ftdVarBytes), sbNone);
            } else if (t == ftdTime) {
                CheckType(b, TypeBit(ftdTime), sbNone);
            }
            break;
        }
        case ecAnd:
        case ecOr: CheckType(b, TypeBit(ftdBoolean), sbNone); break;
        case ecSubtract: {
            const uint8_t t = a.DataType;
            if (t == ftdDate) CheckType(b, TypeBit(ftdDate) | kIntTypes, kIntSubs);
            else if (t == ftdTime) CheckType(b, TypeBit(ftdTime) | kIntTypes, kIntSubs);
            else if (t == ftdTimestamp) CheckType(b, kTemporalTypes | kIntTypes, kIntSubs);
            else CheckType(b, kNumTypes, kNumSubs);
            break;
        }
        case ecMultiply:
        case ecDivide: CheckType(b, kNumTypes, kNumSubs); break;
        case ecMod: CheckType(b, kIntTypes, kIntSubs); break;
        default: break;
    }
}

void TExpressionVerifier::VerifyBinary(TExpToken& n) {
    TExpToken& a = *n.First;
    TExpToken& b = *n.Second;
    ConvertStringToTemporal(a, b);
    ConvertStringToTemporal(b, a);
    switch (n.Code) {
        case ecEqual:
        case ecNotEqual: CheckType(a, kAllTypes, kEqualSubs); break;
        case ecLess:
        case ecGreater:
        case ecLessEqual:
        case ecGreaterEqual: CheckType(a, kAllTypes & ~TypeBit(ftdBoolean), kEqualSubs & ~sbGraphic); break;
        case ecAnd:
        case ecOr: CheckType(a, TypeBit(ftdBoolean), sbNone); break;
        case ecAdd:
            CheckType(a, (kAllTypes & ~(TypeBit(ftdBoolean) | TypeBit(ftdBytes) | TypeBit(ftdVarBytes))), kEqualSubs);
            break;
        case ecSubtract: CheckType(a, kNumTypes | kTemporalTypes, kNumSubs); break;
        case ecMultiply:
        case ecDivide: CheckType(a, kNumTypes, kNumSubs); break;
        case ecMod: CheckType(a, kIntTypes, kIntSubs); break;
        default: break;
    }
    CheckSecondOperand(n.Code, a, b);

    if (n.Code <= ecOr) {
        SetResult(n, ftdBoolean);
        return;
    }
    if (a.DataType == ftdNone || b.DataType == ftdNone) {
        const TExpToken& known = a.DataType == ftdNone ? b : a;
        if (known.DataType == ftdNone) SetResult(n, ftdNone);
        else SetResult(n, known.DataType, DropAutoInc(known.SubType), known.Size, known.Scale);
        return;
    }
    TResult r;
    if (!ArithmeticResult(n.Code, a, b, r)) {
        r = TResult{};
        ArithmeticResult(n.Code, b, a, r);
    }
    if (r.Type == ftdNone) {
        // Operands that passed the tests but have no result type (such as Date + Date).
        Raise("Expected " + TypeList(kIntTypes, kIntSubs) + " expression but instead found " + b.Text, b);
    }
    if (r.Type == ftdBCD) r.Scale = std::max(a.DataType == ftdBCD ? a.Scale : 0, b.DataType == ftdBCD ? b.Scale : 0);
    if (r.Type == ftdFloat && (a.SubType == fsdMoney || b.SubType == fsdMoney) && IsNumericType(a.DataType) &&
        IsNumericType(b.DataType)) {
        r.SubType = fsdMoney;
    }
    SetResult(n, r.Type, r.SubType, r.Size, r.Scale);
}

void TExpressionVerifier::VerifyExtended(TExpToken& n) {
    VerifyNode(*n.First, &n);
    for (auto& a : n.Args) VerifyNode(*a, &n);
    TExpToken& v = *n.First;
    switch (n.Code) {
        case ecLike:
        case ecNotLike:
            CheckText(*this, v);
            CheckText(*this, *n.Args[0]);
            if (n.Args.size() > 1) CheckType(*n.Args[1], TypeBit(ftdString), kStringSubs);
            break;
        case ecBetween:
        case ecNotBetween:
            CheckType(v, kAllTypes & ~TypeBit(ftdBoolean), kEqualSubs & ~sbGraphic);
            for (auto& a : n.Args) {
                ConvertStringToTemporal(*a, v);
                CheckSecondOperand(ecGreaterEqual, v, *a);
            }
            break;
        case ecInList:
        case ecNotInList:
            CheckType(v, kAllTypes, kEqualSubs);
            for (auto& a : n.Args) {
                ConvertStringToTemporal(*a, v);
                CheckSecondOperand(ecEqual, v, *a);
            }
            break;
        default: break;
    }
    SetResult(n, ftdBoolean);
}

void TExpressionVerifier::VerifyAggregate(TExpToken& n) {
    for (auto& a : n.Args) VerifyNode(*a, &n);
    const TExpToken& a = *n.Args[0];
    auto sumType = [&] {
        if (a.DataType == ftdNone) return SetResult(n, ftdFloat);
        if (a.DataType == ftdSmallInt || a.DataType == ftdWord) return SetResult(n, ftdInteger);
        if (a.DataType == ftdInteger) return SetResult(n, ftdLargeInt);
        SetResult(n, a.DataType, DropAutoInc(a.SubType), a.Size, a.Scale);
    };
    switch (n.Code) {
        case ecSum:
        case ecRunSum:
        case ecAvg:
            CheckType(a, kNumTypes, kNumSubs);
            sumType();
            break;
        case ecStdDev:
            CheckType(a, kNumTypes, kNumSubs);
            SetResult(n, ftdFloat);
            break;
        case ecCount: SetResult(n, ftdInteger); break;
        case ecMin:
        case ecMax:
            if (a.ColumnName == "*" && a.Kind == ekColumn) CheckType(a, kAllTypes, kAnySubs);
            if (a.DataType == ftdNone) SetResult(n, ftdFloat);
            else SetResult(n, a.DataType, DropAutoInc(a.SubType), a.Size, a.Scale);
            break;
        case ecList:
            for (auto& x : n.Args) CheckText(*this, *x);
            SetResult(n, ftdBlob, fsdMemo);
            break;
        default: break;
    }
}

void TExpressionVerifier::VerifyBranches(TExpToken& n, const char* name, size_t first, size_t count,
                                         TExpToken* extra) {
    std::vector<TExpToken*> branches;
    for (size_t i = first; i < first + count && i < n.Args.size(); ++i) branches.push_back(n.Args[i].get());
    if (extra) {
        branches.clear();
        for (auto& t : extra->Args) branches.push_back(t.get());
        branches.push_back(n.Args[2].get());
    }
    const TExpToken* lead = nullptr;
    for (const TExpToken* b : branches) {
        if (!b->IsNullConstant()) {
            lead = b;
            break;
        }
    }
    if (!lead) Raise(std::string("At least one of the ") + name + " expression arguments must be a non-NULL value", n);
    if (lead->DataType == ftdNone) {
        SetResult(n, ftdNone);
        return;
    }
    uint32_t size = lead->Size;
    uint8_t scale = lead->Scale;
    for (const TExpToken* b : branches) {
        if (b == lead || b->IsNullConstant()) continue;
        CheckAssignment(lead->DataType, lead->SubType, *b);
        if (b->DataType == lead->DataType) {
            size = std::max(size, b->Size);
            scale = std::max(scale, b->Scale);
        }
    }
    SetResult(n, lead->DataType, DropAutoInc(lead->SubType), size, scale);
}

void TExpressionVerifier::VerifyDataType(TDataTypeSpec& spec) {
    auto constantOf = [&](TExpToken& node, int64_t& value) {
        VerifyNode(node, nullptr);
        if (node.Kind != ekConstant || !IsIntegerType(node.DataType) || node.IsNull) return false;
        value = node.AsInt64();
        return true;
    };
    const char* kLengthError = "Length argument must be greater than 0 and less than or equal to 512";
    spec.ScaleValue = 0;
    switch (spec.DataType) {
        case ftdString:
            if (spec.SubType == fsdGuid) {
                spec.Size = kGuidLength + 1;
                break;
            }
            [[fallthrough]];
        case ftdBytes:
        case ftdVarBytes: {
            int64_t len = 0;
            if (!spec.Length || !constantOf(*spec.Length, len) || len < 1 || len > kMaxStringLength) {
                const TExpToken* at = spec.Length.get();
                TExpToken pos;
                pos.Line = spec.Line;
                pos.Column = spec.Column;
                Raise(kLengthError, at ? *at : pos);
            }
            spec.Size = static_cast<uint32_t>(len) + (spec.DataType == ftdString ? 1 : 0);
            break;
        }
        case ftdBCD: {
            int64_t scale = 0;
            if (spec.Scale && (!constantOf(*spec.Scale, scale) || scale < 0 || scale > 4)) {
                Raise("Scale argument must be an integer less than or equal to 4 but greater than or equal to 0",
                      *spec.Scale);
            }
            if (spec.Length) {
                int64_t precision = 0;
                constantOf(*spec.Length, precision);
            }
            spec.ScaleValue = static_cast<uint8_t>(scale);
            spec.Size = kBcdSize;
            break;
        }
        default: spec.Size = FixedSize(spec.DataType); break;
    }
}

void TExpressionVerifier::VerifyFunction(TExpToken& n) {
    const bool tableArg = n.Code == ecLastAutoInc || n.Code == ecIdentCurrent;
    const bool caseNode = n.Code == ecCase;
    if (!tableArg) {
        for (auto& a : n.Args) {
            if (caseNode && a->Kind == ekFunction && (a->Code == ecWhenList || a->Code == ecThenList)) {
                a->Parent = &n;
                for (auto& x : a->Args) VerifyNode(*x, a.get());
            } else {
                VerifyNode(*a, &n);
            }
        }
    }
    auto arg = [&](size_t i) -> TExpToken& { return *n.Args[i]; };
    auto sameAs = [&](const TExpToken& a) {
        SetResult(n, a.DataType, DropAutoInc(a.SubType), a.Size, a.Scale);
    };
    switch (n.Code) {
        case ecUpper:
        case ecLower:
            CheckText(*this, arg(0));
            sameAs(arg(0));
            break;
        case ecSubstring:
            CheckText(*this, arg(0));
            for (size_t i = 1; i < n.Args.size(); ++i) CheckType(arg(i), kIntTypes, kIntSubs);
            sameAs(arg(0));
            break;
        case ecReplace:
            for (auto& a : n.Args) CheckText(*this, *a);
            sameAs(arg(2));
            break;
        case ecPosition:
        case ecOccurs:
            CheckText(*this, arg(0));
            CheckText(*this, arg(1));
            SetResult(n, ftdInteger);
            break;
        case ecLTrim:
        case ecRTrim:
        case ecAllTrim:
            for (auto& a : n.Args) CheckText(*this, *a);
            sameAs(arg(0));
            break;
        case ecLength:
            CheckText(*this, arg(0));
            SetResult(n, ftdInteger);
            break;
        case ecLeft:
        case ecRight:
            CheckText(*this, arg(0));
            CheckType(arg(1), kIntTypes, kIntSubs);
            sameAs(arg(0));
            break;
        case ecRepeat: {
            CheckText(*this, arg(0));
            CheckType(arg(1), kIntTypes, kIntSubs);
            sameAs(arg(0));
            if (n.DataType == ftdString) {
                const TExpToken& count = arg(1);
                uint64_t size = kMaxStringLength + 1;
                if (count.Kind == ekConstant && !count.IsNull && IsIntegerType(count.DataType) && arg(0).Size > 0) {
                    int64_t c = std::max<int64_t>(0, count.AsInt64());
                    size = static_cast<uint64_t>(arg(0).Size - 1) * static_cast<uint64_t>(std::min<int64_t>(c, 1 << 20)) + 1;
                }
                n.Size = static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
            }
            break;
        }
        case ecConcat: {
            TExpToken& a = arg(0);
            TExpToken& b = arg(1);
            CheckType(a, (kAllTypes & ~(TypeBit(ftdBoolean) | TypeBit(ftdBytes) | TypeBit(ftdVarBytes))), kEqualSubs);
            CheckSecondOperand(ecAdd, a, b);
            TResult r;
            if (a.DataType == ftdNone || b.DataType == ftdNone) {
                sameAs(a.DataType == ftdNone ? b : a);
                break;
            }
            if (!ArithmeticResult(ecAdd, a, b, r)) {
                r = TResult{};
                ArithmeticResult(ecAdd, b, a, r);
            }
            SetResult(n, r.Type, r.SubType, r.Size, r.Scale);
            break;
        }
        case ecCast:
            VerifyDataType(*n.CastType);
            SetResult(n, n.CastType->DataType, n.CastType->SubType, n.CastType->Size, n.CastType->ScaleValue);
            break;
        case ecExtractYear:
        case ecExtractMonth:
        case ecExtractWeek:
        case ecExtractDay:
        case ecExtractDayOfWeek:
        case ecExtractDayOfYear:
        case ecExtractHour:
        case ecExtractMinute:
        case ecExtractSecond:
        case ecExtractMSecond: {
            TExpToken& a = arg(0);
            for (uint8_t t : {ftdDate, ftdTime, ftdTimestamp}) {
                if (a.DataType != ftdString) break;
                TExpToken probe;
                probe.DataType = t;
                ConvertStringToTemporal(a, probe);
            }
            CheckType(a, kTemporalTypes, sbNone);
            SetResult(n, ftdInteger);
            break;
        }
        case ecYearsFromMSecs:
        case ecDaysFromMSecs:
        case ecHoursFromMSecs:
        case ecMinsFromMSecs:
        case ecSecsFromMSecs:
        case ecMSecsFromMSecs:
            CheckType(arg(0), kNumTypes, kNumSubs);
            SetResult(n, ftdInteger);
            break;
        case ecAbs:
            CheckType(arg(0), kNumTypes, kNumSubs);
            sameAs(arg(0));
            break;
        case ecRound:
        case ecTruncate:
            CheckType(arg(0), kNumTypes, kNumSubs);
            if (n.Args.size() > 1) CheckType(arg(1), kIntTypes, kIntSubs);
            sameAs(arg(0));
            break;
        case ecMod: {
            CheckType(arg(0), kIntTypes, kIntSubs);
            CheckType(arg(1), kIntTypes, kIntSubs);
            TResult r;
            if (arg(0).DataType == ftdNone || arg(1).DataType == ftdNone) r.Type = ftdInteger;
            else if (!NumericResult(ecMod, arg(0), arg(1), r)) NumericResult(ecMod, arg(1), arg(0), r);
            SetResult(n, r.Type);
            break;
        }
        case ecACos: case ecASin: case ecATan: case ecATan2: case ecCos: case ecCot: case ecDegrees:
        case ecExp: case ecLog: case ecLog10: case ecPower: case ecRadians: case ecSin: case ecSqrt:
        case ecTan: case ecPi: case ecRand:
            for (auto& a : n.Args) CheckType(*a, kNumTypes, kNumSubs);
            SetResult(n, ftdFloat);
            break;
        case ecCeiling:
        case ecFloor:
            CheckType(arg(0), kNumTypes, kNumSubs);
            SetResult(n, ftdLargeInt);
            break;
        case ecSign:
            CheckType(arg(0), kNumTypes, kNumSubs);
            SetResult(n, ftdInteger);
            break;
        case ecIf:
            CheckType(arg(0), TypeBit(ftdBoolean), sbNone);
            VerifyBranches(n, "IF", 1, 2, nullptr);
            break;
        case ecIfNull: VerifyBranches(n, "IFNULL", 1, 2, nullptr); break;
        case ecCoalesce: VerifyBranches(n, "COALESCE", 0, n.Args.size(), nullptr); break;
        case ecNullIf: VerifyBranches(n, "NULLIF", 0, 2, nullptr); break;
        case ecCase:
            for (auto& w : arg(0).Args) CheckType(*w, TypeBit(ftdBoolean), sbNone);
            VerifyBranches(n, "CASE..THEN", 0, 0, &arg(1));
            break;
        case ecTextSearch:
        case ecTextOccurs:
            CheckText(*this, arg(0));
            CheckKind(arg(1), 1u << ekColumn);
            SetResult(n, n.Code == ecTextSearch ? ftdBoolean : ftdInteger);
            break;
        case ecLastAutoInc:
        case ecIdentCurrent:
            CheckKind(arg(0), (1u << ekColumn) | (1u << ekConstant));
            SetResult(n, ftdInteger);
            break;
        case ecCurrentDate: SetResult(n, ftdDate); break;
        case ecCurrentTime: SetResult(n, ftdTime); break;
        case ecCurrentTimestamp: SetResult(n, ftdTimestamp); break;
        case ecCurrentGuid: SetResult(n, ftdString, fsdGuid, kGuidLength + 1); break;
        case ecRegistered: {
            if (!Functions || n.FunctionIndex < 0 || static_cast<size_t>(n.FunctionIndex) >= Functions->Count()) {
                Raise("Expected function name but instead found " + n.Text, n);
            }
            const TSqlFunctionDef& def = Functions->Item(static_cast<size_t>(n.FunctionIndex));
            for (size_t i = 0; i < n.Args.size() && i < def.Params.size(); ++i) {
                CheckAssignment(def.Params[i].DataType, def.Params[i].SubType, arg(i));
            }
            uint32_t size = FixedSize(def.ResultType);
            if (def.ResultType == ftdString) size = (def.ResultSize ? def.ResultSize : kMaxStringLength) + 1;
            SetResult(n, def.ResultType, def.ResultSubType, size);
            break;
        }
        default: Raise("Expected function name but instead found " + n.Text, n);
    }
}

}  // namespace dezede
