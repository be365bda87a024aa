#pragma once
// MD5 digests: the record hash, the engine signature in file headers, the
// key of the table cipher and the compressed-copy marker all use them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nettle/md5.h>

namespace dezede {

using TMD5Digest = std::array<uint8_t, 16>;

TMD5Digest MD5Digest(const void* data, size_t size);
inline TMD5Digest MD5Digest(std::string_view text) { return MD5Digest(text.data(), text.size()); }

// Incremental form for data that arrives in pieces.
class TMD5 {
public:
    TMD5();
    void Update(const void* data, size_t size);
    // Returns the digest and starts over.
    TMD5Digest Final();

private:
    md5_ctx Context_;
};

// Lower-case hexadecimal text of a digest (32 characters), for logs and tools.
std::string DigestToHex(const TMD5Digest& digest);

}  // namespace dezede
