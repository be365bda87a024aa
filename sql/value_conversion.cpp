#include "sql/value_conversion.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "sql/exp_token.h"
#include "support/ansi_strings.h"

namespace dezede {

namespace {

bool IsText(const TExpToken& s) { return s.DataType == ftdString || s.DataType == ftdBlob; }

std::optional<int64_t> ParseInt64(std::string_view s) {
    s = TrimSpaces(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    int64_t v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

// The value of a non-NULL source as each kind of target holds it: text is
// parsed, other types are converted; nullopt where the value does not convert.

std::optional<int64_t> ToInteger(const TExpToken& s) {
    if (IsText(s)) return ParseInt64(s.StringView());
    if (s.DataType == ftdFloat) {
        const double d = s.Get<double>();
        if (!(d >= -9.2e18 && d <= 9.2e18)) return std::nullopt;
        return static_cast<int64_t>(std::trunc(d));
    }
    if (IsIntegerType(s.DataType) || s.DataType == ftdBoolean || s.DataType == ftdBCD) return s.AsInt64();
    return std::nullopt;
}

std::optional<double> ToFloat(const TExpToken& s) {
    if (IsText(s)) return ParseFloat(s.StringView());
    if (IsNumericType(s.DataType) || s.DataType == ftdBoolean) return s.AsDouble();
    return std::nullopt;
}

std::optional<int32_t> ToDate(const TExpToken& s) {
    if (IsText(s)) return ParseDate(s.StringView());
    if (s.DataType == ftdDate) return s.Get<int32_t>();
    if (s.DataType == ftdTimestamp) return static_cast<int32_t>(std::floor(s.Get<double>() / kMSecsPerDay));
    return std::nullopt;
}

std::optional<int32_t> ToTime(const TExpToken& s) {
    if (IsText(s)) return ParseTime(s.StringView());
    if (s.DataType == ftdTime) return s.Get<int32_t>();
    if (s.DataType == ftdTimestamp) {
        const double v = s.Get<double>();
        return static_cast<int32_t>(v - std::floor(v / kMSecsPerDay) * kMSecsPerDay);
    }
    return std::nullopt;
}

std::optional<double> ToTimestamp(const TExpToken& s) {
    if (IsText(s)) return ParseTimestamp(s.StringView());
    if (s.DataType == ftdTimestamp) return s.Get<double>();
    if (s.DataType == ftdDate) return static_cast<double>(s.Get<int32_t>()) * kMSecsPerDay;
    if (s.DataType == ftdTime) return s.Get<int32_t>();
    return std::nullopt;
}

// Stores an integer in a target of type T when it is within T's range.
template <typename T>
bool PutIfFits(TExpToken& t, int64_t v) {
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) return false;
    t.Put<T>(static_cast<T>(v));
    return true;
}

// Stores a converted value; without one the target becomes NULL and the result is false.
template <typename T>
bool PutConverted(TExpToken& t, const std::optional<T>& v) {
    if (!v) {
        t.SetNull();
        return false;
    }
    t.Put<T>(*v);
    return true;
}

}  // namespace

std::string FormatCurrency(int64_t currency, uint8_t scale) {
    if (scale > 4) scale = 4;
    static constexpr int64_t kPow10[] = {1, 10, 100, 1000, 10000};
    const bool negative = currency < 0;
    unsigned __int128 mag = negative ? static_cast<unsigned __int128>(-static_cast<__int128>(currency))
                                     : static_cast<unsigned __int128>(currency);
    const auto div = static_cast<unsigned>(kPow10[4 - scale]);
    mag = (mag + div / 2) / div;  // half away from zero
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mag % 10)));
        mag /= 10;
    } while (mag != 0);
    while (digits.size() <= scale) digits.insert(digits.begin(), '0');
    if (scale) digits.insert(digits.end() - scale, '.');
    if (negative && digits.find_first_not_of("0.") != std::string::npos) digits.insert(digits.begin(), '-');
    return digits;
}

std::string ValueAsText(const TExpToken& s) {
    if (s.IsNull) return {};
    switch (s.DataType) {
        case ftdString:
        case ftdBlob: return std::string(s.StringView());
        case ftdBoolean: return s.AsInt64() ? "TRUE" : "FALSE";
        case ftdSmallInt:
        case ftdInteger:
        case ftdWord:
        case ftdLargeInt: return std::to_string(s.AsInt64());
        case ftdFloat: return FormatFloat(s.Get<double>());
        case ftdBCD: return FormatCurrency(s.AsCurrency(), s.Scale);
        case ftdDate: return FormatDate(s.Get<int32_t>());
        case ftdTime: return FormatTime(s.Get<int32_t>());
        case ftdTimestamp: return FormatTimestamp(s.Get<double>());
        case ftdBytes:
        case ftdVarBytes: return std::string(s.Value.begin(), s.Value.end());
        default: return {};
    }
}

bool ConvertValue(const TExpToken& s, TExpToken& t) {
    if (s.IsNull || s.DataType == ftdNone) {
        t.SetNull();
        return true;
    }
    const bool fromText = IsText(s);
    auto fail = [&] {
        t.SetNull();
        return false;
    };
    switch (t.DataType) {
        case ftdString:
        case ftdBlob: {
            if ((s.DataType == ftdBlob && s.SubType != fsdMemo) && t.DataType == ftdString) return fail();
            std::string text = ValueAsText(s);
            if (t.DataType == ftdString && t.Size > 0 && text.size() > t.Size - 1) text.resize(t.Size - 1);
            if (s.DataType == ftdBlob && t.DataType == ftdBlob) {
                t.Value = s.Value;
                t.IsNull = false;
                return true;
            }
            t.SetString(text);
            return true;
        }
        case ftdBoolean: {
            if (fromText) {
                std::string_view v = TrimSpaces(s.StringView());
                if (AnsiSameText(v, "TRUE")) t.SetBoolean(true);
                else if (AnsiSameText(v, "FALSE")) t.SetBoolean(false);
                else return fail();
                return true;
            }
            if (!IsNumericType(s.DataType) && s.DataType != ftdBoolean) return fail();
            t.SetBoolean(s.DataType == ftdFloat ? s.Get<double>() != 0 : s.AsCurrency() != 0);
            return true;
        }
        case ftdSmallInt:
        case ftdInteger:
        case ftdWord:
        case ftdLargeInt: {
            const auto v = ToInteger(s);
            if (!v) return fail();
            bool fits = true;
            switch (t.DataType) {
                case ftdSmallInt: fits = PutIfFits<int16_t>(t, *v); break;
                case ftdWord: fits = PutIfFits<uint16_t>(t, *v); break;
                case ftdInteger: fits = PutIfFits<int32_t>(t, *v); break;
                default: t.Put<int64_t>(*v); break;
            }
            return fits || fail();
        }
        case ftdFloat: return PutConverted(t, ToFloat(s));
        case ftdBCD: {
            // Exact numbers keep their currency value; text and Float are rounded to four places.
            if (!fromText && s.DataType != ftdFloat && (IsNumericType(s.DataType) || s.DataType == ftdBoolean)) {
                t.SetBcdCurrency(s.AsCurrency(), t.Scale);
                return true;
            }
            const auto d = ToFloat(s);
            if (!d) return fail();
            const double c = std::round(*d * 10000.0);
            if (!(c > -9.2e18 && c < 9.2e18)) return fail();
            t.SetBcdCurrency(static_cast<int64_t>(c), t.Scale);
            return true;
        }
        case ftdDate: return PutConverted(t, ToDate(s));
        case ftdTime: return PutConverted(t, ToTime(s));
        case ftdTimestamp: return PutConverted(t, ToTimestamp(s));
        case ftdBytes:
        case ftdVarBytes: {
            if (s.DataType != ftdBytes && s.DataType != ftdVarBytes && !fromText) return fail();
            size_t n = s.DataType == ftdString ? s.StringView().size() : s.Value.size();
            if (t.Size && n > t.Size) n = t.Size;
            t.SetBytes(s.Value.data(), n);
            if (t.DataType == ftdBytes && t.Size) t.Value.resize(t.Size, 0);
            return true;
        }
        default: return fail();
    }
}

}  // namespace dezede
