#pragma once
// TExpToken: one node of an expression tree (operator, column, constant,
// function) with its typed value. The parser builds the tree, the verifier
// types it and the evaluator recomputes each node's value in place.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_type.h"
#include "support/bcd.h"

namespace dezede {

class TSourceTable;
class TDataQuery;

enum TExpKind : uint8_t {
    ekUnary = 1,
    ekBinary = 2,
    ekCompare = 3,
    ekExtended = 4,
    ekColumn = 5,
    ekConstant = 6,
    ekFunction = 8,
};

// Operator and function codes.
enum TExpCode : uint8_t {
    ecNone = 0,
    ecEqual = 3, ecNotEqual = 4, ecGreater = 5, ecLess = 6, ecGreaterEqual = 7, ecLessEqual = 8,
    ecNot = 9, ecAnd = 10, ecOr = 11,
    ecNegate = 15, ecPlusSign = 16, ecAdd = 17, ecSubtract = 18, ecMultiply = 19, ecDivide = 20,
    ecSum = 21, ecRunSum = 22, ecCount = 23, ecMin = 24, ecMax = 25, ecAvg = 26, ecStdDev = 27,
    ecLike = 28, ecInList = 29, ecInQuery = 30, ecUpper = 31, ecLower = 32,
    ecBetween = 33, ecNotBetween = 34, ecNotLike = 35, ecNotInList = 36, ecNotInQuery = 37,
    ecSubstring = 38, ecReplace = 39, ecPosition = 40, ecOccurs = 41, ecLTrim = 42, ecRTrim = 43,
    ecAllTrim = 44, ecLength = 45, ecLeft = 46, ecRight = 47, ecRepeat = 48, ecConcat = 49, ecCast = 50,
    ecExtractYear = 51, ecExtractMonth = 52, ecExtractWeek = 53, ecExtractDay = 54,
    ecExtractDayOfWeek = 55, ecExtractDayOfYear = 56, ecExtractHour = 57, ecExtractMinute = 58,
    ecExtractSecond = 59, ecExtractMSecond = 60,
    ecYearsFromMSecs = 61, ecDaysFromMSecs = 62, ecHoursFromMSecs = 63, ecMinsFromMSecs = 64,
    ecSecsFromMSecs = 65, ecMSecsFromMSecs = 66,
    ecIf = 67, ecCoalesce = 68, ecIfNull = 69, ecAbs = 70, ecRound = 71, ecMod = 72,
    ecACos = 73, ecASin = 74, ecATan = 75, ecATan2 = 76, ecCeiling = 77, ecCos = 78, ecCot = 79,
    ecDegrees = 80, ecExp = 81, ecFloor = 82, ecLog = 83, ecLog10 = 84, ecPi = 85, ecPower = 86,
    ecRadians = 87, ecRand = 88, ecSign = 89, ecSin = 90, ecSqrt = 91, ecTan = 92, ecTruncate = 93,
    ecTextSearch = 94, ecTextOccurs = 95, ecLastAutoInc = 96, ecIdentCurrent = 97, ecRegistered = 98,
    ecCurrentDate = 99, ecCurrentTime = 100, ecCurrentTimestamp = 101, ecCurrentGuid = 102,
    ecNullIf = 105, ecCase = 106, ecWhenList = 107, ecThenList = 108, ecList = 109,
};

// Value sizes of the fixed-size types.
inline constexpr uint32_t kMaxStringLength = 512;
inline constexpr uint32_t kGuidLength = 38;

// The target of CAST or a column definition: type, subtype and the length
// and scale expressions as written (checked by the verifier).
struct TDataTypeSpec {
    uint8_t DataType = ftdNone;
    uint8_t SubType = fsdNone;
    std::string Text;                    // the type keyword as written
    std::unique_ptr<class TExpToken> Length;
    std::unique_ptr<class TExpToken> Scale;
    uint32_t Line = 0, Column = 0;
    // Filled by the verifier.
    uint32_t Size = 0;
    uint8_t ScaleValue = 0;

    std::unique_ptr<TDataTypeSpec> Copy() const;
};

class TExpToken {
public:
    TExpToken() = default;
    TExpToken(const TExpToken&) = delete;
    TExpToken& operator=(const TExpToken&) = delete;

    std::string Text;
    uint8_t Kind = ekConstant;
    uint8_t Code = ecNone;
    std::string ColumnName;
    std::string TableName;  // correlation name
    int32_t ColumnNumber = 0;
    TSourceTable* Source = nullptr;
    TDataQuery* Query = nullptr;
    void* Owner = nullptr;

    // Value: type, subtype, size in bytes, scale, null flag and the value bytes.
    uint8_t DataType = ftdNone;
    uint8_t SubType = fsdNone;
    uint32_t Size = 0;
    uint8_t Scale = 0;
    bool IsNull = true;
    std::vector<uint8_t> Value;

    bool CaseInsensitive = false;
    uint32_t PartialLength = 0;
    bool IsParameter = false;
    int32_t FunctionIndex = -1;  // registered functions: the registry's index

    std::unique_ptr<TExpToken> First;
    std::unique_ptr<TExpToken> Second;
    std::vector<std::unique_ptr<TExpToken>> Args;
    std::unique_ptr<TDataTypeSpec> CastType;
    TExpToken* Parent = nullptr;
    uint32_t Line = 0;
    uint32_t Column = 0;
    uint32_t Depth = 1;  // height of the subtree, bounded by the parser

    // Back to a default node (children released).
    void Reset();
    // Deep copy; parents are re-linked inside the copy.
    std::unique_ptr<TExpToken> Copy() const;

    bool IsNullConstant() const { return Kind == ekConstant && DataType == ftdNone; }

    // Value access. Setters set the type's size and clear the null flag.
    void SetType(uint8_t type, uint8_t subType, uint32_t size, uint8_t scale = 0);
    void SetNull();
    void SetBoolean(bool v);
    void SetInteger(int32_t v);
    void SetLargeInt(int64_t v);
    void SetFloat(double v, uint8_t type = ftdFloat);
    void SetDate(int32_t v);
    void SetTime(int32_t v);
    void SetTimestamp(double v);
    // String or memo BLOB text (a zero byte is appended).
    void SetString(std::string_view v, uint8_t type = ftdString);
    void SetBytes(const void* data, size_t n);
    void SetBcdCurrency(int64_t currency, uint8_t scale);

    template <typename T>
    T Get() const {
        T v{};
        if (Value.size() >= sizeof(T)) std::memcpy(&v, Value.data(), sizeof(T));
        return v;
    }
    template <typename T>
    void Put(T v) {
        Value.resize(sizeof(T));
        std::memcpy(Value.data(), &v, sizeof(T));
        IsNull = false;
    }
    // The text of a String or memo value (up to its zero byte); empty when NULL.
    std::string_view StringView() const;
    // Integer types, Boolean, Date and Time as a 64-bit integer.
    int64_t AsInt64() const;
    // Any numeric or temporal type as a double (BCD through currency).
    double AsDouble() const;
    // BCD and numbers as currency (scaled by 10,000).
    int64_t AsCurrency() const;
};

bool IsIntegerType(uint8_t t);
bool IsNumericType(uint8_t t);
bool IsTemporalType(uint8_t t);
bool IsStringOrMemo(uint8_t type, uint8_t subType);

// The verifier's name of a type: "String", "FixedChar", "AutoInc", "Currency", "Memo", ...;
// "NULL" for the unknown type.
std::string TypeName(uint8_t type, uint8_t subType);

}  // namespace dezede
