#pragma once
// Short string[n] in file images: one length byte followed by n single-byte
// characters, the unused bytes zero (names, descriptions and texts inside the
// table files). Occupies n + 1 bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dezede {

// The stored text; nothing when the length byte exceeds the capacity n
// (a damaged image: the caller raises its corruption error).
std::optional<std::string> LoadShortString(const uint8_t* bytes, size_t capacity);
// Writes the text cut to `capacity` characters and zero-fills the rest.
void StoreShortString(uint8_t* bytes, size_t capacity, std::string_view text);

}  // namespace dezede
