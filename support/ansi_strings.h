#pragma once
// Single-byte strings of locale 0 ("ANSI Standard"): the Windows-1252 case
// mapping (a-z, 0xE0-0xFE except 0xF7, and 0x9A, 0x9C, 0x9E, 0xFF map to
// their capitals; lower case is the inverse) and byte-order comparison.
// Strings end at their first NUL byte or at the end of the view.

#include <cstdint>
#include <string>
#include <string_view>

namespace dezede {

uint8_t AnsiUpperChar(uint8_t c);
uint8_t AnsiLowerChar(uint8_t c);
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);
void AnsiUpperCaseInPlace(char* text, size_t size);
void AnsiLowerCaseInPlace(char* text, size_t size);

// Unsigned byte comparison up to and including the first string's NUL, or over
// at most `maxLength` bytes when maxLength >= 0; case-insensitive compares the
// upper-case forms. Returns -1, 0 or 1.
int CompareAnsiStrings(std::string_view s1, std::string_view s2, bool caseInsensitive, int maxLength = -1);

// Equality without regard to case (Windows-1252 tables), for names of
// tables, fields and indexes.
bool AnsiSameText(std::string_view a, std::string_view b);

// Removal of leading and trailing blanks and control characters (bytes up to 32).
std::string_view Trim(std::string_view text);
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);
// Removal of leading and trailing spaces (' ') only.
std::string_view TrimSpaces(std::string_view text);
// Removal of leading and trailing spaces, tabs, carriage returns and line feeds.
std::string_view TrimWhitespace(std::string_view text);

// The text of a NUL-terminated field value: the bytes before the first NUL.
inline std::string_view UntilNul(std::string_view text) {
    const size_t n = text.find('\0');
    return n == std::string_view::npos ? text : text.substr(0, n);
}

}  // namespace dezede
