#pragma once
// Byte-level helpers shared by the table file codecs: little- and big-endian
// loads and stores at an offset of a span, and short strings (one length byte
// followed by n single-byte characters, the bytes after the text zero).
// Every access is bounds-checked by the callers' fixed layouts; the loads and
// stores assert nothing themselves and must only be given offsets that fit.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace dezede::fmt {

inline uint16_t LoadLE16(std::span<const uint8_t> b, size_t o) {
    return static_cast<uint16_t>(b[o] | (b[o + 1] << 8));
}
inline uint32_t LoadLE32(std::span<const uint8_t> b, size_t o) {
    return static_cast<uint32_t>(b[o]) | (static_cast<uint32_t>(b[o + 1]) << 8) |
           (static_cast<uint32_t>(b[o + 2]) << 16) | (static_cast<uint32_t>(b[o + 3]) << 24);
}
inline uint64_t LoadLE64(std::span<const uint8_t> b, size_t o) {
    return static_cast<uint64_t>(LoadLE32(b, o)) | (static_cast<uint64_t>(LoadLE32(b, o + 4)) << 32);
}
inline int32_t LoadLEI32(std::span<const uint8_t> b, size_t o) { return static_cast<int32_t>(LoadLE32(b, o)); }
inline int16_t LoadLEI16(std::span<const uint8_t> b, size_t o) { return static_cast<int16_t>(LoadLE16(b, o)); }
inline double LoadLEDouble(std::span<const uint8_t> b, size_t o) {
    uint64_t u = LoadLE64(b, o);
    double d;
    std::memcpy(&d, &u, 8);
    return d;
}

inline void StoreLE16(std::span<uint8_t> b, size_t o, uint16_t v) {
    b[o] = static_cast<uint8_t>(v);
    b[o + 1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLE32(std::span<uint8_t> b, size_t o, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[o + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreLE64(std::span<uint8_t> b, size_t o, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[o + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreLEDouble(std::span<uint8_t> b, size_t o, double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    StoreLE64(b, o, u);
}

inline void StoreBE(std::span<uint8_t> b, size_t o, uint64_t v, size_t width) {
    for (size_t i = 0; i < width; ++i) b[o + i] = static_cast<uint8_t>(v >> (8 * (width - 1 - i)));
}
inline uint64_t LoadBE(std::span<const uint8_t> b, size_t o, size_t width) {
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v = (v << 8) | b[o + i];
    return v;
}

// A short string[n] occupies n + 1 bytes. A length byte above n (a damaged
// file) is read as n.
inline std::string LoadShortString(std::span<const uint8_t> b, size_t o, size_t n) {
    size_t len = b[o];
    if (len > n) len = n;
    return std::string(reinterpret_cast<const char*>(b.data() + o + 1), len);
}
// Writes at most n characters and zeroes the rest of the n + 1 bytes.
inline void StoreShortString(std::span<uint8_t> b, size_t o, size_t n, std::string_view s) {
    size_t len = s.size() < n ? s.size() : n;
    std::memset(b.data() + o, 0, n + 1);
    b[o] = static_cast<uint8_t>(len);
    if (len) std::memcpy(b.data() + o + 1, s.data(), len);
}

}  // namespace dezede::fmt
