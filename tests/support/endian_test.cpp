#include <gtest/gtest.h>

#include "support/endian.h"

namespace dezede {
namespace {

TEST(Endian, ByteOrderOfEachWidth) {
    uint8_t b[8];
    StoreLE16(b, 0x1234);
    EXPECT_EQ(b[0], 0x34);
    EXPECT_EQ(LoadLE16(b), 0x1234);
    StoreBE16(b, 0x1234);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(LoadBE16(b), 0x1234);
    StoreLE32(b, 0x12345678u);
    EXPECT_EQ(b[0], 0x78);
    EXPECT_EQ(b[3], 0x12);
    EXPECT_EQ(LoadLE32(b), 0x12345678u);
    StoreBE32(b, 0x12345678u);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(LoadBE32(b), 0x12345678u);
    StoreLE64(b, 0x0102030405060708ull);
    EXPECT_EQ(b[0], 0x08);
    EXPECT_EQ(b[7], 0x01);
    EXPECT_EQ(LoadLE64(b), 0x0102030405060708ull);
    StoreBE64(b, 0x0102030405060708ull);
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(LoadBE64(b), 0x0102030405060708ull);
    StoreLE32s(b, -2);
    EXPECT_EQ(LoadLE32s(b), -2);
    EXPECT_EQ(b[3], 0xFF);
    // Keys: 1.0 as a big-endian double with the top bit set (index key encoding).
    StoreBE64(b, std::bit_cast<uint64_t>(1.0) | (1ull << 63));
    EXPECT_EQ(b[0], 0xBF);
    EXPECT_EQ(b[1], 0xF0);
    StoreLEDouble(b, 12.5);
    EXPECT_EQ(LoadLEDouble(b), 12.5);
    EXPECT_EQ(b[7], 0x40);
}

}  // namespace
}  // namespace dezede
