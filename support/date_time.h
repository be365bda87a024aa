#pragma once
// Dates, times and timestamps as the engine stores them, and their literal
// forms.
//
// - Date: a 32-bit day number in the proleptic Gregorian calendar, 1 January
//   of year 1 being day 1 (day 0 is 31 December of year 0, negative days lie
//   before it).
// - Time: 32-bit milliseconds since midnight, 0 to 86,399,999.
// - Timestamp: a double, day number x 86,400,000 + milliseconds since midnight.
//
// The literal forms do not depend on the system's regional settings:
//   date       yyyy-mm-dd                (1-4 digit year 1..9999, 1-2 digit month and day)
//   time       h:mm[:ss[.fff]] with an optional AM or PM marker before or after it,
//              in any case; the digits after "." are a fraction of a second (".5" is
//              500 ms, at most 3 digits); with a marker the hour is 0 to 12, 12 AM is
//              hour 0 and PM adds 12 to hours below 12
//   timestamp  a date, one blank and a time; or a time alone (on day 0) when the text
//              holds ":"; or a date alone (at midnight)
// Blanks around a literal are ignored. Parsers return nothing for any other text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dezede {

inline constexpr int64_t kMSecsPerDay = 86'400'000;
// Day number of 30 December 1899, the origin of date-times counted in days.
inline constexpr int32_t kDateDelta = 693'594;

struct TDateParts {
    int32_t Year;  // may be 0 or negative for day numbers below 1
    int32_t Month;
    int32_t Day;
    bool operator==(const TDateParts&) const = default;
};

struct TTimeParts {
    int32_t Hour;
    int32_t Minute;
    int32_t Second;
    int32_t Millisecond;
    bool operator==(const TTimeParts&) const = default;
};

bool IsLeapYear(int32_t year);
int32_t DaysInMonth(int32_t year, int32_t month);  // 0 for a month outside 1..12
bool IsValidDate(int32_t year, int32_t month, int32_t day);  // year 1..9999

// Day number of a valid date, or nothing.
std::optional<int32_t> EncodeDate(int32_t year, int32_t month, int32_t day);
// Calendar date of any day number.
TDateParts DecodeDate(int32_t dayNumber);
// 1 = Monday ... 7 = Sunday.
int32_t DayOfWeek(int32_t dayNumber);
// 1 for 1 January.
int32_t DayOfYear(int32_t dayNumber);
// ISO 8601 week number (weeks start on Monday; week 1 holds 4 January).
int32_t IsoWeekOfYear(int32_t dayNumber);

// Milliseconds since midnight of a valid time of day, or nothing.
std::optional<int32_t> EncodeTime(int32_t hour, int32_t minute, int32_t second, int32_t millisecond);
// Parts of a time value; values outside one day are taken modulo a day.
TTimeParts DecodeTime(int32_t msecs);

// day x 86,400,000 + msecs.
double EncodeTimestamp(int32_t dayNumber, int32_t msecs);
// Splits a timestamp into day number and milliseconds since midnight (the
// value is rounded to whole milliseconds; negative values give an earlier day
// and a positive time). Nothing for NaN, infinities and days beyond 32 bits.
struct TTimestampParts {
    int32_t Day;
    int32_t MSecs;
    bool operator==(const TTimestampParts&) const = default;
};
std::optional<TTimestampParts> DecodeTimestamp(double timestamp);

// Timestamp <-> date-time counted in days (with fraction) since 30 December 1899.
double TimestampToDateTime(double timestamp);
double DateTimeToTimestamp(double dateTime);

std::optional<int32_t> ParseDate(std::string_view text);
std::optional<int32_t> ParseTime(std::string_view text);
std::optional<double> ParseTimestamp(std::string_view text);

std::string FormatDate(int32_t dayNumber);       // "yyyy-mm-dd"
std::string FormatTime(int32_t msecs);           // "hh:mm:ss.zzz", 24-hour clock
std::string FormatTimestamp(double timestamp);   // "yyyy-mm-dd hh:mm:ss.zzz"; "" when not decodable

}  // namespace dezede
