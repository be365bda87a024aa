#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/lock_file_list.h"

namespace dezede::test {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(LockFileList, CounterWrapsFromMaxIntToOne) {
    EXPECT_EQ(NextLockFileCounter(0), 1);
    EXPECT_EQ(NextLockFileCounter(41), 42);
    EXPECT_EQ(NextLockFileCounter(2147483647), 1);
    EXPECT_EQ(NextLockFileCounter(-5), -4);
}

TEST(LockFileList, BuildsLengthAndEntries) {
    const std::vector<uint8_t> block = BuildLockFileBlock({"Customer", "", "Ab"});
    const std::vector<uint8_t> want = {17, 0, 0, 0, 8, 'C', 'u', 's', 't', 'o', 'm', 'e', 'r', 0, 2, 'A', 'b'};
    EXPECT_EQ(block, want);  // L = 4 + 13 bytes of entries
    const std::vector<std::string> names = ParseLockFileEntries(block.data() + 4, block.size() - 4);
    EXPECT_EQ(names, (std::vector<std::string>{"Customer", "", "Ab"}));
}

// Hostile input: read as far as the entries are sound, never past the bytes.
TEST(LockFileList, ReadsDamagedListsAsFarAsSound) {
    const std::string long70(70, 'x');
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        std::vector<std::string> names;
    } cases[] = {
        {"empty", {}, {}},
        {"entry cut short", Bytes("\x03" "abc" "\x05" "de"), {"abc"}},
        {"length byte alone at the end", Bytes("\x02" "ab" "\xff"), {"ab"}},
        {"name longer than 60 kept as stored", Bytes(std::string(1, char(70)) + long70 + "\x01" "z"), {long70, "z"}},
        {"zero-length entry", Bytes(std::string("\x00\x01q", 3)), {"", "q"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseLockFileEntries(c.bytes.data(), c.bytes.size()), c.names) << c.what;
}

TEST(LockFileList, EntryBytesFollowTheLengthFieldWithinBounds) {
    EXPECT_EQ(LockFileEntryBytes(4), 0u);
    EXPECT_EQ(LockFileEntryBytes(3), 0u);
    EXPECT_EQ(LockFileEntryBytes(-100), 0u);
    EXPECT_EQ(LockFileEntryBytes(104), 100u);
    EXPECT_EQ(LockFileEntryBytes(2147483647), kLockFileMaxEntryBytes);
}

TEST(LockFileList, StopsAtTheSlotLimit) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 5000; ++i) {
        bytes.push_back(1);
        bytes.push_back('a');
    }
    EXPECT_EQ(ParseLockFileEntries(bytes.data(), bytes.size()).size(), 4096u);
}

}  // namespace
}  // namespace dezede::test
