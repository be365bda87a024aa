#pragma once
// The cipher of encrypted tables: Blowfish (16 rounds, big-endian halves) in
// CBC mode with an all-zero initialisation vector, keyed with the 16-byte MD5
// digest of the table password. Every transfer (one buffer, header or
// descriptor block) is enciphered on its own: the chaining value starts from
// the zero vector each time. Only whole 8-byte blocks are enciphered; the last
// size mod 8 bytes stay in clear, and a transfer under 8 bytes is untouched.
//
//   TTableCipher cipher = TTableCipher::FromPassword("secret");
//   cipher.Encrypt(page, pageSize);      // before writing
//   cipher.Decrypt(page, pageSize);      // after reading
//
// The hooks installed with SetCryptoHooks at keying time replace the key setup
// and block routines (crypto_hooks.h). Encrypt and Decrypt are thread-safe.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "support/crypto_hooks.h"
#include "support/md5.h"

namespace dezede {

class TTableCipher {
public:
    // Keyed with the MD5 digest of a password (the tables' key).
    explicit TTableCipher(const TMD5Digest& key) : TTableCipher(key.data(), key.size()) {}
    // Keyed with any key bytes (an empty key acts as one zero byte; beyond 56
    // bytes the rest is ignored).
    TTableCipher(const uint8_t* key, size_t keyLength);
    static TTableCipher FromPassword(std::string_view password) { return TTableCipher(MD5Digest(password)); }

    // A moved-from cipher must not be used again.
    TTableCipher(TTableCipher&&) noexcept;
    TTableCipher& operator=(TTableCipher&&) noexcept;
    ~TTableCipher();

    void Encrypt(uint8_t* data, size_t n) const;
    void Decrypt(uint8_t* data, size_t n) const;

private:
    struct TState;
    std::unique_ptr<TState> State_;
};

// The 16-byte password check stored in an encrypted table's header: the MD5
// digest of the password enciphered by the cipher keyed with that digest.
TMD5Digest PasswordCheckValue(std::string_view password);
// Whether `password` opens a table whose header holds the 16 bytes at `check`.
bool PasswordMatchesCheck(std::string_view password, const uint8_t* check);

}  // namespace dezede
