#pragma once
// Field values as the bytes a record stores, for tests that build or expect them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dezede::test {

using Bytes = std::vector<uint8_t>;

// v as n little-endian bytes.
inline Bytes Le(uint64_t v, size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace dezede::test
