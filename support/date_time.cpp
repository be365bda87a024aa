#include "support/date_time.h"

#include <cmath>
#include <cstdio>

namespace dezede {

namespace {

// Days from 1 January 1970 of a proleptic Gregorian date (any year).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Day number of 1 January 1970.
constexpr int64_t kUnixDay = 719163;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

// Reads the text of a literal: a cursor over it with small matching steps.
class TScanner {
public:
    explicit TScanner(std::string_view text) : Text_(text) {}
    bool AtEnd() const { return Pos_ == Text_.size(); }
    size_t Pos() const { return Pos_; }
    void SkipBlanks() {
        while (Pos_ < Text_.size() && (Text_[Pos_] == ' ' || Text_[Pos_] == '\t')) ++Pos_;
    }
    bool Take(char c) {
        if (Pos_ < Text_.size() && Text_[Pos_] == c) {
            ++Pos_;
            return true;
        }
        return false;
    }
    // 1 to maxDigits decimal digits; `digits` receives how many were read.
    bool Number(int maxDigits, int32_t& value, int* digits = nullptr) {
        int n = 0;
        int32_t v = 0;
        while (Pos_ < Text_.size() && Text_[Pos_] >= '0' && Text_[Pos_] <= '9') {
            if (n == maxDigits) return false;
            v = v * 10 + (Text_[Pos_] - '0');
            ++n;
            ++Pos_;
        }
        if (n == 0) return false;
        value = v;
        if (digits) *digits = n;
        return true;
    }
    // "AM" or "PM" in any case: 1 for AM, 2 for PM, 0 (nothing consumed) otherwise.
    int Marker() {
        if (Text_.size() - Pos_ < 2) return 0;
        const char a = Upper(Text_[Pos_]), m = Upper(Text_[Pos_ + 1]);
        if (m != 'M' || (a != 'A' && a != 'P')) return 0;
        Pos_ += 2;
        return a == 'A' ? 1 : 2;
    }

private:
    static char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }
    std::string_view Text_;
    size_t Pos_ = 0;
};

std::optional<int32_t> ScanDate(TScanner& s) {
    int32_t y, m, d;
    if (!s.Number(4, y) || !s.Take('-') || !s.Number(2, m) || !s.Take('-') || !s.Number(2, d)) return std::nullopt;
    return EncodeDate(y, m, d);
}

std::optional<int32_t> ScanTime(TScanner& s) {
    int marker = s.Marker();
    if (marker) s.SkipBlanks();
    int32_t h, m, sec = 0, ms = 0;
    if (!s.Number(2, h) || !s.Take(':') || !s.Number(2, m)) return std::nullopt;
    if (s.Take(':')) {
        if (!s.Number(2, sec)) return std::nullopt;
        if (s.Take('.')) {
            int digits = 0;
            if (!s.Number(3, ms, &digits)) return std::nullopt;
            for (; digits < 3; ++digits) ms *= 10;
        }
    }
    if (!marker) {
        TScanner probe = s;
        probe.SkipBlanks();
        if ((marker = probe.Marker()) != 0) s = probe;
    }
    if (marker) {
        if (h > 12) return std::nullopt;
        if (marker == 1 && h == 12) h = 0;
        if (marker == 2 && h < 12) h += 12;
    }
    return EncodeTime(h, m, sec, ms);
}

bool AtEndAfterBlanks(TScanner& s) {
    s.SkipBlanks();
    return s.AtEnd();
}

}  // namespace

bool IsLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t DaysInMonth(int32_t year, int32_t month) {
    static const int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(int32_t year, int32_t month, int32_t day) {
    return year >= 1 && year <= 9999 && day >= 1 && day <= DaysInMonth(year, month);
}

std::optional<int32_t> EncodeDate(int32_t year, int32_t month, int32_t day) {
    if (!IsValidDate(year, month, day)) return std::nullopt;
    return static_cast<int32_t>(DaysFromCivil(year, month, day) + kUnixDay);
}

TDateParts DecodeDate(int32_t dayNumber) {
    const int64_t z = int64_t(dayNumber) - kUnixDay + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2);
    return {static_cast<int32_t>(y), static_cast<int32_t>(m), static_cast<int32_t>(d)};
}

int32_t DayOfWeek(int32_t dayNumber) { return static_cast<int32_t>(FloorMod(int64_t(dayNumber) - 1, 7) + 1); }

int32_t DayOfYear(int32_t dayNumber) {
    const TDateParts p = DecodeDate(dayNumber);
    return static_cast<int32_t>(dayNumber - (DaysFromCivil(p.Year, 1, 1) + kUnixDay) + 1);
}

int32_t IsoWeekOfYear(int32_t dayNumber) {
    // The week belongs to the year of its Thursday.
    const int64_t thursday = int64_t(dayNumber) - DayOfWeek(dayNumber) + 4;
    const int32_t year = DecodeDate(static_cast<int32_t>(thursday)).Year;
    return static_cast<int32_t>((thursday - (DaysFromCivil(year, 1, 1) + kUnixDay)) / 7 + 1);
}

std::optional<int32_t> EncodeTime(int32_t hour, int32_t minute, int32_t second, int32_t millisecond) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999) {
        return std::nullopt;
    }
    return ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
}

TTimeParts DecodeTime(int32_t msecs) {
    int32_t v = static_cast<int32_t>(FloorMod(msecs, kMSecsPerDay));
    TTimeParts p;
    p.Millisecond = v % 1000;
    v /= 1000;
    p.Second = v % 60;
    v /= 60;
    p.Minute = v % 60;
    p.Hour = v / 60;
    return p;
}

double EncodeTimestamp(int32_t dayNumber, int32_t msecs) {
    return static_cast<double>(int64_t(dayNumber) * kMSecsPerDay + msecs);
}

std::optional<TTimestampParts> DecodeTimestamp(double timestamp) {
    if (!std::isfinite(timestamp)) return std::nullopt;
    const double rounded = std::nearbyint(timestamp);
    // Day numbers must fit in 32 bits: |timestamp| < 2^31 days x 86,400,000 < 2^63.
    constexpr double kLimit = 2147483648.0 * double(kMSecsPerDay);
    if (rounded >= kLimit || rounded < -kLimit) return std::nullopt;
    const int64_t v = static_cast<int64_t>(rounded);
    const int64_t day = FloorDiv(v, kMSecsPerDay);
    if (day < INT32_MIN || day > INT32_MAX) return std::nullopt;
    return TTimestampParts{static_cast<int32_t>(day), static_cast<int32_t>(v - day * kMSecsPerDay)};
}

double TimestampToDateTime(double timestamp) { return timestamp / double(kMSecsPerDay) - kDateDelta; }
double DateTimeToTimestamp(double dateTime) { return (dateTime + kDateDelta) * double(kMSecsPerDay); }

std::optional<int32_t> ParseDate(std::string_view text) {
    TScanner s(text);
    s.SkipBlanks();
    std::optional<int32_t> d = ScanDate(s);
    if (!d || !AtEndAfterBlanks(s)) return std::nullopt;
    return d;
}

std::optional<int32_t> ParseTime(std::string_view text) {
    TScanner s(text);
    s.SkipBlanks();
    std::optional<int32_t> t = ScanTime(s);
    if (!t || !AtEndAfterBlanks(s)) return std::nullopt;
    return t;
}

std::optional<double> ParseTimestamp(std::string_view text) {
    TScanner s(text);
    s.SkipBlanks();
    if (text.find(':') == std::string_view::npos) {
        std::optional<int32_t> d = ScanDate(s);
        if (!d || !AtEndAfterBlanks(s)) return std::nullopt;
        return EncodeTimestamp(*d, 0);
    }
    // A time alone, or a date, one blank and a time.
    TScanner timeOnly = s;
    if (std::optional<int32_t> t = ScanTime(timeOnly); t && AtEndAfterBlanks(timeOnly)) return EncodeTimestamp(0, *t);
    std::optional<int32_t> d = ScanDate(s);
    if (!d || !s.Take(' ')) return std::nullopt;
    std::optional<int32_t> t = ScanTime(s);
    if (!t || !AtEndAfterBlanks(s)) return std::nullopt;
    return EncodeTimestamp(*d, *t);
}

std::string FormatDate(int32_t dayNumber) {
    const TDateParts p = DecodeDate(dayNumber);
    char buf[32];
    std::snprintf(buf, sizeof buf, p.Year < 0 ? "-%04d-%02d-%02d" : "%04d-%02d-%02d", p.Year < 0 ? -p.Year : p.Year,
                  p.Month, p.Day);
    return buf;
}

std::string FormatTime(int32_t msecs) {
    const TTimeParts p = DecodeTime(msecs);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", p.Hour, p.Minute, p.Second, p.Millisecond);
    return buf;
}

std::string FormatTimestamp(double timestamp) {
    std::optional<TTimestampParts> p = DecodeTimestamp(timestamp);
    if (!p) return {};
    return FormatDate(p->Day) + ' ' + FormatTime(p->MSecs);
}

}  // namespace dezede
