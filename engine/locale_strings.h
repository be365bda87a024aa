#pragma once
// The locale services the field encodings use: Windows-1252 case mapping for
// locale 0, and comparison and case mapping with a table's Windows locale.

#include <cstdint>
#include <span>
#include <string_view>

namespace dezede {

uint8_t AnsiUpper(uint8_t c);
uint8_t AnsiLower(uint8_t c);

// Comparison with a non-zero locale: -1, 0 or 1 (see CompareStrings).
int CompareLocaleStrings(uint32_t locale, std::string_view s1, std::string_view s2, bool caseInsensitive,
                         int maxLength);
// Case mapping of a NUL-terminated text with a non-zero locale.
void ConvertLocaleCase(uint32_t locale, std::span<uint8_t> text, bool upper);
// Whether a locale can be used for a table (0 always can).
bool LocaleInstalled(uint32_t locale);

}  // namespace dezede
