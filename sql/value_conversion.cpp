#include "sql/value_conversion.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "sql/exp_token.h"
#include "support/ansi_strings.h"

namespace dezede {

namespace {

bool ParseInt64(std::string_view s, int64_t& v) {
    s = TrimSpaces(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
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
    const bool fromText = s.DataType == ftdString || s.DataType == ftdBlob;
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
            int64_t v = 0;
            if (fromText) {
                if (!ParseInt64(s.StringView(), v)) return fail();
            } else if (s.DataType == ftdFloat) {
                double d = s.Get<double>();
                if (!(d >= -9.2e18 && d <= 9.2e18)) return fail();
                v = static_cast<int64_t>(std::trunc(d));
            } else if (IsIntegerType(s.DataType) || s.DataType == ftdBoolean || s.DataType == ftdBCD) {
                v = s.AsInt64();
            } else {
                return fail();
            }
            switch (t.DataType) {
                case ftdSmallInt:
                    if (v < INT16_MIN || v > INT16_MAX) return fail();
                    t.Put<int16_t>(static_cast<int16_t>(v));
                    break;
                case ftdWord:
                    if (v < 0 || v > UINT16_MAX) return fail();
                    t.Put<uint16_t>(static_cast<uint16_t>(v));
                    break;
                case ftdInteger:
                    if (v < INT32_MIN || v > INT32_MAX) return fail();
                    t.Put<int32_t>(static_cast<int32_t>(v));
                    break;
                default: t.Put<int64_t>(v); break;
            }
            return true;
        }
        case ftdFloat: {
            double d = 0;
            if (fromText) {
                auto parsed = ParseFloat(s.StringView());
                if (!parsed) return fail();
                d = *parsed;
            } else if (IsNumericType(s.DataType) || s.DataType == ftdBoolean) {
                d = s.AsDouble();
            } else {
                return fail();
            }
            t.Put<double>(d);
            return true;
        }
        case ftdBCD: {
            double d = 0;
            if (fromText) {
                auto parsed = ParseFloat(s.StringView());
                if (!parsed) return fail();
                d = *parsed;
            } else if (IsNumericType(s.DataType) || s.DataType == ftdBoolean) {
                if (s.DataType != ftdFloat) {
                    t.SetBcdCurrency(s.AsCurrency(), t.Scale);
                    return true;
                }
                d = s.Get<double>();
            } else {
                return fail();
            }
            double c = std::round(d * 10000.0);
            if (!(c > -9.2e18 && c < 9.2e18)) return fail();
            t.SetBcdCurrency(static_cast<int64_t>(c), t.Scale);
            return true;
        }
        case ftdDate: {
            int32_t day = 0;
            if (fromText) {
                auto d = ParseDate(s.StringView());
                if (!d) return fail();
                day = *d;
            } else if (s.DataType == ftdDate) {
                day = s.Get<int32_t>();
            } else if (s.DataType == ftdTimestamp) {
                day = static_cast<int32_t>(std::floor(s.Get<double>() / kMSecsPerDay));
            } else {
                return fail();
            }
            t.Put<int32_t>(day);
            return true;
        }
        case ftdTime: {
            int32_t ms = 0;
            if (fromText) {
                auto t2 = ParseTime(s.StringView());
                if (!t2) return fail();
                ms = *t2;
            } else if (s.DataType == ftdTime) {
                ms = s.Get<int32_t>();
            } else if (s.DataType == ftdTimestamp) {
                double v = s.Get<double>();
                ms = static_cast<int32_t>(v - std::floor(v / kMSecsPerDay) * kMSecsPerDay);
            } else {
                return fail();
            }
            t.Put<int32_t>(ms);
            return true;
        }
        case ftdTimestamp: {
            double v = 0;
            if (fromText) {
                auto ts = ParseTimestamp(s.StringView());
                if (!ts) return fail();
                v = *ts;
            } else if (s.DataType == ftdTimestamp) {
                v = s.Get<double>();
            } else if (s.DataType == ftdDate) {
                v = static_cast<double>(s.Get<int32_t>()) * kMSecsPerDay;
            } else if (s.DataType == ftdTime) {
                v = s.Get<int32_t>();
            } else {
                return fail();
            }
            t.Put<double>(v);
            return true;
        }
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
