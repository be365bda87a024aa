#include "app/core/ansi_text.h"

#include <cstdint>

namespace dezede::freebolt {

namespace {

// 0x80..0x9F; the five unassigned bytes map to the control characters of the same value.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

template <class S, class V>
S LineBreaks(V text) {
    S out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\n') {
            continue;  // the line feed follows
        } else {
            out += '\n';
        }
    }
    return out;
}

}  // namespace

std::u16string AnsiToWide(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char ch : text) {
        auto b = static_cast<uint8_t>(ch);
        out += (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : static_cast<char16_t>(b);
    }
    return out;
}

std::string WideToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            out += static_cast<char>(c);
            continue;
        }
        char mapped = '?';
        for (int i = 0; i < 32; ++i)
            if (kHigh[i] == c) mapped = static_cast<char>(0x80 + i);
        out += mapped;
    }
    return out;
}

std::string CarriageReturnsToLineBreaks(std::string_view text) { return LineBreaks<std::string>(text); }
std::u16string CarriageReturnsToLineBreaks(std::u16string_view text) { return LineBreaks<std::u16string>(text); }

}  // namespace dezede::freebolt
