#pragma once
// Explicit little- and big-endian loads and stores of on-disk integers and
// floating-point values. Every reader and writer of file bytes goes through
// these instead of overlaying structs on buffers: the code stays correct on
// any host byte order and free of alignment faults.
//
//   uint32_t next = LoadLE32(header + 29);
//   StoreBE32(key, value ^ 0x80000000u);   // sign-flipped index key

#include <bit>
#include <cstdint>

namespace dezede {

inline uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t LoadLE64(const uint8_t* p) { return uint64_t(LoadLE32(p)) | (uint64_t(LoadLE32(p + 4)) << 32); }

inline uint16_t LoadBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t LoadBE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint64_t LoadBE64(const uint8_t* p) { return (uint64_t(LoadBE32(p)) << 32) | uint64_t(LoadBE32(p + 4)); }

inline void StoreLE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void StoreLE64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void StoreBE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void StoreBE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * (3 - i)));
}
inline void StoreBE64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * (7 - i)));
}

// Signed forms: two's complement of the unsigned value.
inline int16_t LoadLE16s(const uint8_t* p) { return static_cast<int16_t>(LoadLE16(p)); }
inline int32_t LoadLE32s(const uint8_t* p) { return static_cast<int32_t>(LoadLE32(p)); }
inline int64_t LoadLE64s(const uint8_t* p) { return static_cast<int64_t>(LoadLE64(p)); }
inline void StoreLE16s(uint8_t* p, int16_t v) { StoreLE16(p, static_cast<uint16_t>(v)); }
inline void StoreLE32s(uint8_t* p, int32_t v) { StoreLE32(p, static_cast<uint32_t>(v)); }
inline void StoreLE64s(uint8_t* p, int64_t v) { StoreLE64(p, static_cast<uint64_t>(v)); }

// IEEE 754 values stored little-endian (bit patterns preserved, NaNs included).
inline float LoadLEFloat(const uint8_t* p) { return std::bit_cast<float>(LoadLE32(p)); }
inline double LoadLEDouble(const uint8_t* p) { return std::bit_cast<double>(LoadLE64(p)); }
inline void StoreLEFloat(uint8_t* p, float v) { StoreLE32(p, std::bit_cast<uint32_t>(v)); }
inline void StoreLEDouble(uint8_t* p, double v) { StoreLE64(p, std::bit_cast<uint64_t>(v)); }

}  // namespace dezede
