#pragma once
// The engine's literal forms of booleans and numbers, independent of the
// system's regional settings ("." is always the decimal separator). Blanks
// around a literal are ignored; anything else that does not match gives
// nothing. Dates and times are in date_time.h, exact decimals in bcd.h.
//
//   boolean  TRUE or FALSE in any case
//   integer  [+|-]digits, within the requested range
//   float    [+|-]digits[.digits][(e|E)[+|-]digits], or [+|-].digits...

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dezede {

std::optional<bool> ParseBoolean(std::string_view text);
std::optional<int64_t> ParseInteger(std::string_view text, int64_t min = INT64_MIN, int64_t max = INT64_MAX);
std::optional<uint64_t> ParseUnsigned(std::string_view text, uint64_t max = UINT64_MAX);
// Finite values only; out-of-range values give nothing.
std::optional<double> ParseFloat(std::string_view text);

// Shortest text that reads back as the same double: plain digits from 1e-5 to
// below 1e15 ("12.5", "-0.0001"), the exponent form beyond ("1e+20", "5e-07").
std::string FormatFloat(double value);

}  // namespace dezede
