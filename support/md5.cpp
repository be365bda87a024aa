#include "support/md5.h"

namespace dezede {

TMD5Digest MD5Digest(const void* data, size_t size) {
    TMD5 md5;
    md5.Update(data, size);
    return md5.Final();
}

TMD5::TMD5() { md5_init(&Context_); }

void TMD5::Update(const void* data, size_t size) {
    if (size > 0) md5_update(&Context_, size, static_cast<const uint8_t*>(data));
}

TMD5Digest TMD5::Final() {
    TMD5Digest digest;
    md5_digest(&Context_, digest.size(), digest.data());  // also re-initialises the context
    return digest;
}

std::string DigestToHex(const TMD5Digest& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(32);
    for (uint8_t b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

}  // namespace dezede
