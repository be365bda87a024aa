#include <gtest/gtest.h>

#include <zlib.h>

#include "support/compression.h"
#include "support/crypto_hooks.h"

namespace dezede {
namespace {

std::vector<uint8_t> Sample(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t((i * 7) % 13 + (i / 1000));
    return v;
}

TEST(Compression, RoundTripsAtEveryLevelAsOneZlibStream) {
    for (size_t size : {size_t(0), size_t(1), size_t(70000)}) {
        const std::vector<uint8_t> data = Sample(size);
        for (int level = 0; level <= 9; ++level) {
            std::vector<uint8_t> packed, unpacked;
            ASSERT_TRUE(CompressBuffer(data.data(), data.size(), level, packed)) << level;
            // A plain zlib reader understands it.
            std::vector<uint8_t> viaZlib(size + 1);
            uLongf n = viaZlib.size();
            ASSERT_EQ(uncompress(viaZlib.data(), &n, packed.data(), packed.size()), Z_OK);
            EXPECT_EQ(n, size);
            ASSERT_TRUE(DecompressBuffer(packed.data(), packed.size(), unpacked)) << level;
            EXPECT_EQ(unpacked, data);
        }
    }
}

TEST(Compression, DamagedInputIsReportedNotCrashed) {
    const std::vector<uint8_t> data = Sample(5000);
    std::vector<uint8_t> packed, out;
    ASSERT_TRUE(CompressBuffer(data.data(), data.size(), 6, packed));

    std::vector<uint8_t> truncated(packed.begin(), packed.end() - 5);
    std::vector<uint8_t> flipped = packed;
    flipped[packed.size() / 2] ^= 0xFF;
    std::vector<uint8_t> trailing = packed;
    trailing.push_back(0);
    std::vector<uint8_t> garbage = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const std::vector<uint8_t>* bad : {&truncated, &flipped, &trailing, &garbage}) {
        out.assign(3, 9);
        EXPECT_FALSE(DecompressBuffer(bad->data(), bad->size(), out));
        EXPECT_TRUE(out.empty());
    }
    EXPECT_FALSE(DecompressBuffer(nullptr, 0, out));
    // A value larger than the caller's bound is refused.
    EXPECT_FALSE(DecompressBuffer(packed.data(), packed.size(), out, data.size() - 1));
    EXPECT_TRUE(DecompressBuffer(packed.data(), packed.size(), out, data.size()));
    EXPECT_FALSE(CompressBuffer(data.data(), data.size(), 10, out));
}

TEST(Compression, HooksReplaceZlib) {
    auto hooks = std::make_shared<TCryptoHooks>();
    hooks->OnCompress = [](const uint8_t* d, size_t n, int level, std::vector<uint8_t>& out) {
        out.assign(d, d + n);
        out.push_back(uint8_t(level));
        return true;
    };
    hooks->OnDecompress = [](const uint8_t* d, size_t n, std::vector<uint8_t>& out) {
        if (n == 0) return false;
        out.assign(d, d + n - 1);
        return true;
    };
    const TCryptoHooksScope scope(hooks);
    std::vector<uint8_t> packed, unpacked;
    const uint8_t text[] = {'a', 'b'};
    EXPECT_TRUE(CompressBuffer(text, 2, 4, packed));
    EXPECT_EQ(packed, (std::vector<uint8_t>{'a', 'b', 4}));
    EXPECT_TRUE(DecompressBuffer(packed.data(), packed.size(), unpacked));
    EXPECT_EQ(unpacked, (std::vector<uint8_t>{'a', 'b'}));
    EXPECT_FALSE(DecompressBuffer(nullptr, 0, unpacked));
    EXPECT_FALSE(DecompressBuffer(packed.data(), packed.size(), unpacked, 1));  // the bound holds for hooks too
    EXPECT_TRUE(unpacked.empty());
}

}  // namespace
}  // namespace dezede
