#include "engine/field_value.h"

#include <time.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/format_bytes.h"
#include "support/bcd.h"
#include "support/date_time.h"
#include "support/guid.h"
#include "support/literals.h"
#include "support/ansi_strings.h"
#include "platform/clock.h"

namespace dezede {

namespace {

bool ParseTimestampText(std::string_view s, const TLocalNow& now, double& v) {
    int32_t days = 0, ms = 0;
    if (AnsiSameText(s, "CURRENT_TIMESTAMP")) {
        days = now.Date;
        ms = now.Time;
    } else if (AnsiSameText(s, "CURRENT_DATE")) {
        days = now.Date;
    } else if (AnsiSameText(s, "CURRENT_TIME")) {
        ms = now.Time;
    } else {
        auto t = ParseTimestamp(s);
        if (!t) return false;
        v = *t;
        return true;
    }
    v = EncodeTimestamp(days, ms);
    return true;
}

std::vector<uint8_t> Bytes(size_t n) { return std::vector<uint8_t>(n, 0); }

}  // namespace

TLocalNow LocalNow() {
    const TLocalClock c = LocalClockNow();
    TLocalNow n;
    n.Date = EncodeDate(c.Year, c.Month, c.Day).value_or(1);
    n.Time = ((c.Hour * 60 + c.Minute) * 60 + c.Second) * 1000 + c.Millisecond;
    return n;
}

double LocalDateTime() {
    TLocalNow n = LocalNow();
    return (n.Date - kDateDelta) + n.Time / double(kMSecsPerDay);
}

std::optional<std::vector<uint8_t>> ParseLiteral(const TFieldDescriptor& f, std::string_view text,
                                                 const TLocalNow& now) {
    std::string_view s = TrimSpaces(text);
    const size_t size = StorageSize(f);
    auto store = [](uint64_t v, size_t width) {
        std::vector<uint8_t> out = Bytes(width);
        for (size_t i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
        return out;
    };
    auto integer = [&](int64_t lo, int64_t hi, size_t width) -> std::optional<std::vector<uint8_t>> {
        auto v = ParseInteger(s, lo, hi);
        if (!v) return std::nullopt;
        return store(static_cast<uint64_t>(*v), width);
    };
    auto unsignedInt = [&](uint64_t hi, size_t width) -> std::optional<std::vector<uint8_t>> {
        auto v = ParseUnsigned(s, hi);
        if (!v) return std::nullopt;
        return store(*v, width);
    };
    switch (f.Type) {
    case ftdString:
    case ftdBytes:
    case ftdVarBytes: {
        std::string value(text);
        if (f.Type == ftdString && AnsiSameText(s, "CURRENT_GUID")) value = NewGuidText();
        return std::vector<uint8_t>(value.begin(), value.end());
    }
    case ftdBlob:
        return std::nullopt;
    case ftdBoolean: {
        auto b = ParseBoolean(s);
        if (!b) return std::nullopt;
        return store(*b ? 1 : 0, 2);
    }
    case ftdSmallInt:
        return integer(INT16_MIN, INT16_MAX, 2);
    case ftdWord:
        return unsignedInt(UINT16_MAX, 2);
    case ftdInteger:
        return integer(INT32_MIN, INT32_MAX, 4);
    case ftdUInteger:
        return unsignedInt(UINT32_MAX, 4);
    case ftdLargeInt:
        return integer(INT64_MIN, INT64_MAX, 8);
    case ftdULargeInt:
        return unsignedInt(UINT64_MAX, 8);
    case ftdFloat: {
        auto d = ParseFloat(s);
        if (!d) return std::nullopt;
        return store(std::bit_cast<uint64_t>(*d), 8);
    }
    case ftdBCD: {
        auto c = TextToCurrency(s);
        if (!c) return std::nullopt;
        std::vector<uint8_t> out = Bytes(kBcdSize);
        CurrencyToBcdRecord(*c, f.Scale, out);
        return out;
    }
    case ftdDate: {
        std::optional<int32_t> days = AnsiSameText(s, "CURRENT_DATE") ? now.Date : ParseDate(s);
        if (!days) return std::nullopt;
        return store(static_cast<uint32_t>(*days), 4);
    }
    case ftdTime: {
        std::optional<int32_t> ms = AnsiSameText(s, "CURRENT_TIME") ? now.Time : ParseTime(s);
        if (!ms) return std::nullopt;
        return store(static_cast<uint32_t>(*ms), 4);
    }
    case ftdTimestamp: {
        double v;
        if (!ParseTimestampText(s, now, v)) return std::nullopt;
        return store(std::bit_cast<uint64_t>(v), 8);
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

std::string FormatBcd(std::span<const uint8_t> bcd, uint8_t scale) {
    if (bcd.size() < kBcdSize) return "0";
    const unsigned precision = std::min<unsigned>(bcd[0], 64);
    const unsigned places = std::min<unsigned>(bcd[1] & 0x3F, precision);
    const bool negative = (bcd[1] & 0x80) != 0;
    auto digit = [&](unsigned i) -> char {
        uint8_t byte = bcd[2 + i / 2];
        unsigned d = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
        return static_cast<char>('0' + std::min(d, 9u));
    };
    std::string whole;
    for (unsigned i = 0; i < precision - places; ++i)
        if (!whole.empty() || digit(i) != '0') whole.push_back(digit(i));
    std::string fraction;
    for (unsigned i = 0; i < scale; ++i) fraction.push_back(i < places ? digit(precision - places + i) : '0');
    bool zero = whole.empty() && fraction.find_first_not_of('0') == std::string::npos;
    std::string out;
    if (negative && !zero) out.push_back('-');
    out.append(whole.empty() ? std::string(1, '0') : whole);
    if (scale) {
        out.push_back('.');
        out.append(fraction);
    }
    return out;
}

std::string NewGuidText() {
    static thread_local std::mt19937_64 rng{RandomSeed()};
    TGuid bytes;
    for (size_t i = 0; i < bytes.size(); i += 8) {
        uint64_t r = rng();
        std::memcpy(bytes.data() + i, &r, 8);
    }
    return GuidToText(MakeRandomGuid(bytes));
}

}  // namespace dezede
