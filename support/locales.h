#pragma once
// Locale-aware comparison and case mapping of single-byte strings.
//
// Locale 0 ("ANSI Standard") compares bytes and uses the Windows-1252 case
// tables (ansi_strings.h). Any other locale is a Windows locale identifier
// (LCID) served by ICU: the text is decoded from the locale's ANSI code page
// (windows-1250 ... windows-1258, windows-1252 where unsure) and compared by a
// collator at primary strength with the case level on (off when comparing
// without regard to case); case mapping is ICU's linguistic full mapping for
// the locale, encoded back into the code page. Collators and code-page tables
// are built once per locale and shared between threads.
// Strings end at their first NUL byte or at the end of the view.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dezede {

inline constexpr uint32_t kAnsiStandardLocale = 0;

struct TLocaleInfo {
    uint32_t Id;       // LCID; 0 for "ANSI Standard"
    std::string Name;  // English display name in Windows-1252, e.g. "German (Germany)"
};

// Locale 0 first, then every LCID that ICU maps to a locale, in ascending order.
const std::vector<TLocaleInfo>& InstalledLocales();
bool IsLocaleInstalled(uint32_t locale);
// Case-insensitive lookup of a name from InstalledLocales.
std::optional<uint32_t> FindLocaleByName(std::string_view name);
// The ANSI code page of a locale: 1250 to 1258 (1252 for locale 0 and unknown ones).
int LocaleCodePage(uint32_t locale);

// -1, 0 or 1. With maxLength >= 0 each string takes part with at most that
// many bytes. An unknown non-zero locale compares like locale 0.
int CompareStrings(uint32_t locale, std::string_view s1, std::string_view s2, bool caseInsensitive,
                   int maxLength = -1);
// The one-character form, used to step through the collation order.
int CompareChars(uint32_t locale, char c1, char c2, bool caseInsensitive);

// Case mapping with the locale (may change the length, e.g. German sharp s to
// "SS"; a character whose mapping has no place in the code page stays as it is).
std::string UpperCase(uint32_t locale, std::string_view text);
std::string LowerCase(uint32_t locale, std::string_view text);

// Text in the locale's code page <-> UTF-8 (for tools and displays). Bytes
// that the code page leaves undefined become U+FFFD; characters that it
// cannot hold become "?".
std::string LocaleToUtf8(uint32_t locale, std::string_view text);
std::string Utf8ToLocale(uint32_t locale, std::string_view utf8);

}  // namespace dezede
