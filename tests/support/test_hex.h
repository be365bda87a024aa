#pragma once
// Hexadecimal helpers for byte-level expectations in the support tests.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dezede::test {

inline std::vector<uint8_t> FromHex(std::string_view hex) {
    std::vector<uint8_t> bytes;
    auto value = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(uint8_t(value(hex[i]) * 16 + value(hex[i + 1])));
    return bytes;
}

template <typename Bytes>
std::string ToHex(const Bytes& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s += kHex[b >> 4];
        s += kHex[b & 15];
    }
    return s;
}

}  // namespace dezede::test
