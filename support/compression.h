#pragma once
// Whole-buffer compression of BLOB values and stored copies: one complete
// zlib stream per buffer, or the application's OnCompress/OnDecompress hooks
// when they are installed (crypto_hooks.h). Failures are reported, never
// thrown: the engine maps them to DEZEDE_COMPRESS and DEZEDE_UNCOMPRESS.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dezede {

// Compresses `size` bytes at `level` (0 to 9) into `out` (replaced). False on
// failure (a level outside 0..9 included); `out` is then empty.
bool CompressBuffer(const uint8_t* data, size_t size, int level, std::vector<uint8_t>& out);

// Decompresses one complete zlib stream into `out` (replaced). False when the
// input is corrupt or truncated, has bytes after the stream, or would inflate
// beyond `maxSize` bytes (the caller's bound on the value, so that hostile
// input cannot exhaust memory); `out` is then empty.
bool DecompressBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>& out,
                      size_t maxSize = 0x7FFFFFFF);

}  // namespace dezede
