#include "support/short_string.h"

#include <algorithm>
#include <cstring>

namespace dezede {

std::optional<std::string> LoadShortString(const uint8_t* bytes, size_t capacity) {
    const size_t length = bytes[0];
    if (length > capacity) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(bytes + 1), length);
}

void StoreShortString(uint8_t* bytes, size_t capacity, std::string_view text) {
    const size_t length = std::min({text.size(), capacity, size_t(255)});
    std::memset(bytes, 0, capacity + 1);
    bytes[0] = static_cast<uint8_t>(length);
    std::memcpy(bytes + 1, text.data(), length);
}

}  // namespace dezede
