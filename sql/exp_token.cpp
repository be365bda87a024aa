#include "sql/exp_token.h"

#include <cmath>


namespace dezede {

std::unique_ptr<TDataTypeSpec> TDataTypeSpec::Copy() const {
    auto c = std::make_unique<TDataTypeSpec>();
    c->DataType = DataType;
    c->SubType = SubType;
    c->Text = Text;
    c->Line = Line;
    c->Column = Column;
    c->Size = Size;
    c->ScaleValue = ScaleValue;
    if (Length) c->Length = Length->Copy();
    if (Scale) c->Scale = Scale->Copy();
    return c;
}

std::unique_ptr<TExpToken> TExpToken::Copy() const {
    auto c = std::make_unique<TExpToken>();
    c->Text = Text;
    c->Kind = Kind;
    c->Code = Code;
    c->ColumnName = ColumnName;
    c->TableName = TableName;
    c->ColumnNumber = ColumnNumber;
    c->Source = Source;
    c->Query = Query;
    c->Owner = Owner;
    c->DataType = DataType;
    c->SubType = SubType;
    c->Size = Size;
    c->Scale = Scale;
    c->IsNull = IsNull;
    c->Value = Value;
    c->CaseInsensitive = CaseInsensitive;
    c->PartialLength = PartialLength;
    c->IsParameter = IsParameter;
    c->FunctionIndex = FunctionIndex;
    c->Line = Line;
    c->Column = Column;
    c->Depth = Depth;
    if (First) {
        c->First = First->Copy();
        c->First->Parent = c.get();
    }
    if (Second) {
        c->Second = Second->Copy();
        c->Second->Parent = c.get();
    }
    c->Args.reserve(Args.size());
    for (const auto& a : Args) {
        c->Args.push_back(a->Copy());
        c->Args.back()->Parent = c.get();
    }
    if (CastType) c->CastType = CastType->Copy();
    return c;
}

void TExpToken::Reset() {
    Text.clear();
    Kind = ekConstant;
    Code = ecNone;
    ColumnName.clear();
    TableName.clear();
    ColumnNumber = 0;
    Source = nullptr;
    Query = nullptr;
    Owner = nullptr;
    DataType = ftdNone;
    SubType = fsdNone;
    Size = 0;
    Scale = 0;
    IsNull = true;
    Value.clear();
    CaseInsensitive = false;
    PartialLength = 0;
    IsParameter = false;
    FunctionIndex = -1;
    First.reset();
    Second.reset();
    Args.clear();
    CastType.reset();
    Parent = nullptr;
    Line = Column = 0;
    Depth = 1;
}

void TExpToken::SetType(uint8_t type, uint8_t subType, uint32_t size, uint8_t scale) {
    DataType = type;
    SubType = subType;
    Size = size;
    Scale = scale;
}

void TExpToken::SetNull() {
    IsNull = true;
    std::fill(Value.begin(), Value.end(), 0);
}

void TExpToken::SetBoolean(bool v) { Put<int16_t>(v ? 1 : 0); }
void TExpToken::SetInteger(int32_t v) { Put<int32_t>(v); }
void TExpToken::SetLargeInt(int64_t v) { Put<int64_t>(v); }
void TExpToken::SetFloat(double v, uint8_t) { Put<double>(v); }
void TExpToken::SetDate(int32_t v) { Put<int32_t>(v); }
void TExpToken::SetTime(int32_t v) { Put<int32_t>(v); }
void TExpToken::SetTimestamp(double v) { Put<double>(v); }

void TExpToken::SetString(std::string_view v, uint8_t) {
    if (Value.capacity() < 1024 && v.size() + 1 <= 1024) Value.reserve(1024);
    Value.resize(v.size() + 1);
    if (!v.empty()) std::memcpy(Value.data(), v.data(), v.size());
    Value[v.size()] = 0;
    IsNull = false;
}

void TExpToken::SetBytes(const void* data, size_t n) {
    Value.resize(n);
    if (n) std::memcpy(Value.data(), data, n);
    IsNull = false;
}

void TExpToken::SetBcdCurrency(int64_t currency, uint8_t scale) {
    Value.assign(kBcdSize, 0);
    if (auto bcd = CurrencyToBcd(currency, scale)) bcd->Store(Value.data());
    IsNull = false;
}

std::string_view TExpToken::StringView() const {
    if (IsNull || Value.empty()) return {};
    const char* p = reinterpret_cast<const char*>(Value.data());
    size_t n = Value.size();
    const void* z = std::memchr(p, 0, n);
    return std::string_view(p, z ? static_cast<const char*>(z) - p : n);
}

int64_t TExpToken::AsInt64() const {
    switch (DataType) {
        case ftdBoolean:
        case ftdSmallInt: return Get<int16_t>();
        case ftdWord: return Get<uint16_t>();
        case ftdInteger:
        case ftdDate:
        case ftdTime: return Get<int32_t>();
        case ftdUInteger: return Get<uint32_t>();
        case ftdLargeInt:
        case ftdULargeInt: return Get<int64_t>();
        case ftdFloat:
        case ftdTimestamp: {
            double d = Get<double>();
            if (!(d > -9.2e18 && d < 9.2e18)) return 0;
            return static_cast<int64_t>(d);
        }
        case ftdBCD: return AsCurrency() / 10000;
        default: return 0;
    }
}

double TExpToken::AsDouble() const {
    switch (DataType) {
        case ftdFloat:
        case ftdTimestamp: return Get<double>();
        case ftdBCD: return Value.size() >= kBcdSize ? BcdToDouble(TBcd::Load(Value.data())) : 0.0;
        default: return static_cast<double>(AsInt64());
    }
}

int64_t TExpToken::AsCurrency() const {
    if (DataType == ftdBCD) {
        if (Value.size() < kBcdSize) return 0;
        return BcdToCurrency(TBcd::Load(Value.data())).value_or(0);
    }
    if (DataType == ftdFloat || DataType == ftdTimestamp) {
        double d = std::round(Get<double>() * 10000.0);
        if (!(d > -9.2e18 && d < 9.2e18)) return 0;
        return static_cast<int64_t>(d);
    }
    int64_t v = AsInt64();
    if (v > INT64_MAX / 10000 || v < INT64_MIN / 10000) return 0;
    return v * 10000;
}

bool IsIntegerType(uint8_t t) {
    return t == ftdSmallInt || t == ftdInteger || t == ftdWord || t == ftdLargeInt;
}

bool IsNumericType(uint8_t t) { return IsIntegerType(t) || t == ftdFloat || t == ftdBCD; }

bool IsTemporalType(uint8_t t) { return t == ftdDate || t == ftdTime || t == ftdTimestamp; }

bool IsStringOrMemo(uint8_t type, uint8_t subType) {
    return type == ftdString || (type == ftdBlob && subType == fsdMemo);
}

std::string TypeName(uint8_t type, uint8_t subType) {
    switch (type) {
        case ftdNone: return "NULL";
        case ftdString:
            return subType == fsdFixedChar ? "FixedChar" : subType == fsdGuid ? "GUID" : "String";
        case ftdBytes: return "Bytes";
        case ftdVarBytes: return "VarBytes";
        case ftdBoolean: return "Boolean";
        case ftdSmallInt: return "SmallInt";
        case ftdWord: return "Word";
        case ftdInteger: return subType == fsdAutoInc ? "AutoInc" : "Integer";
        case ftdLargeInt: return "LargeInt";
        case ftdFloat: return subType == fsdMoney ? "Currency" : "Float";
        case ftdBCD: return "BCD";
        case ftdDate: return "Date";
        case ftdTime: return "Time";
        case ftdTimestamp: return "Timestamp";
        case ftdBlob: return subType == fsdMemo ? "Memo" : subType == fsdGraphic ? "Graphic" : "BLOB";
        default: return "Unknown";
    }
}

}  // namespace dezede
