#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "support/crypto_hooks.h"
#include "support/table_cipher.h"
#include "test_hex.h"

namespace dezede {
namespace {

using test::FromHex;
using test::ToHex;

// With a zero initialisation vector the first block of a transfer is plain
// Blowfish, so the classic single-block vectors apply.
TEST(TableCipher, BlowfishKnownAnswers) {
    const struct {
        const char* key;
        const char* plain;
        const char* cipher;
    } cases[] = {
        {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
        {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
        {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
        {"1111111111111111", "1111111111111111", "2466dd878b963c9d"},
        {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
        {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> key = FromHex(c.key);
        TTableCipher cipher(key.data(), key.size());
        std::vector<uint8_t> block = FromHex(c.plain);
        cipher.Encrypt(block.data(), block.size());
        EXPECT_EQ(ToHex(block), c.cipher) << c.key;
        cipher.Decrypt(block.data(), block.size());
        EXPECT_EQ(ToHex(block), c.plain) << c.key;
    }
}

// The published CBC vector (initialisation vector FEDCBA9876543210) becomes a
// zero-vector one by folding the vector into the first plain block.
class TableCipherCbc : public ::testing::Test {
protected:
    const std::vector<uint8_t> key_ = FromHex("0123456789abcdeff0e1d2c3b4a59687");
    const std::string cipherHex_ = "6b77b4d63006dee605b156e27403979358deb9e7154616d959f1652bd5ff92cc";
    std::vector<uint8_t> Plain(size_t n) const {
        std::vector<uint8_t> p(32, 0);
        std::memcpy(p.data(), "7654321 Now is the time for ", 28);
        const std::vector<uint8_t> iv = FromHex("fedcba9876543210");
        for (int i = 0; i < 8; ++i) p[size_t(i)] ^= iv[size_t(i)];
        p.resize(n);
        return p;
    }
};

TEST_F(TableCipherCbc, WholeBlocksAreChained) {
    TTableCipher cipher(key_.data(), key_.size());
    std::vector<uint8_t> data = Plain(32);
    cipher.Encrypt(data.data(), data.size());
    EXPECT_EQ(ToHex(data), cipherHex_);
    cipher.Decrypt(data.data(), data.size());
    EXPECT_EQ(data, Plain(32));
}

TEST_F(TableCipherCbc, TailAndShortTransfersStayInClear) {
    TTableCipher cipher(key_.data(), key_.size());
    for (size_t n : {0u, 1u, 7u, 8u, 15u, 29u, 31u}) {
        std::vector<uint8_t> data = Plain(n);
        cipher.Encrypt(data.data(), data.size());
        const size_t whole = n - n % 8;
        EXPECT_EQ(ToHex(std::vector<uint8_t>(data.begin(), data.begin() + whole)), cipherHex_.substr(0, whole * 2))
            << n;
        EXPECT_TRUE(std::equal(data.begin() + whole, data.end(), Plain(n).begin() + whole)) << n;
        cipher.Decrypt(data.data(), data.size());
        EXPECT_EQ(data, Plain(n)) << n;
    }
}

TEST_F(TableCipherCbc, EveryTransferRestartsFromTheZeroVector) {
    TTableCipher cipher(key_.data(), key_.size());
    std::vector<uint8_t> a = Plain(32), b = Plain(32);
    cipher.Encrypt(a.data(), 16);
    cipher.Encrypt(a.data() + 16, 16);
    cipher.Encrypt(b.data() + 16, 16);
    EXPECT_EQ(std::vector<uint8_t>(a.begin() + 16, a.end()), std::vector<uint8_t>(b.begin() + 16, b.end()));
    EXPECT_NE(ToHex(a).substr(32), cipherHex_.substr(32));  // not chained onto the previous transfer
}

// The check values come from an independent Blowfish-CBC implementation:
// MD5(password) enciphered with zero vector and MD5(password) as the key.
// The key of "pw24652" repeats an S-box entry (a so-called weak key); such
// passwords must work like any other.
TEST(TableCipher, PasswordCheckValue) {
    const struct {
        const char* password;
        const char* check;
    } cases[] = {
        {"secret", "10887f89094e9b7e8a84dfad7c96ff6c"},
        {"pw24652", "a7bf9f7a089a2da2ac257abaaddec881"},
    };
    for (const auto& c : cases) {
        const TMD5Digest check = PasswordCheckValue(c.password);
        EXPECT_EQ(ToHex(check), c.check) << c.password;
        EXPECT_TRUE(PasswordMatchesCheck(c.password, check.data())) << c.password;
        EXPECT_FALSE(PasswordMatchesCheck(std::string(c.password) + " ", check.data())) << c.password;
        EXPECT_FALSE(PasswordMatchesCheck("", check.data())) << c.password;
    }
}

TEST(TableCipher, HooksReplaceTheCipherForNewlyKeyedTables) {
    struct Calls {
        int init = 0, reset = 0, blocks = 0;
    };
    auto calls = std::make_shared<Calls>();
    auto hooks = std::make_shared<TCryptoHooks>();
    // A toy cipher: XOR with the first key byte, chaining counted in context[0].
    hooks->OnCryptoInit = [calls](TCryptoContext& ctx, const uint8_t* key, size_t n) {
        ++calls->init;
        ctx[1] = n ? key[0] : 0;
    };
    hooks->OnCryptoReset = [calls](TCryptoContext& ctx) {
        ++calls->reset;
        ctx[0] = 0;
    };
    hooks->OnEncryptBlock = [calls](TCryptoContext& ctx, uint8_t* block) {
        ++calls->blocks;
        for (int i = 0; i < 8; ++i) block[i] ^= uint8_t(ctx[1] + ctx[0]);
        ++ctx[0];
    };
    hooks->OnDecryptBlock = hooks->OnEncryptBlock;

    const TTableCipher builtIn = TTableCipher::FromPassword("pw");
    std::optional<TTableCipher> hookedCipher;
    {
        const TCryptoHooksScope scope(hooks);
        hookedCipher.emplace(TTableCipher::FromPassword("pw"));
    }
    ASSERT_EQ(CurrentCryptoHooks(), nullptr);
    const TTableCipher& hooked = *hookedCipher;

    const TMD5Digest key = MD5Digest("pw");
    std::vector<uint8_t> data(20, 0x55);
    hooked.Encrypt(data.data(), data.size());
    EXPECT_EQ(calls->init, 1);
    EXPECT_EQ(calls->reset, 1);
    EXPECT_EQ(calls->blocks, 2);
    EXPECT_EQ(data[0], uint8_t(0x55 ^ key[0]));
    EXPECT_EQ(data[8], uint8_t(0x55 ^ uint8_t(key[0] + 1)));
    EXPECT_EQ(data[16], 0x55);  // clear tail
    hooked.Decrypt(data.data(), data.size());
    EXPECT_EQ(data, std::vector<uint8_t>(20, 0x55));

    // The cipher keyed before the hooks were installed keeps Blowfish.
    std::vector<uint8_t> other(16, 0x55);
    builtIn.Encrypt(other.data(), other.size());
    EXPECT_EQ(calls->blocks, 4);
    builtIn.Decrypt(other.data(), other.size());
    EXPECT_EQ(other, std::vector<uint8_t>(16, 0x55));
}

}  // namespace
}  // namespace dezede
