#include "support/guid.h"

namespace dezede {

namespace {

// Text position of each byte's two digits, in byte order of the Windows layout.
constexpr int kDigitPos[16] = {7, 5, 3, 1, 12, 10, 17, 15, 20, 22, 25, 27, 29, 31, 33, 35};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string GuidToText(const TGuid& guid) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text = "{00000000-0000-0000-0000-000000000000}";
    for (int i = 0; i < 16; ++i) {
        text[size_t(kDigitPos[i])] = kHex[guid[size_t(i)] >> 4];
        text[size_t(kDigitPos[i] + 1)] = kHex[guid[size_t(i)] & 15];
    }
    return text;
}

std::optional<TGuid> TextToGuid(std::string_view text) {
    if (text.size() != kGuidTextLength || text.front() != '{' || text.back() != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-') {
        return std::nullopt;
    }
    TGuid guid{};
    for (int i = 0; i < 16; ++i) {
        const int hi = HexValue(text[size_t(kDigitPos[i])]), lo = HexValue(text[size_t(kDigitPos[i] + 1)]);
        if (hi < 0 || lo < 0) return std::nullopt;
        guid[size_t(i)] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return guid;
}

TGuid MakeRandomGuid(TGuid bytes) {
    bytes[7] = static_cast<uint8_t>((bytes[7] & 0x0F) | 0x40);  // version 4: high nibble of the third field
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return bytes;
}

}  // namespace dezede
