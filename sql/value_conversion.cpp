#include "sql/value_conversion.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "sql/bcd_value.h"
#include "sql/exp_token.h"

namespace dezede {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr int64_t kDayOneOffset = 719163;  // day number of 1970-01-01

bool ReadUnsigned(std::string_view s, size_t& pos, int& value, size_t maxDigits) {
    size_t start = pos;
    int v = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && pos - start < maxDigits) {
        v = v * 10 + (s[pos] - '0');
        ++pos;
    }
    if (pos == start) return false;
    value = v;
    return true;
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool ParseInt64(std::string_view s, int64_t& v) {
    s = TrimSpaces(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

int32_t EncodeDayNumber(int year, int month, int day) {
    return static_cast<int32_t>(DaysFromCivil(year, month, day) + kDayOneOffset);
}

void DecodeDayNumber(int32_t dayNumber, int& year, int& month, int& day) {
    int64_t z = static_cast<int64_t>(dayNumber) - kDayOneOffset + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

bool ParseDateText(std::string_view text, int32_t& dayNumber) {
    text = TrimSpaces(text);
    size_t pos = 0;
    int y, m, d;
    if (!ReadUnsigned(text, pos, y, 4) || pos >= text.size() || text[pos++] != '-') return false;
    if (!ReadUnsigned(text, pos, m, 2) || pos >= text.size() || text[pos++] != '-') return false;
    if (!ReadUnsigned(text, pos, d, 2) || pos != text.size()) return false;
    if (!IsValidDate(y, m, d)) return false;
    dayNumber = EncodeDayNumber(y, m, d);
    return true;
}

bool ParseTimeText(std::string_view text, int32_t& msecs) {
    std::string t(TrimSpaces(text));
    int marker = 0;  // 1 AM, 2 PM
    for (const char* word : {"AM", "PM"}) {
        for (size_t i = 0; i + 1 < t.size(); ++i) {
            if (EqualsNoCase(std::string_view(t).substr(i, 2), word)) {
                if (marker) return false;
                marker = word[0] == 'A' ? 1 : 2;
                t.erase(i, 2);
                break;
            }
        }
    }
    std::string_view s = TrimSpaces(t);
    size_t pos = 0;
    int h, m, sec = 0, ms = 0;
    if (!ReadUnsigned(s, pos, h, 2) || pos >= s.size() || s[pos++] != ':') return false;
    if (!ReadUnsigned(s, pos, m, 2)) return false;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (!ReadUnsigned(s, pos, sec, 2)) return false;
        if (pos < s.size() && s[pos] == '.') {
            ++pos;
            size_t start = pos;
            if (!ReadUnsigned(s, pos, ms, 3)) return false;
            for (size_t n = pos - start; n < 3; ++n) ms *= 10;
        }
    }
    if (pos != s.size()) return false;
    if (marker) {
        if (h < 1 || h > 12) return false;
        if (marker == 1 && h == 12) h = 0;
        if (marker == 2 && h < 12) h += 12;
    }
    if (h > 23 || m > 59 || sec > 59) return false;
    msecs = ((h * 60 + m) * 60 + sec) * 1000 + ms;
    return true;
}

bool ParseTimestampText(std::string_view text, double& value) {
    text = TrimSpaces(text);
    int32_t day = 0, ms = 0;
    size_t blank = text.find(' ');
    if (blank != std::string_view::npos && ParseDateText(text.substr(0, blank), day)) {
        if (!ParseTimeText(text.substr(blank + 1), ms)) return false;
        value = static_cast<double>(day) * kMSecsPerDay + ms;
        return true;
    }
    if (text.find(':') != std::string_view::npos) {
        if (!ParseTimeText(text, ms)) return false;
        value = ms;
        return true;
    }
    if (!ParseDateText(text, day)) return false;
    value = static_cast<double>(day) * kMSecsPerDay;
    return true;
}

std::string FormatDate(int32_t dayNumber) {
    int y, m, d;
    DecodeDayNumber(dayNumber, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

std::string FormatTime(int32_t msecs) {
    if (msecs < 0) msecs = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", msecs / 3600000, msecs / 60000 % 60, msecs / 1000 % 60,
                  msecs % 1000);
    return buf;
}

std::string FormatTimestamp(double value) {
    if (!std::isfinite(value)) value = 0;
    double days = std::floor(value / kMSecsPerDay);
    if (days < -1e9 || days > 1e9) days = 0;
    int64_t ms = static_cast<int64_t>(std::llround(value - days * kMSecsPerDay));
    if (ms >= kMSecsPerDay) {
        days += 1;
        ms -= kMSecsPerDay;
    }
    return FormatDate(static_cast<int32_t>(days)) + " " + FormatTime(static_cast<int32_t>(ms));
}

std::string FormatFloat(double value) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

bool ParseFloatText(std::string_view text, double& value) {
    text = TrimSpaces(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(value);
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
        case ftdBCD: return CurrencyToText(s.AsCurrency(), s.Scale);
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
                if (EqualsNoCase(v, "TRUE")) t.SetBoolean(true);
                else if (EqualsNoCase(v, "FALSE")) t.SetBoolean(false);
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
                if (!ParseFloatText(s.StringView(), d)) return fail();
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
                if (!ParseFloatText(s.StringView(), d)) return fail();
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
                if (!ParseDateText(s.StringView(), day)) return fail();
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
                if (!ParseTimeText(s.StringView(), ms)) return fail();
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
                if (!ParseTimestampText(s.StringView(), v)) return fail();
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
