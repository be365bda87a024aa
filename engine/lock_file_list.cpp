#include "engine/lock_file_list.h"

#include <algorithm>
#include <limits>

#include "engine/lock_geometry.h"
#include "support/endian.h"

namespace dezede {

int32_t NextLockFileCounter(int32_t counter) {
    return counter == std::numeric_limits<int32_t>::max() ? 1 : counter + 1;
}

size_t LockFileEntryBytes(int32_t length) {
    if (length < 4) return 0;
    return std::min<size_t>(static_cast<size_t>(length) - 4, kLockFileMaxEntryBytes);
}

std::vector<std::string> ParseLockFileEntries(const uint8_t* data, size_t size) {
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos < size && names.size() < TLockGeometry::kMaxSlots) {
        const size_t length = data[pos];
        if (length > size - pos - 1) break;  // the entry runs past the end
        names.emplace_back(reinterpret_cast<const char*>(data + pos + 1), length);
        pos += 1 + length;
    }
    return names;
}

std::vector<uint8_t> BuildLockFileBlock(const std::vector<std::string>& names) {
    std::vector<uint8_t> block(4);
    for (const std::string& name : names) {
        const size_t length = std::min<size_t>(name.size(), 255);
        block.push_back(static_cast<uint8_t>(length));
        block.insert(block.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
    }
    StoreLE32s(block.data(), static_cast<int32_t>(block.size()));
    return block;
}

}  // namespace dezede
