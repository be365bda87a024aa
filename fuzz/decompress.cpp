// Feeds arbitrary bytes to whole-buffer decompression (damaged BLOB values and
// stored copies): it must report failure, never crash, hang or overrun its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "support/compression.h"

using namespace dezede;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kBound = 1 << 20;
    std::vector<uint8_t> out;
    if (DecompressBuffer(data, size, out, kBound)) {
        if (out.size() > kBound) std::abort();
        std::vector<uint8_t> again, back;
        if (!CompressBuffer(out.data(), out.size(), 6, again)) std::abort();
        if (!DecompressBuffer(again.data(), again.size(), back, kBound) || back != out) std::abort();
    } else if (!out.empty()) {
        std::abort();
    }
    return 0;
}
