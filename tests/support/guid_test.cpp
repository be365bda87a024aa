#include <gtest/gtest.h>

#include "support/guid.h"

namespace dezede {
namespace {

TEST(Guid, TextFormRoundTrip) {
    const TGuid g = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    const std::string text = GuidToText(g);
    EXPECT_EQ(text, "{00112233-4455-6677-8899-AABBCCDDEEFF}");
    EXPECT_EQ(TextToGuid(text), g);
    EXPECT_EQ(TextToGuid("{00112233-4455-6677-8899-aabbccddeeff}"), g);
}

TEST(Guid, MalformedTextIsRefused) {
    for (const char* bad : {"", "00112233-4455-6677-8899-AABBCCDDEEFF", "{00112233-4455-6677-8899-AABBCCDDEEF}",
                            "{00112233-4455-6677-8899-AABBCCDDEEFFF}", "{00112233 4455-6677-8899-AABBCCDDEEFF}",
                            "{0011223G-4455-6677-8899-AABBCCDDEEFF}", "(00112233-4455-6677-8899-AABBCCDDEEFF)"}) {
        EXPECT_FALSE(TextToGuid(bad).has_value()) << bad;
    }
}

TEST(Guid, RandomGuidCarriesVersionAndVariant) {
    TGuid ones;
    ones.fill(0xFF);
    const std::string text = GuidToText(MakeRandomGuid(ones));
    EXPECT_EQ(text[15], '4');
    EXPECT_EQ(text[20], 'B');
    TGuid zeros{};
    EXPECT_EQ(GuidToText(MakeRandomGuid(zeros)), "{00000000-0000-4000-8000-000000000000}");
}

}  // namespace
}  // namespace dezede
