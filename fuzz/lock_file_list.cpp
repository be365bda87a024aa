// The lock file's list read from arbitrary bytes: never reads past them, and
// what it reads is written back and read again unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/lock_file_list.h"
#include "support/endian.h"

using namespace dezede;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    const int32_t length = LoadLE32s(data + 4);
    const size_t want = LockFileEntryBytes(length);
    const size_t have = std::min(want, size - 8);
    const std::vector<std::string> names = ParseLockFileEntries(data + 8, have);
    const std::vector<uint8_t> block = BuildLockFileBlock(names);
    if (static_cast<size_t>(LoadLE32s(block.data())) != block.size()) std::abort();
    if (ParseLockFileEntries(block.data() + 4, block.size() - 4) != names) std::abort();
    return 0;
}
