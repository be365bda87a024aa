#pragma once
// Offset-based forms of the endian helpers for the table file codecs, and
// short strings (one length byte followed by n single-byte characters, the
// bytes after the text zero). The codecs work on fixed layouts whose sizes
// their callers check; the span forms keep every access inside the span.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "support/endian.h"

namespace dezede::fmt {

inline uint16_t LoadLE16(std::span<const uint8_t> b, size_t o) { return dezede::LoadLE16(b.subspan(o, 2).data()); }
inline uint32_t LoadLE32(std::span<const uint8_t> b, size_t o) { return dezede::LoadLE32(b.subspan(o, 4).data()); }
inline uint64_t LoadLE64(std::span<const uint8_t> b, size_t o) { return dezede::LoadLE64(b.subspan(o, 8).data()); }
inline int16_t LoadLEI16(std::span<const uint8_t> b, size_t o) { return static_cast<int16_t>(LoadLE16(b, o)); }
inline int32_t LoadLEI32(std::span<const uint8_t> b, size_t o) { return static_cast<int32_t>(LoadLE32(b, o)); }
inline double LoadLEDouble(std::span<const uint8_t> b, size_t o) {
    return dezede::LoadLEDouble(b.subspan(o, 8).data());
}

inline void StoreLE16(std::span<uint8_t> b, size_t o, uint16_t v) { dezede::StoreLE16(b.subspan(o, 2).data(), v); }
inline void StoreLE32(std::span<uint8_t> b, size_t o, uint32_t v) { dezede::StoreLE32(b.subspan(o, 4).data(), v); }
inline void StoreLE64(std::span<uint8_t> b, size_t o, uint64_t v) { dezede::StoreLE64(b.subspan(o, 8).data(), v); }
inline void StoreLEDouble(std::span<uint8_t> b, size_t o, double v) {
    dezede::StoreLEDouble(b.subspan(o, 8).data(), v);
}

// Big-endian of the low `width` bytes of v.
inline void StoreBE(std::span<uint8_t> b, size_t o, uint64_t v, size_t width) {
    std::span<uint8_t> d = b.subspan(o, width);
    for (size_t i = 0; i < width; ++i) d[i] = static_cast<uint8_t>(v >> (8 * (width - 1 - i)));
}

// A short string[n] occupies n + 1 bytes. A length byte above n (a damaged
// file) is read as n.
inline std::string LoadShortString(std::span<const uint8_t> b, size_t o, size_t n) {
    std::span<const uint8_t> s = b.subspan(o, n + 1);
    size_t len = s[0] > n ? n : s[0];
    return std::string(reinterpret_cast<const char*>(s.data() + 1), len);
}
// Writes at most n characters and zeroes the rest of the n + 1 bytes.
inline void StoreShortString(std::span<uint8_t> b, size_t o, size_t n, std::string_view text) {
    std::span<uint8_t> s = b.subspan(o, n + 1);
    size_t len = text.size() < n ? text.size() : n;
    std::memset(s.data(), 0, n + 1);
    s[0] = static_cast<uint8_t>(len);
    if (len) std::memcpy(s.data() + 1, text.data(), len);
}

}  // namespace dezede::fmt
