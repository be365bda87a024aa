// Two TOSFile objects of one process are two open file descriptions, so their
// share and region locks conflict exactly as those of two processes do.

#include "platform/os_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/fault_injection.h"
#include "platform/windows_error.h"
#include "../helpers/temp_dir.h"

namespace dezede {
namespace {

using test::TTempDir;

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct TShareCase {
    const char* Name;
    bool FirstExclusive;
    bool SecondExclusive;
    bool SecondReadOnly;
    uint32_t Expected;
};

class OSFileShareTest : public ::testing::TestWithParam<TShareCase> {};

TEST_P(OSFileShareTest, ShareLockDecidesSecondOpen) {
    const TShareCase& c = GetParam();
    TTempDir dir;
    const std::string path = dir.File("t.dat");
    WriteFile(path, "abc");
    TOSFile first, second;
    ASSERT_EQ(first.Open(path, false, c.FirstExclusive), 0u);
    EXPECT_EQ(second.Open(path, c.SecondReadOnly, c.SecondExclusive), c.Expected) << c.Name;
    EXPECT_EQ(second.IsOpen(), c.Expected == 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, OSFileShareTest,
                         ::testing::Values(TShareCase{"shared_shared", false, false, false, 0},
                                           TShareCase{"shared_readonly", false, false, true, 0},
                                           TShareCase{"shared_exclusive", false, true, false, kWinSharingViolation},
                                           TShareCase{"exclusive_shared", true, false, false, kWinSharingViolation},
                                           TShareCase{"exclusive_readonly", true, false, true, kWinSharingViolation}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(OSFileTest, CreateNeverTruncatesAFileOpenElsewhere) {
    TTempDir dir;
    const std::string path = dir.File("t.dat");
    WriteFile(path, "precious");
    TOSFile holder, creator;
    ASSERT_EQ(holder.Open(path, false, false), 0u);
    EXPECT_EQ(creator.Create(path), kWinSharingViolation);
    EXPECT_EQ(ReadAll(path), "precious");
    holder.Close();
    ASSERT_EQ(creator.Create(path), 0u);
    EXPECT_EQ(ReadAll(path), "");
    TOSFile late;
    EXPECT_EQ(late.Open(path, true, false), kWinSharingViolation) << "a created file is exclusive";
}

// A create of a new file only: the loser of a creation race (the file is
// there, closed, with the winner's bytes) fails and leaves the bytes alone.
TEST(OSFileTest, NewOnlyCreateRefusesAnExistingFile) {
    TTempDir dir;
    const std::string path = dir.File("t.lck");
    TOSFile first;
    ASSERT_EQ(first.Create(path, true), 0u);
    uint32_t err = 0;
    ASSERT_EQ(first.WriteAt("winner", 6, 0, &err), 6u);
    first.Close();
    TOSFile second;
    EXPECT_EQ(second.Create(path, true), kWinAlreadyExists);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(ReadAll(path), "winner");
}

TEST(OSFileTest, FileWithoutWriteBitsOpensReadOnlyEvenForRoot) {
    TTempDir dir;
    const std::string path = dir.File("ro.dat");
    WriteFile(path, "abc");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    TOSFile f;
    ASSERT_EQ(f.Open(path, false, false), 0u);
    EXPECT_TRUE(f.ReadOnly());
    EXPECT_TRUE(f.ReadOnlyOnDisk());
    uint32_t err = 0;
    EXPECT_EQ(f.WriteAt("x", 1, 0, &err), 0u);
    EXPECT_EQ(err, kWinAccessDenied);
    EXPECT_EQ(ReadAll(path), "abc");
    TOSFile creator;
    EXPECT_EQ(creator.Create(path), kWinAccessDenied);
}

TEST(OSFileTest, RefusedReadWriteOpenFallsBackToReadOnly) {
    TTempDir dir;
    const std::string path = dir.File("t.dat");
    WriteFile(path, "abc");
    TFaultScope faults;
    faults.Arm({.Kind = TFault::RefuseReadWriteOpen, .PathPart = "t.dat"});
    TOSFile f;
    ASSERT_EQ(f.Open(path, false, false), 0u);
    EXPECT_TRUE(f.ReadOnly());
    EXPECT_FALSE(f.ReadOnlyOnDisk());
}

TEST(OSFileTest, MissingFileAndDirectory) {
    TTempDir dir;
    TOSFile f;
    EXPECT_EQ(f.Open(dir.File("none.dat"), false, false), kWinFileNotFound);
    EXPECT_EQ(f.Open(dir.File("none/x.dat"), false, false), kWinFileNotFound);
    EXPECT_EQ(f.Open(dir.Path(), false, false), kWinAccessDenied);
}

TEST(OSFileTest, RegionLocksExcludeOtherDescriptionsUpToTheKernelLimit) {
    TTempDir dir;
    const std::string path = dir.File("t.dat");
    WriteFile(path, "");
    TOSFile a, b;
    ASSERT_EQ(a.Open(path, false, false), 0u);
    ASSERT_EQ(b.Open(path, false, false), 0u);
    const uint64_t offsets[] = {0, 4294967295ull, (uint64_t{1} << 63) - 2};
    for (const uint64_t off : offsets) {
        SCOPED_TRACE(off);
        ASSERT_TRUE(a.LockRange(off, 1));
        EXPECT_FALSE(b.LockRange(off, 1));
        ASSERT_TRUE(a.UnlockRange(off, 1));
        EXPECT_TRUE(b.LockRange(off, 1));
        EXPECT_TRUE(b.UnlockRange(off, 1));
    }
    EXPECT_TRUE(a.LockRange((uint64_t{1} << 63) - 1, 1)) << "the last representable byte";
    EXPECT_FALSE(a.LockRange((uint64_t{1} << 63) - 1, 2)) << "past the kernel's range";
    EXPECT_FALSE(a.LockRange(uint64_t{1} << 63, 1));
}

TEST(OSFileTest, ReadOnlyDescriptorsTakeReadLocks) {
    TTempDir dir;
    const std::string path = dir.File("t.dat");
    WriteFile(path, "");
    TOSFile r1, r2, w;
    ASSERT_EQ(r1.Open(path, true, false), 0u);
    ASSERT_EQ(r2.Open(path, true, false), 0u);
    ASSERT_EQ(w.Open(path, false, false), 0u);
    EXPECT_TRUE(r1.LockRange(10, 1));
    EXPECT_TRUE(r2.LockRange(10, 1)) << "read locks do not exclude each other";
    EXPECT_FALSE(w.LockRange(10, 1)) << "but they exclude a writer";
}

TEST(OSFileTest, InjectedFaults) {
    TTempDir dir;
    const std::string path = dir.File("t.dat");
    WriteFile(path, "0123456789");
    TOSFile f;
    ASSERT_EQ(f.Open(path, false, false), 0u);
    TFaultScope faults;
    char buf[10];
    uint32_t err = 0;

    faults.Arm({.Kind = TFault::ShortRead});
    EXPECT_EQ(f.ReadAt(buf, 10, 0, &err), 5u);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(f.ReadAt(buf, 10, 0, &err), 10u) << "the rule fired once";

    faults.Arm({.Kind = TFault::DiskFull, .PathPart = "other"});
    EXPECT_EQ(f.WriteAt("abcd", 4, 0, &err), 4u) << "path does not match";
    faults.Arm({.Kind = TFault::DiskFull, .Skip = 1});
    EXPECT_EQ(f.WriteAt("abcd", 4, 0, &err), 4u) << "skipped once";
    EXPECT_EQ(f.WriteAt("wxyz", 4, 0, &err), 2u);
    EXPECT_NE(err, 0u);
    EXPECT_EQ(ReadAll(path), "wxcd456789") << "half written, the rest left";

    faults.Arm({.Kind = TFault::FailedSync});
    EXPECT_NE(f.Sync(), 0u);
    faults.Arm({.Kind = TFault::FailedLock});
    EXPECT_FALSE(f.LockRange(1, 1));
    EXPECT_TRUE(f.LockRange(1, 1));
}

}  // namespace
}  // namespace dezede
