#include "engine/field_value.h"

#include <time.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/format_bytes.h"

namespace dezede {

namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
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

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool ParseUnsigned(std::string_view s, uint64_t& v) {
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size();
}

// Optional sign and decimal digits, within [lo, hi].
bool ParseInteger(std::string_view s, __int128 lo, __int128 hi, __int128& v) {
    bool neg = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        neg = s[0] == '-';
        s.remove_prefix(1);
    }
    uint64_t u;
    if (!ParseUnsigned(s, u)) return false;
    v = neg ? -static_cast<__int128>(u) : static_cast<__int128>(u);
    return v >= lo && v <= hi;
}

// A decimal number with "." as separator: optional sign, digits, optional fraction.
bool ParseDecimal(std::string_view s, double& v) {
    std::string_view body = s;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) body.remove_prefix(1);
    size_t dot = body.find('.');
    std::string_view ip = body.substr(0, dot), fp = dot == std::string_view::npos ? "" : body.substr(dot + 1);
    auto digits = [](std::string_view d) {
        return std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if ((ip.empty() && fp.empty()) || !digits(ip) || !digits(fp)) return false;
    std::string text(s.substr(s[0] == '+' ? 1 : 0));
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc() && p == text.data() + text.size() && std::isfinite(v);
}

// Currency from a decimal literal, rounded half away from zero at 4 places.
bool ParseCurrency(std::string_view s, int64_t& v) {
    double d;
    if (!ParseDecimal(s, d)) return false;
    bool neg = s[0] == '-';
    std::string_view body = s.substr((s[0] == '-' || s[0] == '+') ? 1 : 0);
    size_t dot = body.find('.');
    std::string_view ip = body.substr(0, dot), fp = dot == std::string_view::npos ? "" : body.substr(dot + 1);
    __int128 acc = 0;
    constexpr __int128 kMax = INT64_MAX;
    for (char c : ip) {
        acc = acc * 10 + (c - '0');
        if (acc > kMax) return false;
    }
    for (size_t i = 0; i < 4; ++i) acc = acc * 10 + (i < fp.size() ? fp[i] - '0' : 0);
    if (fp.size() > 4 && fp[4] >= '5') ++acc;
    if (acc > kMax) return false;
    v = static_cast<int64_t>(neg ? -acc : acc);
    return true;
}

bool ParseDateText(std::string_view s, int32_t& days) {
    size_t a = s.find('-', 1);
    if (a == std::string_view::npos) return false;
    size_t b = s.find('-', a + 1);
    if (b == std::string_view::npos) return false;
    uint64_t y, m, d;
    if (!ParseUnsigned(s.substr(0, a), y) || !ParseUnsigned(s.substr(a + 1, b - a - 1), m) ||
        !ParseUnsigned(s.substr(b + 1), d))
        return false;
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > static_cast<uint64_t>(DaysInMonth(int(y), int(m))))
        return false;
    days = EncodeDate(int(y), int(m), int(d));
    return true;
}

bool ParseTimeText(std::string_view s, int32_t& ms) {
    s = TrimView(s);
    int ampm = 0;
    if (s.size() >= 2 && (EqualsNoCase(s.substr(s.size() - 2), "AM") || EqualsNoCase(s.substr(s.size() - 2), "PM"))) {
        ampm = EqualsNoCase(s.substr(s.size() - 2), "AM") ? 1 : 2;
        s = TrimView(s.substr(0, s.size() - 2));
    }
    uint64_t h = 0, m = 0, sec = 0, msec = 0;
    size_t c1 = s.find(':');
    if (c1 == std::string_view::npos || !ParseUnsigned(s.substr(0, c1), h)) return false;
    std::string_view rest = s.substr(c1 + 1);
    size_t c2 = rest.find(':');
    if (!ParseUnsigned(rest.substr(0, c2), m)) return false;
    if (c2 != std::string_view::npos) {
        std::string_view secs = rest.substr(c2 + 1);
        size_t dot = secs.find('.');
        if (!ParseUnsigned(secs.substr(0, dot), sec)) return false;
        if (dot != std::string_view::npos) {
            std::string_view f = secs.substr(dot + 1);
            if (f.empty() || f.size() > 3 || !ParseUnsigned(f, msec)) return false;
            for (size_t i = f.size(); i < 3; ++i) msec *= 10;
        }
    }
    if (ampm) {
        if (h < 1 || h > 12) return false;
        if (ampm == 1 && h == 12) h = 0;
        if (ampm == 2 && h != 12) h += 12;
    }
    if (h > 23 || m > 59 || sec > 59 || msec > 999) return false;
    ms = static_cast<int32_t>(((h * 60 + m) * 60 + sec) * 1000 + msec);
    return true;
}

bool ParseTimestampText(std::string_view s, const TLocalNow& now, double& v) {
    int32_t days = 0, ms = 0;
    if (EqualsNoCase(s, "CURRENT_TIMESTAMP")) {
        days = now.Date;
        ms = now.Time;
    } else if (EqualsNoCase(s, "CURRENT_DATE")) {
        days = now.Date;
    } else if (EqualsNoCase(s, "CURRENT_TIME")) {
        ms = now.Time;
    } else {
        size_t sp = s.find(' ');
        if (sp == std::string_view::npos) {
            if (!ParseDateText(s, days) && !ParseTimeText(s, ms)) return false;
        } else if (!ParseDateText(s.substr(0, sp), days) || !ParseTimeText(s.substr(sp + 1), ms)) {
            return false;
        }
    }
    v = days * kMillisecondsPerDay + ms;
    return true;
}

std::vector<uint8_t> Bytes(size_t n) { return std::vector<uint8_t>(n, 0); }

std::string Pad(uint64_t v, int width) {
    std::string s = std::to_string(v);
    if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
    return s;
}

}  // namespace

int32_t EncodeDate(int year, int month, int day) {
    // Days before the year, then before the month, then the day itself.
    int y = year - 1;
    int32_t days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
    return days + day;
}

void DecodeDate(int32_t days, int& year, int& month, int& day) {
    if (days < 1) days = 1;
    int32_t d = days - 1;
    int y400 = d / 146097;
    d %= 146097;
    int y100 = std::min(d / 36524, 3);
    d -= y100 * 36524;
    int y4 = d / 1461;
    d %= 1461;
    int y1 = std::min(d / 365, 3);
    d -= y1 * 365;
    year = y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1;
    month = 1;
    while (month < 12 && d >= DaysInMonth(year, month)) d -= DaysInMonth(year, month++);
    day = d + 1;
}

TLocalNow LocalNow() {
    using namespace std::chrono;
    auto now = system_clock::now();
    time_t t = system_clock::to_time_t(now);
    struct tm tm {};
    localtime_r(&t, &tm);
    int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    TLocalNow n;
    n.Date = EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    n.Time = ((tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec) * 1000 + ms;
    return n;
}

double LocalDateTime() {
    TLocalNow n = LocalNow();
    return (n.Date - 693594) + n.Time / kMillisecondsPerDay;
}

std::optional<std::vector<uint8_t>> ParseLiteral(const TFieldDescriptor& f, std::string_view text,
                                                 const TLocalNow& now) {
    std::string_view s = TrimView(text);
    const size_t size = StorageSize(f);
    auto integer = [&](__int128 lo, __int128 hi, size_t width) -> std::optional<std::vector<uint8_t>> {
        __int128 v;
        if (!ParseInteger(s, lo, hi, v)) return std::nullopt;
        std::vector<uint8_t> out = Bytes(width);
        for (size_t i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
        return out;
    };
    switch (f.Type) {
    case ftdString:
    case ftdBytes:
    case ftdVarBytes: {
        std::string value(text);
        if (f.Type == ftdString && EqualsNoCase(s, "CURRENT_GUID")) value = NewGuidText();
        return std::vector<uint8_t>(value.begin(), value.end());
    }
    case ftdBlob:
        return std::nullopt;
    case ftdBoolean: {
        if (!EqualsNoCase(s, "TRUE") && !EqualsNoCase(s, "FALSE")) return std::nullopt;
        std::vector<uint8_t> out = Bytes(2);
        out[0] = EqualsNoCase(s, "TRUE") ? 1 : 0;
        return out;
    }
    case ftdSmallInt:
        return integer(INT16_MIN, INT16_MAX, 2);
    case ftdWord:
        return integer(0, UINT16_MAX, 2);
    case ftdInteger:
        return integer(INT32_MIN, INT32_MAX, 4);
    case ftdUInteger:
        return integer(0, UINT32_MAX, 4);
    case ftdLargeInt:
        return integer(INT64_MIN, INT64_MAX, 8);
    case ftdULargeInt:
        return integer(0, UINT64_MAX, 8);
    case ftdFloat: {
        double d;
        if (!ParseDecimal(s, d)) return std::nullopt;
        std::vector<uint8_t> out = Bytes(8);
        fmt::StoreLEDouble(out, 0, d);
        return out;
    }
    case ftdBCD: {
        int64_t c;
        if (!ParseCurrency(s, c)) return std::nullopt;
        std::vector<uint8_t> out = Bytes(34);
        CurrencyToBcd(c, f.Scale, out);
        return out;
    }
    case ftdDate: {
        int32_t days;
        if (EqualsNoCase(s, "CURRENT_DATE"))
            days = now.Date;
        else if (!ParseDateText(s, days))
            return std::nullopt;
        std::vector<uint8_t> out = Bytes(4);
        fmt::StoreLE32(out, 0, static_cast<uint32_t>(days));
        return out;
    }
    case ftdTime: {
        int32_t ms;
        if (EqualsNoCase(s, "CURRENT_TIME"))
            ms = now.Time;
        else if (!ParseTimeText(s, ms))
            return std::nullopt;
        std::vector<uint8_t> out = Bytes(4);
        fmt::StoreLE32(out, 0, static_cast<uint32_t>(ms));
        return out;
    }
    case ftdTimestamp: {
        double v;
        if (!ParseTimestampText(s, now, v)) return std::nullopt;
        std::vector<uint8_t> out = Bytes(8);
        fmt::StoreLEDouble(out, 0, v);
        return out;
    }
    default: {
        std::vector<uint8_t> out = Bytes(size);
        std::memcpy(out.data(), text.data(), std::min(size, text.size()));
        return out;
    }
    }
}

bool ValidateLiteral(std::string_view text, uint8_t type) {
    if (text.empty()) return true;
    TFieldDescriptor f;
    f.Type = type;
    f.Size = 1;
    return ParseLiteral(f, text, TLocalNow{1, 0}).has_value();
}

void InitRecordDefaults(const std::vector<TFieldDescriptor>& fields, std::span<uint8_t> record, uint32_t locale) {
    std::fill(record.begin(), record.end(), 0);
    TLocalNow now = LocalNow();
    for (const TFieldDescriptor& f : fields) {
        if (f.IsBlob() || f.Computed || f.DefaultValue.empty()) continue;
        auto value = ParseLiteral(f, f.DefaultValue, now);
        if (value) SetFieldValue(f, record, std::span<const uint8_t>(*value), locale);
    }
}

int CompareFieldValues(const TFieldDescriptor& f, std::span<const uint8_t> a, std::span<const uint8_t> b,
                       uint32_t locale) {
    if (f.Type == ftdString) {
        auto text = [](std::span<const uint8_t> v) {
            size_t n = 0;
            while (n < v.size() && v[n] != 0) ++n;
            return std::string_view(reinterpret_cast<const char*>(v.data()), n);
        };
        return CompareStrings(locale, text(a), text(b), false);
    }
    if (f.Type == ftdUInteger || f.Type == ftdULargeInt) {
        size_t w = f.Type == ftdUInteger ? 4 : 8;
        std::vector<uint8_t> x(8, 0), y(8, 0);
        std::memcpy(x.data(), a.data(), std::min(w, a.size()));
        std::memcpy(y.data(), b.data(), std::min(w, b.size()));
        uint64_t u = fmt::LoadLE64(x, 0), v = fmt::LoadLE64(y, 0);
        return u < v ? -1 : (u > v ? 1 : 0);
    }
    const size_t n = size_t{1} + KeySize(f);
    std::vector<uint8_t> ka(n), kb(n);
    EncodeKeyValue(f, a, false, false, locale, ka);
    EncodeKeyValue(f, b, false, false, locale, kb);
    int r = std::memcmp(ka.data(), kb.data(), n);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

void CheckConstraints(const std::vector<TFieldDescriptor>& fields, std::span<const uint8_t> record,
                      uint32_t locale, const std::string& table) {
    TLocalNow now{};
    bool haveNow = false;
    for (const TFieldDescriptor& f : fields) {
        if (f.Computed || f.IsBlob()) continue;
        if (!f.Required && f.MinValue.empty() && f.MaxValue.empty()) continue;
        std::vector<uint8_t> value(std::max<size_t>(f.StorageSize, 8), 0);
        bool isNull = GetFieldValue(f, record, value);
        if (isNull && f.Required) RaiseError(DEZEDE_REQDERR, {.Table = table, .Field = f.Name});
        if (isNull && f.Type != ftdString) continue;
        if (!haveNow && (!f.MinValue.empty() || !f.MaxValue.empty())) {
            now = LocalNow();
            haveNow = true;
        }
        auto limit = [&](const std::string& text) -> std::optional<std::vector<uint8_t>> {
            if (text.empty()) return std::nullopt;
            auto v = ParseLiteral(f, text, now);
            if (v) v->resize(std::max<size_t>(v->size(), f.StorageSize) + 1, 0);
            return v;
        };
        if (auto lo = limit(f.MinValue); lo && CompareFieldValues(f, value, *lo, locale) < 0)
            RaiseError(DEZEDE_MINVALERR, {.Table = table, .Field = f.Name});
        if (auto hi = limit(f.MaxValue); hi && CompareFieldValues(f, value, *hi, locale) > 0)
            RaiseError(DEZEDE_MAXVALERR, {.Table = table, .Field = f.Name});
    }
}

std::string FormatDate(int32_t days) {
    int y, m, d;
    DecodeDate(days, y, m, d);
    return Pad(y, 4) + "-" + Pad(m, 2) + "-" + Pad(d, 2);
}

std::string FormatTime(int32_t ms) {
    if (ms < 0) ms = 0;
    ms %= 86400000;
    return Pad(ms / 3600000, 2) + ":" + Pad(ms / 60000 % 60, 2) + ":" + Pad(ms / 1000 % 60, 2) + "." +
           Pad(ms % 1000, 3);
}

std::string FormatTimestamp(double value) {
    if (!std::isfinite(value) || value < 0) value = 0;
    if (value > 1e15) value = 1e15;
    int64_t total = static_cast<int64_t>(std::llround(value));
    int32_t days = static_cast<int32_t>(total / 86400000);
    int32_t ms = static_cast<int32_t>(total % 86400000);
    return FormatDate(days) + " " + FormatTime(ms);
}

std::string FormatBcd(std::span<const uint8_t> bcd, uint8_t scale) {
    if (bcd.size() < 34) return "0";
    unsigned precision = std::min<unsigned>(bcd[0], 64);
    unsigned places = std::min<unsigned>(bcd[1] & 0x3F, precision);
    bool negative = (bcd[1] & 0x80) != 0;
    std::string digits;
    for (unsigned i = 0; i < precision; ++i) {
        uint8_t byte = bcd[2 + i / 2];
        unsigned digit = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
        digits.push_back(static_cast<char>('0' + std::min(digit, 9u)));
    }
    std::string ip = digits.substr(0, precision - places), fp = digits.substr(precision - places);
    ip.erase(0, std::min(ip.find_first_not_of('0'), ip.size()));
    if (ip.empty()) ip = "0";
    fp.resize(scale, '0');
    bool zero = ip == "0" && fp.find_first_not_of('0') == std::string::npos;
    std::string out = (negative && !zero ? "-" : "") + ip;
    if (scale) out += "." + fp;
    return out;
}

std::string NewGuidText() {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    uint8_t b[16];
    for (int i = 0; i < 16; i += 8) {
        uint64_t r = rng();
        std::memcpy(b + i, &r, 8);
    }
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);
    static const char* kHex = "0123456789ABCDEF";
    std::string s = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) s += '-';
        s += kHex[b[i] >> 4];
        s += kHex[b[i] & 15];
    }
    return s + "}";
}

}  // namespace dezede
