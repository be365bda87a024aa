// Feeds arbitrary bytes to the locale string routines: code-page and UTF-8
// conversion, case mapping and comparison under byte order and ICU locales.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "support/locales.h"

using namespace dezede;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const uint32_t kLocales[] = {0, 0x0407, 0x041F, 0x0405, 0x0419, 0x0408, 0x042A, 0x0401};
    if (size == 0) return 0;
    const uint32_t locale = kLocales[data[0] % 8];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t half = text.size() / 2;
    const std::string_view a = text.substr(0, half), b = text.substr(half);

    (void)Utf8ToLocale(locale, text);
    (void)LocaleToUtf8(locale, text);
    (void)UpperCase(locale, text);
    (void)LowerCase(locale, text);
    const int max = data[0] & 0x80 ? -1 : data[0] % 16;
    for (bool ci : {false, true}) {
        const int ab = CompareStrings(locale, a, b, ci, max), ba = CompareStrings(locale, b, a, ci, max);
        if (ab < -1 || ab > 1 || ab != -ba) std::abort();
        if (CompareStrings(locale, a, a, ci, max) != 0) std::abort();
    }
    return 0;
}
