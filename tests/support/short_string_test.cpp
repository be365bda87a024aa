#include <gtest/gtest.h>

#include <cstring>

#include "support/short_string.h"

namespace dezede {
namespace {

TEST(ShortString, StoresCutAndPaddedAndRefusesDamagedLengths) {
    uint8_t image[8];
    std::memset(image, 0xEE, sizeof image);
    StoreShortString(image, 6, "Reason");
    EXPECT_EQ(image[0], 6);
    EXPECT_EQ(image[7], 0xEE);  // n + 1 bytes only
    EXPECT_EQ(LoadShortString(image, 6), "Reason");

    StoreShortString(image, 6, "Employees");
    EXPECT_EQ(LoadShortString(image, 6), "Employ");
    StoreShortString(image, 6, "ab");
    EXPECT_EQ(image[3], 0);
    EXPECT_EQ(image[6], 0);
    EXPECT_EQ(LoadShortString(image, 6), "ab");

    image[0] = 7;  // longer than the field can hold
    EXPECT_FALSE(LoadShortString(image, 6).has_value());
}

}  // namespace
}  // namespace dezede
