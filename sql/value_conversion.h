#pragma once
// Conversion of expression values between types (assignments, CAST, String
// constants next to temporal values) and the engine's own literal forms of
// dates, times and timestamps. Conversions never raise; they report failure.

#include <cstdint>
#include <string>

#include "support/literals.h"
#include <string_view>

#include "support/date_time.h"

namespace dezede {

class TExpToken;

// Decimal text of a currency value with exactly `scale` places ("-12.50").
std::string FormatCurrency(int64_t currency, uint8_t scale);
// Shortest text that reads back as the same double, "." as the separator.
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
