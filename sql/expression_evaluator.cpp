#include "sql/expression_evaluator.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <random>
#include <string>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "sql/sql_functions.h"
#include "sql/value_conversion.h"
#include "support/ansi_strings.h"
#include "support/guid.h"
#include "support/locales.h"
#include "platform/clock.h"

namespace dezede {

namespace {

constexpr size_t kMaxRepeatBytes = size_t{1} << 24;
constexpr int64_t kMSecsPerYear = 31'536'000'000;

std::mt19937_64& RandomEngine() {
    thread_local std::mt19937_64 engine{RandomSeed()};
    return engine;
}

bool IsStringValue(const TExpToken& n) { return n.DataType == ftdString || n.DataType == ftdBlob; }

// Milliseconds of a Date, Time or Timestamp value on the timestamp scale.
double TemporalMSecs(const TExpToken& n) {
    switch (n.DataType) {
        case ftdDate: return static_cast<double>(n.Get<int32_t>()) * kMSecsPerDay;
        case ftdTime: return n.Get<int32_t>();
        default: return n.Get<double>();
    }
}

bool IsIntegral(uint8_t t) { return IsIntegerType(t) || t == ftdBoolean; }

void SetIntegerResult(TExpToken& n, int64_t v) {
    switch (n.DataType) {
        case ftdSmallInt:
            if (v < INT16_MIN || v > INT16_MAX) return n.SetNull();
            return n.Put<int16_t>(static_cast<int16_t>(v));
        case ftdWord:
            if (v < 0 || v > UINT16_MAX) return n.SetNull();
            return n.Put<uint16_t>(static_cast<uint16_t>(v));
        case ftdInteger:
        case ftdDate:
        case ftdTime:
            if (v < INT32_MIN || v > INT32_MAX) return n.SetNull();
            return n.Put<int32_t>(static_cast<int32_t>(v));
        case ftdBoolean: return n.Put<int16_t>(v ? 1 : 0);
        case ftdFloat:
        case ftdTimestamp: return n.Put<double>(static_cast<double>(v));
        case ftdBCD: {
            if (v > INT64_MAX / 10000 || v < INT64_MIN / 10000) return n.SetNull();
            return n.SetBcdCurrency(v * 10000, n.Scale);
        }
        default: return n.Put<int64_t>(v);
    }
}

void SetFloatResult(TExpToken& n, double v) {
    if (!std::isfinite(v)) return n.SetNull();
    n.Put<double>(v);
}

void SetBoolResult(TExpToken& n, bool v) { n.Put<int16_t>(v ? 1 : 0); }

int64_t IntegerArg(const TExpToken& n) { return n.IsNull ? 0 : n.AsInt64(); }

// Current local date and time.
void Now(int32_t& day, int32_t& msecs) {
    const TLocalClock c = LocalClockNow();
    day = EncodeDate(c.Year, c.Month, c.Day).value_or(0);
    msecs = ((c.Hour * 60 + c.Minute) * 60 + c.Second) * 1000 + c.Millisecond;
}

std::string TrimChar(std::string_view s, char c, bool leading, bool trailing) {
    size_t b = 0, e = s.size();
    if (leading)
        while (b < e && s[b] == c) ++b;
    if (trailing)
        while (e > b && s[e - 1] == c) --e;
    return std::string(s.substr(b, e - b));
}

}  // namespace

std::unique_ptr<TExpToken> CopyBoundTo(const TExpToken& root, const std::function<void(TExpToken&)>& bind) {
    auto copy = root.Copy();
    // Iterative walk: the tree's height is bounded, but a walk without recursion costs nothing.
    std::vector<TExpToken*> stack{copy.get()};
    while (!stack.empty()) {
        TExpToken* n = stack.back();
        stack.pop_back();
        if (n->Kind == ekColumn && bind) bind(*n);
        if (n->First) stack.push_back(n->First.get());
        if (n->Second) stack.push_back(n->Second.get());
        for (auto& a : n->Args) stack.push_back(a.get());
    }
    return copy;
}

bool TExpressionEvaluator::SameChar(char a, char b, bool ci) const {
    if (a == b) return true;
    if (Context.Locale == kAnsiStandardLocale) {
        return ci && AnsiUpperChar(static_cast<uint8_t>(a)) == AnsiUpperChar(static_cast<uint8_t>(b));
    }
    return CompareChars(Context.Locale, a, b, ci) == 0;
}

int TExpressionEvaluator::CompareText(std::string_view a, std::string_view b, const TExpToken& op) const {
    const int maxLength = op.PartialLength ? static_cast<int>(op.PartialLength) : -1;
    if (Context.Locale == kAnsiStandardLocale) return CompareAnsiStrings(a, b, op.CaseInsensitive, maxLength);
    return CompareStrings(Context.Locale, a, b, op.CaseInsensitive, maxLength);
}

int TExpressionEvaluator::CompareValues(const TExpToken& a, const TExpToken& b, const TExpToken& op) const {
    auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    const uint8_t x = a.DataType, y = b.DataType;
    if (IsStringValue(a) || IsStringValue(b)) return CompareText(a.StringView(), b.StringView(), op);
    if (IsIntegral(x) && IsIntegral(y)) return sign(a.AsInt64(), b.AsInt64());
    if ((x == ftdBCD && (y == ftdBCD || IsIntegral(y))) || (y == ftdBCD && IsIntegral(x))) {
        return sign(a.AsCurrency(), b.AsCurrency());
    }
    if (IsTemporalType(x) && IsTemporalType(y)) {
        if (x == y && x != ftdTimestamp) return sign(a.Get<int32_t>(), b.Get<int32_t>());
        return sign(TemporalMSecs(a), TemporalMSecs(b));
    }
    if (x == ftdBytes || x == ftdVarBytes || y == ftdBytes || y == ftdVarBytes) {
        const size_t n = std::min(a.Value.size(), b.Value.size());
        int c = n ? std::memcmp(a.Value.data(), b.Value.data(), n) : 0;
        if (c) return c < 0 ? -1 : 1;
        return sign(a.Value.size(), b.Value.size());
    }
    return sign(a.AsDouble(), b.AsDouble());
}

bool TExpressionEvaluator::Compare(uint8_t code, const TExpToken& a, const TExpToken& b, const TExpToken& op) const {
    if (!a.IsNull && !b.IsNull) {
        // Fast paths for the common operand pairs.
        int c;
        if (a.DataType == ftdInteger && b.DataType == ftdInteger) {
            const int32_t x = a.Get<int32_t>(), y = b.Get<int32_t>();
            c = x < y ? -1 : (y < x ? 1 : 0);
        } else if ((a.DataType == ftdFloat || a.DataType == ftdInteger) &&
                   (b.DataType == ftdFloat || b.DataType == ftdInteger)) {
            const double x = a.DataType == ftdFloat ? a.Get<double>() : a.Get<int32_t>();
            const double y = b.DataType == ftdFloat ? b.Get<double>() : b.Get<int32_t>();
            c = x < y ? -1 : (y < x ? 1 : 0);
        } else {
            c = 2;
        }
        switch (c == 2 ? uint8_t{0} : code) {
            case ecEqual: return c == 0;
            case ecNotEqual: return c != 0;
            case ecGreater: return c > 0;
            case ecLess: return c < 0;
            case ecGreaterEqual: return c >= 0;
            case ecLessEqual: return c <= 0;
            default: break;
        }
    }
    const bool ordering = code == ecLess || code == ecGreater || code == ecLessEqual || code == ecGreaterEqual;
    const bool strings = (IsStringValue(a) || a.DataType == ftdNone) && (IsStringValue(b) || b.DataType == ftdNone) &&
                         (IsStringValue(a) || IsStringValue(b));
    if (!(ordering && strings) && (a.IsNull || b.IsNull)) {
        const bool both = a.IsNull && b.IsNull;
        switch (code) {
            case ecEqual: return both;
            case ecNotEqual: return !both;
            case ecGreaterEqual:
            case ecLessEqual: return both;
            default: return false;
        }
    }
    const int c = CompareValues(a, b, op);
    switch (code) {
        case ecEqual: return c == 0;
        case ecNotEqual: return c != 0;
        case ecGreater: return c > 0;
        case ecLess: return c < 0;
        case ecGreaterEqual: return c >= 0;
        case ecLessEqual: return c <= 0;
        default: return false;
    }
}

void TExpressionEvaluator::Evaluate(TExpToken& n) {
    switch (n.Kind) {
        case ekColumn:
            if (n.ColumnName.size() == 1 && n.ColumnName[0] == '*') return;
            if (!Context.FetchColumn) {
                RaiseError(DEZEDE_SQLPARSE, {.Message = "Internal error: Column \"" + n.ColumnName + "\" specified illegally",
                                             .Line = n.Line,
                                             .Column = n.Column});
            }
            Context.FetchColumn(Context.FetchData, n);
            return;
        case ekConstant: return;
        case ekUnary: {
            Evaluate(*n.First);
            const TExpToken& a = *n.First;
            if (n.Code == ecNot) return SetBoolResult(n, !IsTrue(a));
            if (a.IsNull || n.DataType == ftdNone) return n.SetNull();
            const bool negate = n.Code == ecNegate;
            if (n.DataType == ftdFloat) return SetFloatResult(n, negate ? -a.AsDouble() : a.AsDouble());
            if (n.DataType == ftdBCD) return n.SetBcdCurrency(negate ? -a.AsCurrency() : a.AsCurrency(), n.Scale);
            const int64_t v = a.AsInt64();
            if (negate && v == INT64_MIN) return n.SetNull();
            return SetIntegerResult(n, negate ? -v : v);
        }
        case ekBinary:
        case ekCompare: return EvaluateBinary(n);
        case ekExtended: return EvaluateExtended(n);
        case ekFunction: return EvaluateFunction(n);
        default: return;
    }
}

void TExpressionEvaluator::EvaluateBinary(TExpToken& n) {
    TExpToken& a = *n.First;
    TExpToken& b = *n.Second;
    switch (n.Code) {
        case ecAnd:
            Evaluate(a);
            if (!IsTrue(a)) return SetBoolResult(n, false);
            Evaluate(b);
            return SetBoolResult(n, IsTrue(b));
        case ecOr:
            Evaluate(a);
            if (IsTrue(a)) return SetBoolResult(n, true);
            Evaluate(b);
            return SetBoolResult(n, IsTrue(b));
        case ecEqual:
        case ecNotEqual:
        case ecGreater:
        case ecLess:
        case ecGreaterEqual:
        case ecLessEqual:
            if (a.Kind != ekConstant) Evaluate(a);
            if (b.Kind != ekConstant) Evaluate(b);
            return SetBoolResult(n, Compare(n.Code, a, b, n));
        default:
            if (a.Kind != ekConstant) Evaluate(a);
            if (b.Kind != ekConstant) Evaluate(b);
            return EvaluateArithmetic(n, a, b);
    }
}

void TExpressionEvaluator::EvaluateArithmetic(TExpToken& n, TExpToken& a, TExpToken& b) {
    if (n.DataType == ftdString || n.DataType == ftdBlob) {
        // Concatenation: NULL counts as the empty string.
        std::string_view x = a.StringView(), y = b.StringView();
        std::string joined;
        joined.reserve(x.size() + y.size());
        joined.append(x).append(y);
        return n.SetString(joined);
    }
    if (a.IsNull || b.IsNull || n.DataType == ftdNone) return n.SetNull();
    if (n.DataType == ftdFloat && a.DataType != ftdTimestamp && b.DataType != ftdTimestamp) {
        const double p = a.DataType == ftdFloat ? a.Get<double>() : a.AsDouble();
        const double q = b.DataType == ftdFloat ? b.Get<double>() : b.AsDouble();
        switch (n.Code) {
            case ecAdd: return SetFloatResult(n, p + q);
            case ecSubtract: return SetFloatResult(n, p - q);
            case ecMultiply: return SetFloatResult(n, p * q);
            case ecDivide: return q == 0 ? n.SetNull() : SetFloatResult(n, p / q);
            default: break;
        }
    }
    const uint8_t code = n.Code;
    const uint8_t x = a.DataType, y = b.DataType;
    if (IsTemporalType(x) || IsTemporalType(y)) {
        const TExpToken& t = IsTemporalType(x) ? a : b;
        const TExpToken& other = &t == &a ? b : a;
        if (n.DataType == ftdFloat) return SetFloatResult(n, TemporalMSecs(a) - TemporalMSecs(b));
        if (IsTemporalType(x) && IsTemporalType(y)) {
            return SetIntegerResult(n, static_cast<int64_t>(a.Get<int32_t>()) - b.Get<int32_t>());
        }
        const int64_t k = other.AsInt64();
        if (t.DataType == ftdTimestamp) {
            return SetFloatResult(n, code == ecSubtract ? t.Get<double>() - static_cast<double>(k)
                                                        : t.Get<double>() + static_cast<double>(k));
        }
        const int64_t base = t.Get<int32_t>();
        if (k > INT32_MAX || k < INT32_MIN) return n.SetNull();
        return SetIntegerResult(n, code == ecSubtract ? base - k : base + k);
    }
    switch (n.DataType) {
        case ftdFloat: {
            const double p = a.AsDouble(), q = b.AsDouble();
            switch (code) {
                case ecAdd: return SetFloatResult(n, p + q);
                case ecSubtract: return SetFloatResult(n, p - q);
                case ecMultiply: return SetFloatResult(n, p * q);
                case ecDivide: return q == 0 ? n.SetNull() : SetFloatResult(n, p / q);
                default: return n.SetNull();
            }
        }
        case ftdBCD: {
            const __int128 p = a.AsCurrency(), q = b.AsCurrency();
            __int128 r = 0;
            switch (code) {
                case ecAdd: r = p + q; break;
                case ecSubtract: r = p - q; break;
                case ecMultiply: r = p * q / 10000; break;
                case ecDivide:
                    if (q == 0) return n.SetNull();
                    r = p * 10000 / q;
                    break;
                default: return n.SetNull();
            }
            if (r > INT64_MAX || r < INT64_MIN) return n.SetNull();
            return n.SetBcdCurrency(static_cast<int64_t>(r), n.Scale);
        }
        default: {
            const int64_t p = a.AsInt64(), q = b.AsInt64();
            int64_t r = 0;
            bool overflow = false;
            switch (code) {
                case ecAdd: overflow = __builtin_add_overflow(p, q, &r); break;
                case ecSubtract: overflow = __builtin_sub_overflow(p, q, &r); break;
                case ecMultiply: overflow = __builtin_mul_overflow(p, q, &r); break;
                case ecMod:
                    if (q == 0) return n.SetNull();
                    r = (q == -1) ? 0 : p % q;
                    break;
                default: return n.SetNull();
            }
            if (overflow) return n.SetNull();
            return SetIntegerResult(n, r);
        }
    }
}

bool TExpressionEvaluator::Like(std::string_view v, std::string_view p, int escape, bool ci) const {
    size_t vi = 0, pi = 0;
    size_t starP = std::string_view::npos, starV = 0;
    while (vi < v.size()) {
        if (pi < p.size()) {
            const char c = p[pi];
            if (escape >= 0 && static_cast<uint8_t>(c) == escape && pi + 1 < p.size()) {
                if (p[pi + 1] == v[vi] || SameChar(p[pi + 1], v[vi], ci)) {
                    pi += 2;
                    ++vi;
                    continue;
                }
            } else if (c == '%') {
                starP = ++pi;
                starV = vi;
                continue;
            } else if (c == '_' || c == v[vi] || SameChar(c, v[vi], ci)) {
                ++pi;
                ++vi;
                continue;
            }
        }
        if (starP == std::string_view::npos) return false;
        pi = starP;
        vi = ++starV;
    }
    while (pi < p.size() && p[pi] == '%') ++pi;
    return pi == p.size();
}

void TExpressionEvaluator::EvaluateExtended(TExpToken& n) {
    TExpToken& v = *n.First;
    Evaluate(v);
    switch (n.Code) {
        case ecLike:
        case ecNotLike: {
            TExpToken& pattern = *n.Args[0];
            Evaluate(pattern);
            int escape = -1;
            if (n.Args.size() > 1) {
                Evaluate(*n.Args[1]);
                std::string_view e = n.Args[1]->StringView();
                if (!e.empty()) escape = static_cast<uint8_t>(e[0]);
            }
            bool match;
            if (v.IsNull || pattern.IsNull) match = false;
            else if (pattern.StringView() == "%") match = true;
            else match = Like(v.StringView(), pattern.StringView(), escape, n.CaseInsensitive);
            return SetBoolResult(n, n.Code == ecLike ? match : !match);
        }
        case ecInList:
        case ecNotInList: {
            bool found = false;
            for (auto& item : n.Args) {
                Evaluate(*item);
                if (Compare(ecEqual, v, *item, n)) {
                    found = true;
                    break;
                }
            }
            return SetBoolResult(n, n.Code == ecInList ? found : !found);
        }
        case ecInQuery:
        case ecNotInQuery: {
            const bool found = Context.RunSubQuery ? Context.RunSubQuery(n) : false;
            return SetBoolResult(n, n.Code == ecInQuery ? found : !found);
        }
        case ecBetween:
        case ecNotBetween: {
            Evaluate(*n.Args[0]);
            bool in = Compare(ecGreaterEqual, v, *n.Args[0], n);
            if (in) {
                Evaluate(*n.Args[1]);
                in = Compare(ecLessEqual, v, *n.Args[1], n);
            }
            return SetBoolResult(n, n.Code == ecBetween ? in : !in);
        }
        default: return;
    }
}

void TExpressionEvaluator::EvaluateMath(TExpToken& n) {
    for (auto& a : n.Args) Evaluate(*a);
    for (auto& a : n.Args)
        if (a->IsNull) return n.SetNull();
    const double x = n.Args.empty() ? 0 : n.Args[0]->AsDouble();
    const double y = n.Args.size() > 1 ? n.Args[1]->AsDouble() : 0;
    double r = 0;
    switch (n.Code) {
        case ecACos: r = (x < -1 || x > 1) ? NAN : std::acos(x); break;
        case ecASin: r = (x < -1 || x > 1) ? NAN : std::asin(x); break;
        case ecATan: r = std::atan(x); break;
        case ecATan2: r = std::atan2(x, y); break;
        case ecCos: r = std::cos(x); break;
        case ecCot: r = std::tan(x) == 0 ? NAN : 1.0 / std::tan(x); break;
        case ecDegrees: r = x * 180.0 / M_PI; break;
        case ecExp: r = std::exp(x); break;
        case ecLog: r = x <= 0 ? NAN : std::log(x); break;
        case ecLog10: r = x <= 0 ? NAN : std::log10(x); break;
        case ecPower: r = std::pow(x, y); break;
        case ecRadians: r = x * M_PI / 180.0; break;
        case ecSin: r = std::sin(x); break;
        case ecSqrt: r = x < 0 ? NAN : std::sqrt(x); break;
        case ecTan: r = std::tan(x); break;
        default: return n.SetNull();
    }
    SetFloatResult(n, r);
}

void TExpressionEvaluator::EvaluateFunction(TExpToken& n) {
    auto arg = [&](size_t i) -> TExpToken& { return *n.Args[i]; };
    auto evalAll = [&] {
        for (auto& a : n.Args) Evaluate(*a);
    };
    auto text = [&](size_t i) { return i < n.Args.size() ? arg(i).StringView() : std::string_view(); };
    auto stringResult = [&](std::string_view s, bool emptyIsNull) {
        if (emptyIsNull && s.empty()) return n.SetNull();
        n.SetString(s);
    };
    // Picks a branch, evaluates it and converts it to the result type.
    auto choose = [&](TExpToken* b) {
        if (!b) return n.SetNull();
        Evaluate(*b);
        ConvertValue(*b, n);
    };
    switch (n.Code) {
        case ecSum: case ecRunSum: case ecCount: case ecMin: case ecMax: case ecAvg: case ecStdDev: case ecList: {
            evalAll();
            TExpToken& a = arg(0);
            if (a.Kind == ekColumn && a.ColumnName == "*") return n.SetNull();
            if (a.DataType == n.DataType) {
                n.Value = a.Value;
                n.IsNull = a.IsNull;
            } else {
                ConvertValue(a, n);
            }
            return;
        }
        case ecUpper:
        case ecLower: {
            evalAll();
            std::string_view s = text(0);
            const bool up = n.Code == ecUpper;
            if (Context.Locale == kAnsiStandardLocale) return stringResult(up ? AnsiUpperCase(s) : AnsiLowerCase(s), false);
            return stringResult(up ? UpperCase(Context.Locale, s) : LowerCase(Context.Locale, s), false);
        }
        case ecSubstring: {
            evalAll();
            std::string_view s = text(0);
            int64_t start = std::max<int64_t>(1, IntegerArg(arg(1)));
            if (static_cast<uint64_t>(start) > s.size()) return n.SetNull();
            std::string_view r = s.substr(static_cast<size_t>(start - 1));
            if (n.Args.size() > 2) {
                int64_t count = std::max<int64_t>(0, IntegerArg(arg(2)));
                if (static_cast<uint64_t>(count) < r.size()) r = r.substr(0, static_cast<size_t>(count));
            }
            return stringResult(r, true);
        }
        case ecReplace: {
            evalAll();
            std::string_view f = text(0), r = text(1), s = text(2);
            if (f.empty() || f == r) return stringResult(s, true);
            std::string out;
            size_t pos = 0;
            for (;;) {
                size_t at = s.find(f, pos);
                if (at == std::string_view::npos) break;
                out.append(s.substr(pos, at - pos)).append(r);
                pos = at + f.size();
            }
            out.append(s.substr(pos));
            return stringResult(out, true);
        }
        case ecPosition:
        case ecOccurs: {
            evalAll();
            std::string_view f = text(0), s = text(1);
            if (n.Code == ecPosition) {
                size_t at = (arg(1).IsNull || f.empty()) ? std::string_view::npos : s.find(f);
                return SetIntegerResult(n, at == std::string_view::npos ? 0 : static_cast<int64_t>(at) + 1);
            }
            int64_t count = 0;
            if (!f.empty()) {
                for (size_t at = s.find(f); at != std::string_view::npos; at = s.find(f, at + f.size())) ++count;
            }
            return SetIntegerResult(n, count);
        }
        case ecLTrim:
        case ecRTrim:
        case ecAllTrim: {
            evalAll();
            std::string_view chars = text(1);
            const char c = chars.empty() ? ' ' : chars[0];
            return stringResult(TrimChar(text(0), c, n.Code != ecRTrim, n.Code != ecLTrim), true);
        }
        case ecLength: evalAll(); return SetIntegerResult(n, static_cast<int64_t>(text(0).size()));
        case ecLeft:
        case ecRight: {
            evalAll();
            std::string_view s = text(0);
            const size_t k = static_cast<size_t>(std::clamp<int64_t>(IntegerArg(arg(1)), 0, static_cast<int64_t>(s.size())));
            return stringResult(n.Code == ecLeft ? s.substr(0, k) : s.substr(s.size() - k), true);
        }
        case ecRepeat: {
            evalAll();
            std::string_view s = text(0);
            const int64_t count = std::max<int64_t>(0, IntegerArg(arg(1)));
            size_t limit = kMaxRepeatBytes;
            if (n.DataType == ftdString && n.Size > 0 && n.Size - 1 < limit) limit = n.Size - 1;
            if (!s.empty() && limit == kMaxRepeatBytes && static_cast<uint64_t>(count) > limit / s.size()) {
                RaiseError(DEZEDE_SQLEXEC, {.Message = "The result of REPEAT is larger than " +
                                                       std::to_string(kMaxRepeatBytes) + " bytes"});
            }
            std::string out;
            for (int64_t i = 0; i < count && out.size() < limit && !s.empty(); ++i) out.append(s);
            if (out.size() > limit) out.resize(limit);
            return stringResult(out, true);
        }
        case ecConcat:
            evalAll();
            return EvaluateArithmetic(n, arg(0), arg(1));
        case ecCast: evalAll(); ConvertValue(arg(0), n); return;
        case ecExtractYear: case ecExtractMonth: case ecExtractWeek: case ecExtractDay:
        case ecExtractDayOfWeek: case ecExtractDayOfYear: case ecExtractHour: case ecExtractMinute:
        case ecExtractSecond: case ecExtractMSecond: {
            evalAll();
            const TExpToken& a = arg(0);
            if (a.IsNull) return n.SetNull();
            bool hasDate = true, hasTime = true;
            int32_t day = 0, ms = 0;
            if (a.DataType == ftdDate) {
                day = a.Get<int32_t>();
                hasTime = false;
            } else if (a.DataType == ftdTime) {
                ms = a.Get<int32_t>();
                hasDate = false;
            } else {
                auto parts = DecodeTimestamp(a.Get<double>());
                if (!parts) return n.SetNull();
                day = parts->Day;
                ms = parts->MSecs;
            }
            const TDateParts d = DecodeDate(day);
            const TTimeParts t = DecodeTime(ms);
            int32_t r = 0;
            switch (n.Code) {
                case ecExtractYear: r = hasDate ? d.Year : 0; break;
                case ecExtractMonth: r = hasDate ? d.Month : 0; break;
                case ecExtractDay: r = hasDate ? d.Day : 0; break;
                case ecExtractWeek: r = hasDate ? IsoWeekOfYear(day) : 0; break;
                case ecExtractDayOfWeek: r = hasDate ? DayOfWeek(day) : 0; break;
                case ecExtractDayOfYear: r = hasDate ? DayOfYear(day) : 0; break;
                case ecExtractHour: r = hasTime ? t.Hour : 0; break;
                case ecExtractMinute: r = hasTime ? t.Minute : 0; break;
                case ecExtractSecond: r = hasTime ? t.Second : 0; break;
                default: r = hasTime ? t.Millisecond : 0; break;
            }
            return SetIntegerResult(n, r);
        }
        case ecYearsFromMSecs: case ecDaysFromMSecs: case ecHoursFromMSecs: case ecMinsFromMSecs:
        case ecSecsFromMSecs: case ecMSecsFromMSecs: {
            evalAll();
            if (arg(0).IsNull) return n.SetNull();
            int64_t v = arg(0).AsInt64();
            static constexpr int64_t kUnits[] = {kMSecsPerYear, 86'400'000, 3'600'000, 60'000, 1'000, 1};
            const int part = n.Code - ecYearsFromMSecs;
            for (int i = 0; i < part; ++i) v %= kUnits[i];
            return SetIntegerResult(n, v / kUnits[part]);
        }
        case ecAbs: {
            evalAll();
            const TExpToken& a = arg(0);
            if (a.IsNull) return n.SetNull();
            if (n.DataType == ftdFloat) return SetFloatResult(n, std::fabs(a.AsDouble()));
            if (n.DataType == ftdBCD) return n.SetBcdCurrency(std::abs(a.AsCurrency()), n.Scale);
            const int64_t v = a.AsInt64();
            if (v == INT64_MIN) return n.SetNull();
            return SetIntegerResult(n, v < 0 ? -v : v);
        }
        case ecRound:
        case ecTruncate: {
            evalAll();
            const TExpToken& a = arg(0);
            if (a.IsNull) return n.SetNull();
            const int64_t places = n.Args.size() > 1 ? IntegerArg(arg(1)) : 0;
            const bool round = n.Code == ecRound;
            if (n.DataType == ftdFloat) {
                const int p = static_cast<int>(std::clamp<int64_t>(places, 0, 20));
                const double scale = std::pow(10.0, p);
                const double x = a.AsDouble();
                double y = x * scale;
                if (!std::isfinite(y)) return SetFloatResult(n, x);
                const double nearest = std::round(y);
                if (std::fabs(y - nearest) < 1e-9 * std::max(1.0, std::fabs(y))) y = nearest;
                return SetFloatResult(n, (round ? std::round(y) : std::trunc(y)) / scale);
            }
            if (n.DataType == ftdBCD) {
                const int p = static_cast<int>(std::clamp<int64_t>(places, 0, 4));
                static constexpr int64_t kPow10[] = {1, 10, 100, 1000, 10000};
                const int64_t unit = kPow10[4 - p];
                const int64_t c = a.AsCurrency();
                int64_t q = c / unit;
                const int64_t rest = c % unit;
                if (round && 2 * (rest < 0 ? -rest : rest) >= unit) q += c < 0 ? -1 : 1;
                return n.SetBcdCurrency(q * unit, n.Scale);
            }
            return SetIntegerResult(n, a.AsInt64());
        }
        case ecMod:
            evalAll();
            return EvaluateArithmetic(n, arg(0), arg(1));
        case ecACos: case ecASin: case ecATan: case ecATan2: case ecCos: case ecCot: case ecDegrees:
        case ecExp: case ecLog: case ecLog10: case ecPower: case ecRadians: case ecSin: case ecSqrt: case ecTan:
            return EvaluateMath(n);
        case ecPi: return SetFloatResult(n, 3.141592653589793);
        case ecRand: {
            evalAll();
            const double unit = std::uniform_real_distribution<double>(0.0, 1.0)(RandomEngine());
            if (n.Args.empty() || arg(0).IsNull) return SetFloatResult(n, unit);
            return SetFloatResult(n, std::floor(unit * arg(0).AsDouble()));
        }
        case ecCeiling:
        case ecFloor:
        case ecSign: {
            evalAll();
            const TExpToken& a = arg(0);
            if (a.IsNull) return n.SetNull();
            const double x = a.AsDouble();
            if (n.Code == ecSign) return SetIntegerResult(n, x > 0 ? 1 : (x < 0 ? -1 : 0));
            const double r = n.Code == ecCeiling ? std::ceil(x) : std::floor(x);
            if (!(r >= INT32_MIN && r <= INT32_MAX)) return n.SetNull();
            return SetIntegerResult(n, static_cast<int64_t>(r));
        }
        case ecIf:
            Evaluate(arg(0));
            return choose(IsTrue(arg(0)) ? &arg(1) : &arg(2));
        case ecIfNull:
            Evaluate(arg(0));
            return choose(arg(0).IsNull ? &arg(1) : &arg(2));
        case ecCoalesce:
            for (auto& a : n.Args) {
                Evaluate(*a);
                if (!a->IsNull) return choose(a.get());
            }
            return n.SetNull();
        case ecNullIf:
            Evaluate(arg(0));
            Evaluate(arg(1));
            if (Compare(ecEqual, arg(0), arg(1), n)) return n.SetNull();
            return choose(&arg(0));
        case ecCase: {
            TExpToken& whens = arg(0);
            TExpToken& thens = arg(1);
            for (size_t i = 0; i < whens.Args.size(); ++i) {
                Evaluate(*whens.Args[i]);
                if (IsTrue(*whens.Args[i])) return choose(thens.Args[i].get());
            }
            return choose(&arg(2));
        }
        case ecTextSearch:
        case ecTextOccurs: {
            Evaluate(arg(0));
            const int32_t count = Context.TextOccurrences ? Context.TextOccurrences(n, text(0)) : 0;
            if (n.Code == ecTextSearch) return SetBoolResult(n, count > 0);
            return SetIntegerResult(n, count);
        }
        case ecLastAutoInc:
        case ecIdentCurrent: {
            const TExpToken& t = arg(0);
            std::string_view name = t.Kind == ekColumn ? std::string_view(t.ColumnName) : t.StringView();
            return SetIntegerResult(n, Context.LastAutoInc ? Context.LastAutoInc(name) : 0);
        }
        case ecCurrentDate:
        case ecCurrentTime:
        case ecCurrentTimestamp: {
            int32_t day = 0, ms = 0;
            Now(day, ms);
            if (n.Code == ecCurrentDate) return n.Put<int32_t>(day);
            if (n.Code == ecCurrentTime) return n.Put<int32_t>(ms);
            return n.Put<double>(EncodeTimestamp(day, ms));
        }
        case ecCurrentGuid: {
            TGuid bytes;
            for (auto& b : bytes) b = static_cast<uint8_t>(RandomEngine()());
            return n.SetString(GuidToText(MakeRandomGuid(bytes)));
        }
        case ecRegistered: {
            evalAll();
            n.SetNull();
            if (!Context.Functions || n.FunctionIndex < 0 ||
                static_cast<size_t>(n.FunctionIndex) >= Context.Functions->Count() ||
                !Context.Functions->OnCustomFunction) {
                return;
            }
            Context.Functions->OnCustomFunction(Context.Functions->Item(static_cast<size_t>(n.FunctionIndex)), n.Args, n);
            if (n.DataType == ftdBoolean && !n.IsNull) SetBoolResult(n, n.Get<int16_t>() != 0);
            return;
        }
        default: return n.SetNull();
    }
}

}  // namespace dezede
