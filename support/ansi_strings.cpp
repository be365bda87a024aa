#include "support/ansi_strings.h"

#include <array>

namespace dezede {

namespace {

struct TCaseTables {
    std::array<uint8_t, 256> Upper;
    std::array<uint8_t, 256> Lower;
};

constexpr TCaseTables MakeCaseTables() {
    TCaseTables t{};
    for (int c = 0; c < 256; ++c) t.Upper[c] = t.Lower[c] = static_cast<uint8_t>(c);
    auto pair = [&t](int lower, int upper) {
        t.Upper[lower] = static_cast<uint8_t>(upper);
        t.Lower[upper] = static_cast<uint8_t>(lower);
    };
    for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
    for (int c = 0xE0; c <= 0xFE; ++c) {
        if (c != 0xF7) pair(c, c - 32);
    }
    pair(0x9A, 0x8A);  // s caron
    pair(0x9C, 0x8C);  // oe
    pair(0x9E, 0x8E);  // z caron
    pair(0xFF, 0x9F);  // y diaeresis
    return t;
}

constexpr TCaseTables kCase = MakeCaseTables();

}  // namespace

uint8_t AnsiUpperChar(uint8_t c) { return kCase.Upper[c]; }
uint8_t AnsiLowerChar(uint8_t c) { return kCase.Lower[c]; }

void AnsiUpperCaseInPlace(char* text, size_t size) {
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(kCase.Upper[static_cast<uint8_t>(text[i])]);
}

void AnsiLowerCaseInPlace(char* text, size_t size) {
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(kCase.Lower[static_cast<uint8_t>(text[i])]);
}

std::string AnsiUpperCase(std::string_view text) {
    std::string s(text);
    AnsiUpperCaseInPlace(s.data(), s.size());
    return s;
}

std::string AnsiLowerCase(std::string_view text) {
    std::string s(text);
    AnsiLowerCaseInPlace(s.data(), s.size());
    return s;
}

int CompareAnsiStrings(std::string_view s1, std::string_view s2, bool caseInsensitive, int maxLength) {
    s1 = UntilNul(s1);
    s2 = UntilNul(s2);
    // Bytes past a string's end read as its NUL; the walk covers the first
    // string's NUL, so a longer second string compares greater.
    size_t n = s1.size() + 1;
    if (maxLength >= 0) n = static_cast<size_t>(maxLength);
    for (size_t i = 0; i < n; ++i) {
        uint8_t a = i < s1.size() ? static_cast<uint8_t>(s1[i]) : 0;
        uint8_t b = i < s2.size() ? static_cast<uint8_t>(s2[i]) : 0;
        if (caseInsensitive) {
            a = kCase.Upper[a];
            b = kCase.Upper[b];
        }
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;  // both strings ended
    }
    return 0;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (kCase.Upper[static_cast<uint8_t>(a[i])] != kCase.Upper[static_cast<uint8_t>(b[i])]) return false;
    }
    return true;
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && static_cast<uint8_t>(text.front()) <= ' ') text.remove_prefix(1);
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && static_cast<uint8_t>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

std::string_view TrimSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view TrimWhitespace(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace dezede
