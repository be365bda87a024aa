#pragma once
// Typed views of field values: the engine's literal forms (defaults, minimum
// and maximum texts), the default values of a new record, the constraint
// check before a record is written, and the text forms of dates, times,
// timestamps and BCD values.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_types.h"

namespace dezede {

// The current local date and time, as a date number and milliseconds since midnight.
struct TLocalNow {
    int32_t Date = 0;
    int32_t Time = 0;
};
TLocalNow LocalNow();
// The local date-time in days since 30 December 1899 (fraction = time of day).
double LocalDateTime();

// Whether a default, minimum or maximum text is a valid literal for the type.
bool ValidateLiteral(std::string_view text, uint8_t type);

// The storage bytes of a literal for the field (StorageSize bytes; strings the
// text itself, "CURRENT_GUID" a new GUID), or nullopt when it does not parse.
// The CURRENT_* keywords take their value from now.
std::optional<std::vector<uint8_t>> ParseLiteral(const TFieldDescriptor& f, std::string_view text,
                                                 const TLocalNow& now);

// Zero-fills the record and writes every non-BLOB field's default value.
void InitRecordDefaults(const std::vector<TFieldDescriptor>& fields, std::span<uint8_t> record, uint32_t locale);

// Required, minimum and maximum rules: DEZEDE_REQDERR, DEZEDE_MINVALERR or
// DEZEDE_MAXVALERR naming the field and the table.
void CheckConstraints(const std::vector<TFieldDescriptor>& fields, std::span<const uint8_t> record,
                      uint32_t locale, const std::string& table);

// Compares two non-null values of one field in natural order: -1, 0 or 1.
int CompareFieldValues(const TFieldDescriptor& f, std::span<const uint8_t> a, std::span<const uint8_t> b,
                       uint32_t locale);

// Decimal text of a BCD record with exactly `scale` places ("-12.50").
std::string FormatBcd(std::span<const uint8_t> bcd34, uint8_t scale);
// A new random GUID in its 38-character text form.
std::string NewGuidText();

}  // namespace dezede
