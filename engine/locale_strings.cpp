#include "engine/locale_strings.h"

#include <array>

namespace dezede {

namespace {

struct TCaseTables {
    std::array<uint8_t, 256> Upper{};
    std::array<uint8_t, 256> Lower{};
    TCaseTables() {
        for (int c = 0; c < 256; ++c) Upper[c] = Lower[c] = static_cast<uint8_t>(c);
        auto pair = [this](int lower, int upper) {
            Upper[lower] = static_cast<uint8_t>(upper);
            Lower[upper] = static_cast<uint8_t>(lower);
        };
        for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
        for (int c = 0xE0; c <= 0xFE; ++c)
            if (c != 0xF7) pair(c, c - 32);
        pair(0x9A, 0x8A);
        pair(0x9C, 0x8C);
        pair(0x9E, 0x8E);
        pair(0xFF, 0x9F);
    }
};

const TCaseTables& Tables() {
    static const TCaseTables t;
    return t;
}

}  // namespace

uint8_t AnsiUpper(uint8_t c) { return Tables().Upper[c]; }
uint8_t AnsiLower(uint8_t c) { return Tables().Lower[c]; }

int CompareLocaleStrings(uint32_t, std::string_view s1, std::string_view s2, bool caseInsensitive, int maxLength) {
    auto at = [](std::string_view s, size_t i) -> uint8_t { return i < s.size() ? static_cast<uint8_t>(s[i]) : 0; };
    size_t limit = maxLength < 0 ? std::max(s1.size(), s2.size()) + 1 : static_cast<size_t>(maxLength);
    for (size_t i = 0; i < limit; ++i) {
        uint8_t a = at(s1, i), b = at(s2, i);
        if (caseInsensitive) {
            a = AnsiUpper(a);
            b = AnsiUpper(b);
        }
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
    return 0;
}

void ConvertLocaleCase(uint32_t, std::span<uint8_t> text, bool upper) {
    for (uint8_t& c : text) {
        if (c == 0) break;
        c = upper ? AnsiUpper(c) : AnsiLower(c);
    }
}

bool LocaleInstalled(uint32_t locale) { return locale == 0; }

}  // namespace dezede
