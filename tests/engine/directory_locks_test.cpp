// The lock file of a directory: creation, the slot list, damaged files,
// the slot limit and no-locking mode.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "engine/engine_error.h"
#include "engine/lock_file_list.h"
#include "support/endian.h"
#include "tests/helpers/lock_session.h"
#include "tests/helpers/temp_dir.h"
#include "test_errors.h"

namespace dezede::test {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A lock file's bytes: counter, then the block of L and the entries.
std::string LockFileBytes(int32_t counter, const std::vector<std::string>& names) {
    std::string out(4, '\0');
    StoreLE32s(reinterpret_cast<uint8_t*>(out.data()), counter);
    const std::vector<uint8_t> block = BuildLockFileBlock(names);
    return out + std::string(block.begin(), block.end());
}

std::vector<std::string> SlotNames(const TDataDirectoryLocks& locks) {
    std::vector<std::string> names;
    for (const auto& e : locks.Entries()) names.push_back(e->TableName());
    return names;
}

TEST(DirectoryLocks, CreatesTheLockFileWithEveryTablePresent) {
    TTempDir dir;
    for (const char* name : {"zeta.dat", "Alpha.DAT", "notes.txt"}) WriteFile(dir.File(name), "");
    std::vector<std::string> listed;
    for (const std::string& f : OSListFiles(dir.Path(), ".dat")) listed.push_back(f.substr(0, f.size() - 4));
    ASSERT_EQ(listed.size(), 2u);

    TLockSession a(TFileRegistry::Instance(), dir.Path());
    a.Locks().OpenLockFile();
    EXPECT_FALSE(a.Locks().NoLocking());
    EXPECT_EQ(ReadFile(dir.File("dezede.lck")), LockFileBytes(1, listed)) << "the first write stores counter 1";
    EXPECT_EQ(a.Locks().GetTableLocks("ALPHA").Slot(), listed[0] == "Alpha" ? 1u : 2u);
    EXPECT_EQ(a.Locks().CachedChangeCounter(), 1) << "finding a slot writes nothing";
    EXPECT_EQ(a.Locks().GetTableLocks("new").Slot(), 3u);
    listed.push_back("new");
    EXPECT_EQ(ReadFile(dir.File("dezede.lck")), LockFileBytes(2, listed));

    // A second session reads the list; slots it adds are seen by the first.
    TLockSession b(TFileRegistry::Instance(), dir.Path());
    b.Locks().OpenLockFile();
    EXPECT_EQ(SlotNames(b.Locks()), listed);
    EXPECT_EQ(b.Locks().GetTableLocks("other").Slot(), 4u);
    EXPECT_EQ(a.Locks().GetTableLocks("OTHER").Slot(), 4u);
    EXPECT_EQ(a.Locks().Entries().size(), 4u);
}

// Damaged lock files are read as far as they are sound; a new slot follows
// the sound entries and the rewritten list is whole again.
TEST(DirectoryLocks, ReadsDamagedLockFilesAsFarAsSound) {
    const std::string long70(70, 'L');
    std::string cutShort = LockFileBytes(5, {"t1", "t2"});
    cutShort.resize(cutShort.size() - 1);
    std::string lengthTooLarge = LockFileBytes(5, {"t1"});
    StoreLE32s(reinterpret_cast<uint8_t*>(lengthTooLarge.data()) + 4, 100000);
    std::string lengthNegative = LockFileBytes(5, {"t1"});
    StoreLE32s(reinterpret_cast<uint8_t*>(lengthNegative.data()) + 4, -7);
    const struct {
        const char* what;
        std::string bytes;
        std::vector<std::string> slots;
    } cases[] = {
        {"empty file", "", {}},
        {"counter cut short", std::string("\x05\x00", 2), {}},
        {"length missing", std::string("\x05\x00\x00\x00", 4), {}},
        {"last entry cut short", cutShort, {"t1"}},
        {"length beyond the file", lengthTooLarge, {"t1"}},
        {"negative length", lengthNegative, {}},
        {"name of 70 characters", LockFileBytes(5, {long70, "t2"}), {long70, "t2"}},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        WriteFile(dir.File("dezede.lck"), c.bytes);
        TLockSession a(TFileRegistry::Instance(), dir.Path());
        a.Locks().OpenLockFile();
        EXPECT_FALSE(a.Locks().NoLocking()) << c.what;
        EXPECT_EQ(SlotNames(a.Locks()), c.slots) << c.what;
        EXPECT_EQ(a.Locks().GetTableLocks("fresh").Slot(), c.slots.size() + 1) << c.what;
        std::vector<std::string> want = c.slots;
        want.push_back("fresh");
        TLockSession b(TFileRegistry::Instance(), dir.Path());
        b.Locks().OpenLockFile();
        EXPECT_EQ(SlotNames(b.Locks()), want) << c.what;
    }
}

TEST(DirectoryLocks, TheSlotListEndsAt4096Tables) {
    TTempDir dir;
    std::vector<std::string> names;
    for (int i = 1; i <= 4096; ++i) names.push_back("t" + std::to_string(i));
    WriteFile(dir.File("dezede.lck"), LockFileBytes(9, names));
    TLockSession a(TFileRegistry::Instance(), dir.Path());
    a.Locks().OpenLockFile();
    EXPECT_EQ(a.Locks().GetTableLocks("T4096").Slot(), 4096u);
    try {
        a.Locks().GetTableLocks("t4097");
        FAIL() << "the 4,097th table got a slot";
    } catch (const EDEZEDEEngineError& e) {
        EXPECT_EQ(e.ErrorCode, DEZEDE_DATABASEFULL);
        EXPECT_EQ(e.ErrorDatabaseName, dir.Path());
    }
    EXPECT_EQ(a.Locks().Entries().size(), 4096u);
    // The lock-file write lock was given back: another session still gets its slots.
    TLockSession b(TFileRegistry::Instance(), dir.Path());
    b.Locks().OpenLockFile();
    EXPECT_EQ(b.Locks().GetTableLocks("t1").Slot(), 1u);
}

// A read-only lock file switches the lock-file locks off; record locks and
// semaphores, in the data files, still exclude.
TEST(DirectoryLocks, AReadOnlyLockFileMeansNoLocking) {
    TTempDir dir;
    WriteFile(dir.File("orders.dat"), "");
    WriteFile(dir.File("dezede.lck"), LockFileBytes(3, {"orders"}));
    ASSERT_EQ(chmod(dir.File("dezede.lck").c_str(), 0444), 0);
    const std::string before = ReadFile(dir.File("dezede.lck"));

    TLockSession a(TFileRegistry::Instance(), dir.Path()), b(TFileRegistry::Instance(), dir.Path());
    for (TLockSession* s : {&a, &b}) {
        s->Locks().OpenLockFile();
        EXPECT_TRUE(s->Locks().NoLocking());
        s->SetTableLockRetries(0, 1);
        s->Session.RetryCount = 0;
    }
    EXPECT_EQ(a.Locks().GetTableLocks("orders").Slot(), 1u);
    EXPECT_EQ(a.Locks().GetTableLocks("brandnew").Slot(), 2u) << "kept in memory";
    EXPECT_EQ(ReadFile(dir.File("dezede.lck")), before);
    a.State("orders").BeginWrite();
    EXPECT_EQ(ErrorOf([&] { b.State("orders").BeginWrite(); }), 0);
    EXPECT_EQ(ErrorOf([&] { b.Locks().LockAllWrite(); }), 0);
    b.Locks().UnlockAllWrite();
    b.State("orders").EndWrite();
    a.State("orders").EndWrite();
    a.State("orders").LockRecord(4);
    EXPECT_EQ(ErrorOf([&] { b.State("orders").LockRecord(4); }), DEZEDE_RECLOCKFAILED);
    EXPECT_TRUE(a.State("orders").LockSemaphore(2));
    EXPECT_FALSE(b.State("orders").LockSemaphore(2));
}

TEST(DirectoryLocks, AMissingDirectoryMeansNoLocking) {
    TTempDir dir;
    TLockSession a(TFileRegistry::Instance(), dir.File("missing"));
    a.Locks().OpenLockFile();
    EXPECT_TRUE(a.Locks().NoLocking());
    EXPECT_FALSE(a.Locks().LockFileOpen());
    EXPECT_EQ(a.Locks().GetTableLocks("x").Slot(), 1u);
    a.Locks().LockAllTrans();
    a.Locks().UnlockAllTrans();
}

// The in-memory database keeps its lock file in the memory registry; its
// sessions exclude each other through the memory file's region list.
TEST(DirectoryLocks, InMemoryLockFile) {
    TFileRegistry& registry = TFileRegistry::Instance();
    const std::string dir = "locks-test-memory";
    {
        TEngineFile data(registry, dir + "/orders.dat", true);
        data.Create();
        data.Close();
    }
    {
        TLockSession a(registry, dir, "dezede.lck", false, true), b(registry, dir, "dezede.lck", false, true);
        for (TLockSession* s : {&a, &b}) {
            s->Locks().OpenLockFile();
            EXPECT_FALSE(s->Locks().NoLocking());
            s->SetTableLockRetries(0, 1);
            s->Session.RetryCount = 0;
        }
        EXPECT_EQ(a.Locks().GetTableLocks("orders").Slot(), 1u);
        EXPECT_EQ(b.Locks().GetTableLocks("orders").Slot(), 1u);
        a.State("orders").BeginWrite();
        EXPECT_EQ(ErrorOf([&] { b.State("orders").BeginRead(); }), DEZEDE_READLOCK);
        a.State("orders").EndWrite();
        a.State("orders").LockRecord(1);
        EXPECT_EQ(ErrorOf([&] { b.State("orders").LockRecord(1); }), DEZEDE_RECLOCKFAILED);
    }
    EXPECT_TRUE(registry.Exists(dir + "/dezede.lck", true));
    registry.Delete(dir + "/dezede.lck", true);
    registry.Delete(dir + "/orders.dat", true);
}

}  // namespace
}  // namespace dezede::test
