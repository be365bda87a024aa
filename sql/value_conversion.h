#pragma once
// Conversion of expression values between types (assignments, CAST, String
// constants next to temporal values) and the engine's own literal forms of
// dates, times and timestamps. Conversions never raise; they report failure.

#include <cstdint>
#include <string>
#include <string_view>

namespace dezede {

class TExpToken;

inline constexpr int64_t kMSecsPerDay = 86400000;

// Day numbers count 1 January of year 1 as day 1.
int32_t EncodeDayNumber(int year, int month, int day);
void DecodeDayNumber(int32_t dayNumber, int& year, int& month, int& day);
bool IsValidDate(int year, int month, int day);

// "yyyy-mm-dd".
bool ParseDateText(std::string_view text, int32_t& dayNumber);
// "h:mm[:ss[.zzz]]" with an optional AM or PM marker anywhere.
bool ParseTimeText(std::string_view text, int32_t& msecs);
// A date and a time separated by one blank, a time alone (text holds ":") or a date alone.
bool ParseTimestampText(std::string_view text, double& value);

std::string FormatDate(int32_t dayNumber);            // yyyy-mm-dd
std::string FormatTime(int32_t msecs);                // hh:mm:ss.zzz
std::string FormatTimestamp(double value);            // yyyy-mm-dd hh:mm:ss.zzz
// Shortest text that reads back as the same double, "." as the separator.
std::string FormatFloat(double value);
bool ParseFloatText(std::string_view text, double& value);

// The value of `source` as text (String and memo as they are, numbers and
// temporal values in the literal forms above).
std::string ValueAsText(const TExpToken& source);

// Converts the value of `source` into `target`, whose type, subtype, size
// and scale are already set. A NULL source gives a NULL target. False when
// the value does not convert (the target is then NULL). Strings are cut to
// the target's length.
bool ConvertValue(const TExpToken& source, TExpToken& target);

}  // namespace dezede
