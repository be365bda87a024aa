#pragma once
// Hooks through which an application replaces the table cipher and the
// compression of BLOB values and stored copies. The engine component installs
// the set built from its events (OnCryptoInit, OnEncryptBlock, OnDecryptBlock,
// OnCryptoReset, OnCompress, OnDecompress); with no set installed, or with a
// member left empty, the built-in Blowfish cipher and zlib are used.
//
// A replacement cipher is used when both OnEncryptBlock and OnDecryptBlock are
// assigned; OnCryptoInit and OnCryptoReset are then called when assigned.
// Each keyed cipher owns one TCryptoContext that it hands to every call.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace dezede {

// Per-key state of a replacement cipher: the size of the built-in key context
// (initialisation vector 8, chaining value 8, S-boxes 4096, P-array 72). The
// hooks may use the bytes as they like; the engine zeroes them before OnCryptoInit.
inline constexpr size_t kCryptoContextSize = 4184;
using TCryptoContext = std::array<uint8_t, kCryptoContextSize>;

struct TCryptoHooks {
    // Key setup from the key bytes (the 16-byte MD5 digest of the password).
    std::function<void(TCryptoContext& context, const uint8_t* key, size_t keyLength)> OnCryptoInit;
    // Encipher or decipher one 8-byte block in place, chaining included.
    std::function<void(TCryptoContext& context, uint8_t* block)> OnEncryptBlock;
    std::function<void(TCryptoContext& context, uint8_t* block)> OnDecryptBlock;
    // Return the chaining value to its initial state; called before every transfer.
    std::function<void(TCryptoContext& context)> OnCryptoReset;
    // Whole-buffer compression at a level 1..9 into `out` (replaced, not appended);
    // false reports a failure.
    std::function<bool(const uint8_t* data, size_t size, int level, std::vector<uint8_t>& out)> OnCompress;
    // Whole-buffer decompression into `out`; false reports corrupt input.
    std::function<bool(const uint8_t* data, size_t size, std::vector<uint8_t>& out)> OnDecompress;

    bool ReplacesCipher() const { return OnEncryptBlock && OnDecryptBlock; }
};

// The process-wide hook set; nullptr (the default) means the built-in routines.
// Ciphers take a snapshot of the set when they are keyed, so replacing the set
// does not affect a table that is already open.
void SetCryptoHooks(std::shared_ptr<const TCryptoHooks> hooks);
std::shared_ptr<const TCryptoHooks> CurrentCryptoHooks();

// Installs a hook set for a scope and puts the previous one back at its end.
class TCryptoHooksScope {
public:
    explicit TCryptoHooksScope(std::shared_ptr<const TCryptoHooks> hooks) : Previous_(CurrentCryptoHooks()) {
        SetCryptoHooks(std::move(hooks));
    }
    ~TCryptoHooksScope() { SetCryptoHooks(std::move(Previous_)); }
    TCryptoHooksScope(const TCryptoHooksScope&) = delete;
    TCryptoHooksScope& operator=(const TCryptoHooksScope&) = delete;

private:
    std::shared_ptr<const TCryptoHooks> Previous_;
};

}  // namespace dezede
