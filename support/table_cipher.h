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
    // Keyed with the given key bytes (normally an MD5 digest).
    explicit TTableCipher(const TMD5Digest& key);
    static TTableCipher FromPassword(std::string_view password) { return TTableCipher(MD5Digest(password)); }

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
// Whether `password` opens a table whose header holds `check`.
bool PasswordMatchesCheck(std::string_view password, const uint8_t* check);

}  // namespace dezede
