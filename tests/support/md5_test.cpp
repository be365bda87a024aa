#include <gtest/gtest.h>

#include "support/md5.h"

namespace dezede {
namespace {

TEST(MD5, PublishedTestSuite) {
    const struct {
        const char* text;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) EXPECT_EQ(DigestToHex(MD5Digest(c.text)), c.digest) << c.text;
}

TEST(MD5, IncrementalEqualsWholeAndRestartsAfterFinal) {
    const std::string text = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    TMD5 md5;
    for (size_t i = 0; i < text.size(); i += 7) md5.Update(text.data() + i, std::min<size_t>(7, text.size() - i));
    EXPECT_EQ(md5.Final(), MD5Digest(text));
    md5.Update("abc", 3);
    EXPECT_EQ(DigestToHex(md5.Final()), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace dezede
