#include "support/table_cipher.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include <nettle/blowfish.h>
#include <nettle/cbc.h>

namespace dezede {

namespace {

constexpr size_t kBlock = 8;

void BlowfishEncrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src) {
    blowfish_encrypt(static_cast<const blowfish_ctx*>(ctx), length, dst, src);
}
void BlowfishDecrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src) {
    blowfish_decrypt(static_cast<const blowfish_ctx*>(ctx), length, dst, src);
}

}  // namespace

struct TTableCipher::TState {
    std::shared_ptr<const TCryptoHooks> Hooks;  // set only when they replace the cipher
    blowfish_ctx Blowfish;
    // A replacement cipher keeps its chaining in the context, so its transfers
    // are serialised.
    std::mutex HookMutex;
    TCryptoContext HookContext{};

    // Enciphers or deciphers the whole 8-byte blocks of one transfer in place.
    void Apply(uint8_t* data, size_t n, bool encrypt);
};

void TTableCipher::TState::Apply(uint8_t* data, size_t n, bool encrypt) {
    const size_t whole = n - n % kBlock;
    if (whole == 0) return;
    if (Hooks) {
        std::lock_guard lock(HookMutex);
        if (Hooks->OnCryptoReset) Hooks->OnCryptoReset(HookContext);
        const auto& transformBlock = encrypt ? Hooks->OnEncryptBlock : Hooks->OnDecryptBlock;
        for (size_t i = 0; i < whole; i += kBlock) transformBlock(HookContext, data + i);
        return;
    }
    uint8_t iv[kBlock] = {};
    if (encrypt) cbc_encrypt(&Blowfish, BlowfishEncrypt, kBlock, iv, whole, data, data);
    else cbc_decrypt(&Blowfish, BlowfishDecrypt, kBlock, iv, whole, data, data);
}

TTableCipher::TTableCipher(const uint8_t* key, size_t keyLength) : State_(std::make_unique<TState>()) {
    std::shared_ptr<const TCryptoHooks> hooks = CurrentCryptoHooks();
    if (hooks && hooks->ReplacesCipher()) {
        State_->Hooks = std::move(hooks);
        if (State_->Hooks->OnCryptoInit) State_->Hooks->OnCryptoInit(State_->HookContext, key, keyLength);
    } else {
        // The return value flags "weak" keys (an S-box entry repeated). The key
        // schedule is complete either way and such keys occur for real
        // passwords, so they are used like any other.
        static const uint8_t kZero = 0;
        if (keyLength == 0) key = &kZero, keyLength = 1;
        (void)blowfish_set_key(&State_->Blowfish, std::min<size_t>(keyLength, BLOWFISH_MAX_KEY_SIZE), key);
    }
}

TTableCipher::TTableCipher(TTableCipher&&) noexcept = default;
TTableCipher& TTableCipher::operator=(TTableCipher&&) noexcept = default;
TTableCipher::~TTableCipher() = default;

void TTableCipher::Encrypt(uint8_t* data, size_t n) const { State_->Apply(data, n, true); }

void TTableCipher::Decrypt(uint8_t* data, size_t n) const { State_->Apply(data, n, false); }

TMD5Digest PasswordCheckValue(std::string_view password) {
    TMD5Digest digest = MD5Digest(password);
    TMD5Digest check = digest;
    TTableCipher(digest).Encrypt(check.data(), check.size());
    return check;
}

bool PasswordMatchesCheck(std::string_view password, const uint8_t* check) {
    TMD5Digest digest = MD5Digest(password);
    TMD5Digest plain;
    std::memcpy(plain.data(), check, plain.size());
    TTableCipher(digest).Decrypt(plain.data(), plain.size());
    return plain == digest;
}

}  // namespace dezede
