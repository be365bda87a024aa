#include "engine/table_part_file.h"

#include <algorithm>

namespace dezede {

TCipherHook TableCipherHook(std::shared_ptr<const TTableCipher> cipher) {
    if (!cipher) return {};
    return {[cipher](uint8_t* p, size_t n) { cipher->Encrypt(p, n); },
            [cipher](uint8_t* p, size_t n) { cipher->Decrypt(p, n); }};
}

void CheckHeaderIdentity(uint8_t version, const TDigest& signature, const std::string& engineSignature,
                         const std::string& table) {
    if (version != kFormatVersion) RaiseError(version < 7 ? DEZEDE_OLDVERSION : DEZEDE_BADSIGNATURE, {.Table = table});
    if (signature != SignatureDigest(engineSignature) && signature != SignatureDigest(kDefaultSignature))
        RaiseError(DEZEDE_BADSIGNATURE, {.Table = table});
}

int32_t LastNumberBefore(uint32_t nextNumber) {
    return static_cast<int32_t>(std::min<uint32_t>(std::max<uint32_t>(nextNumber, 1), INT32_MAX) - 1);
}

}  // namespace dezede
