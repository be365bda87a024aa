// The locking protocol between processes: lock_helper holds locks in a
// process of its own on command while this process asks for them.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "engine/engine_error.h"
#include "engine/lock_file_list.h"
#include "support/endian.h"
#include "tests/helpers/helper_process.h"
#include "tests/helpers/lock_session.h"
#include "tests/helpers/temp_dir.h"
#include "test_errors.h"

namespace dezede::test {
namespace {

const std::string kHelper = std::string(DEZEDE_HELPER_DIR) + "/lock_helper";

double Seconds(const std::function<void()>& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class LockProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"orders.dat", "users.dat"}) std::ofstream(Dir.File(name)) << std::string(4, '\0');
    }
    // Opens the directory in a helper with short waits.
    std::unique_ptr<THelperProcess> Helper(const std::string& options = "") {
        auto h = std::make_unique<THelperProcess>(kHelper);
        EXPECT_EQ(h->Ask("open " + Dir.Path() + " " + options), "ok 0");
        EXPECT_EQ(h->Ask("retries 0 1"), "ok");
        EXPECT_EQ(h->Ask("session 0 1"), "ok");
        return h;
    }
    std::unique_ptr<TLockSession> Local(bool largeFileSupport = false) {
        auto s = std::make_unique<TLockSession>(TFileRegistry::Instance(), Dir.Path(), "dezede.lck", largeFileSupport);
        s->Locks().OpenLockFile();
        EXPECT_FALSE(s->Locks().NoLocking());
        s->SetTableLockRetries(0, 1);
        s->Session.RetryCount = 0;
        s->Session.WaitTime = 1;
        return s;
    }

    TTempDir Dir;
};

TEST_F(LockProcesses, ReadersShareAWriterExcludesReadersAndWaitsForTransactions) {
    auto h = Helper();
    auto local = Local();
    TTableLockState& t = local->State("orders");
    ASSERT_EQ(h->Ask("beginread orders"), "ok 0");
    EXPECT_EQ(ErrorOf([&] { t.BeginRead(); }), 0) << "readers share";
    t.EndRead();
    EXPECT_EQ(ErrorOf([&] { t.BeginWrite(); }), DEZEDE_WRITELOCK) << "a reader elsewhere excludes the writer";
    EXPECT_EQ(t.TableLocks()->Flags(), 0);
    ASSERT_EQ(h->Ask("endread orders"), "ok");
    t.BeginWrite();
    EXPECT_EQ(h->Ask("beginread orders"), "err 10225");
    EXPECT_EQ(h->Ask("beginread users"), "ok 0") << "other tables are free";
    EXPECT_EQ(h->Ask("endread users"), "ok");
    t.EndWrite();
    // The helper's transaction byte holds off writers outside a transaction only.
    ASSERT_EQ(h->Ask("translock orders"), "ok 1");
    EXPECT_EQ(ErrorOf([&] { t.BeginWrite(); }), DEZEDE_WRITELOCK);
    t.InTransaction = true;
    EXPECT_EQ(ErrorOf([&] { t.BeginWrite(); }), 0);
    t.EndWrite();
    t.InTransaction = false;
    ASSERT_EQ(h->Ask("transunlock orders"), "ok");
    EXPECT_EQ(ErrorOf([&] { t.BeginWrite(); }), 0);
    t.EndWrite();
    // The all-slot locks of a full transaction.
    ASSERT_EQ(h->Ask("alltrans"), "ok");
    EXPECT_EQ(ErrorOf([&] { local->State("users").BeginWrite(); }), DEZEDE_WRITELOCK);
    ASSERT_EQ(h->Ask("allwrite"), "ok");
    EXPECT_EQ(ErrorOf([&] { local->State("users").BeginRead(); }), DEZEDE_READLOCK);
}

// Refused record, whole-table and semaphore locks: one attempt and no sleep
// with retry count 0, retries + 1 attempts with a sleep between otherwise.
TEST_F(LockProcesses, RefusedLocksWaitRetriesTimesTheWait) {
    auto h = Helper();
    ASSERT_EQ(h->Ask("lockrecord orders 5"), "ok 0");
    ASSERT_EQ(h->Ask("endread orders"), "ok");
    ASSERT_EQ(h->Ask("locksem orders 1024"), "ok 1");
    auto local = Local();
    TTableLockState& t = local->State("orders");
    local->Session.WaitTime = 400;
    local->Session.RetryCount = 0;
    EXPECT_LT(Seconds([&] { EXPECT_EQ(ErrorOf([&] { t.LockRecord(5); }), DEZEDE_RECLOCKFAILED); }), 0.35);
    EXPECT_LT(Seconds([&] { EXPECT_FALSE(t.LockSemaphore(1024)); }), 0.35);
    EXPECT_LT(Seconds([&] { EXPECT_EQ(ErrorOf([&] { t.LockTable(); }), DEZEDE_LOCKED); }), 0.35);
    local->Session.WaitTime = 40;
    local->Session.RetryCount = 3;
    EXPECT_GE(Seconds([&] { EXPECT_EQ(ErrorOf([&] { t.LockRecord(5); }), DEZEDE_RECLOCKFAILED); }), 0.12);
    EXPECT_GE(Seconds([&] { EXPECT_FALSE(t.LockSemaphore(1024)); }), 0.12);
    EXPECT_TRUE(t.LockSemaphore(1023));
    EXPECT_EQ(h->Ask("locksem orders 1023"), "ok 0");
    EXPECT_EQ(h->Ask("locksem orders 1025"), "ok 0");
    // The whole-table lock is refused while a record is held, by anyone.
    t.LockRecord(6);
    t.EndRead();
    EXPECT_EQ(h->Ask("locktable orders"), "err 10241");
    t.UnlockRecord(6);
}

TEST_F(LockProcesses, UnlocksInsideATransactionAreKeptUntilItEnds) {
    auto h = Helper();
    auto local = Local();
    TTableLockState& t = local->State("orders");
    ASSERT_EQ(h->Ask("intrans orders 1"), "ok");
    ASSERT_EQ(h->Ask("lockrecord orders 7"), "ok 0");
    ASSERT_EQ(h->Ask("endread orders"), "ok");
    ASSERT_EQ(h->Ask("unlockrecord orders 7"), "ok");
    EXPECT_EQ(ErrorOf([&] { t.LockRecord(7); }), DEZEDE_RECLOCKFAILED);
    ASSERT_EQ(h->Ask("unlockall orders 1"), "ok");  // commit or rollback
    ASSERT_EQ(h->Ask("intrans orders 0"), "ok");
    EXPECT_EQ(ErrorOf([&] { t.LockRecord(7); }), 0);
}

// The transaction's records go back to the system in runs of adjoining bytes;
// a record held outside the set, next to such a run, stays locked.
TEST_F(LockProcesses, ATransactionsRecordLocksGoBackTogetherAtItsEnd) {
    auto h = Helper();
    auto local = Local();
    TTableLockState& t = local->State("orders");
    ASSERT_EQ(h->Ask("intrans orders 1"), "ok");
    for (int r : {4, 5, 6, 7, 9}) ASSERT_EQ(h->Ask("lockrecord orders " + std::to_string(r)), "ok 0") << r;
    ASSERT_EQ(h->Ask("endread orders"), "ok");
    for (int r : {5, 6, 7, 9}) ASSERT_EQ(h->Ask("unlockrecord orders " + std::to_string(r)), "ok") << r;
    ASSERT_EQ(h->Ask("unlockall orders 1"), "ok");
    for (uint32_t r : {5u, 6u, 7u, 9u}) {
        EXPECT_EQ(ErrorOf([&] { t.LockRecord(r); }), 0) << r;
        t.UnlockRecord(r);
    }
    EXPECT_EQ(ErrorOf([&] { t.LockRecord(4); }), DEZEDE_RECLOCKFAILED) << "not released in the transaction";
}

TEST_F(LockProcesses, AKilledProcessLeavesNothingLocked) {
    auto h = Helper();
    const std::string pid = h->Ask("pid").substr(3);
    for (const char* cmd : {"lockrecord orders 5", "endread orders", "locksem orders 3", "locktable users",
                            "beginwrite users", "alltrans"})
        ASSERT_EQ(h->Ask(cmd).substr(0, 2), "ok") << cmd;
    auto local = Local();
    EXPECT_EQ(ErrorOf([&] { local->State("orders").LockRecord(5); }), DEZEDE_RECLOCKFAILED);
    ASSERT_EQ(kill(std::stoi(pid), SIGKILL), 0);
    h.reset();
    EXPECT_EQ(ErrorOf([&] { local->State("orders").LockRecord(5); }), 0);
    EXPECT_TRUE(local->State("orders").LockSemaphore(3));
    EXPECT_EQ(ErrorOf([&] { local->State("users").LockTable(); }), 0);
    EXPECT_EQ(ErrorOf([&] { local->State("users").BeginWrite(); }), 0);
    EXPECT_EQ(ErrorOf([&] { local->Locks().LockAllTrans(); }), 0);
}

// While the creator holds the new lock file exclusively, a second process's
// create fails; it retries the shared open and reads the creator's list.
TEST_F(LockProcesses, TheSecondOpenerWaitsForTheCreatorsList) {
    TEngineFile created(TFileRegistry::Instance(), Dir.File("dezede.lck"));
    created.Create();
    auto h = std::make_unique<THelperProcess>(kHelper);
    std::string answer;
    std::thread opener([&] { answer = h->Ask("open " + Dir.Path()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    uint8_t counter[4];
    StoreLE32s(counter, 1);
    const std::vector<uint8_t> block = BuildLockFileBlock({"users", "orders"});
    {
        TFileAccess access(created);
        created.Seek(kSeekFromStart, 0);
        created.Write(counter, 4);
        created.Write(block.data(), static_cast<uint32_t>(block.size()));
    }
    created.Close();
    opener.join();
    EXPECT_EQ(answer, "ok 0") << "locking is in force";
    EXPECT_EQ(h->Ask("slot orders"), "ok 2") << "the creator's list, not the helper's own listing";
    auto local = Local();
    EXPECT_EQ(h->Ask("beginwrite orders"), "ok 0");
    EXPECT_EQ(ErrorOf([&] { local->State("orders").BeginRead(); }), DEZEDE_READLOCK);
}

TEST_F(LockProcesses, TwoProcessesCreatingTheLockFileAtOnceAgree) {
    for (int round = 0; round < 3; ++round) {
        std::remove(Dir.File("dezede.lck").c_str());
        std::remove(Dir.File("extra.dat").c_str());
        THelperProcess a(kHelper), b(kHelper);
        std::string answerA, answerB;
        std::thread ta([&] { answerA = a.Ask("open " + Dir.Path()); });
        std::thread tb([&] { answerB = b.Ask("open " + Dir.Path()); });
        ta.join();
        tb.join();
        EXPECT_EQ(answerA, "ok 0");
        EXPECT_EQ(answerB, "ok 0");
        EXPECT_EQ(a.Ask("slot users"), b.Ask("slot users"));
        std::ofstream(Dir.File("extra.dat")) << std::string(4, '\0');  // a table created later
        EXPECT_EQ(a.Ask("slot extra"), b.Ask("slot extra"));
        EXPECT_EQ(a.Ask("slot extra"), "ok 3");
        ASSERT_EQ(b.Ask("retries 0 1"), "ok");
        EXPECT_EQ(a.Ask("beginwrite orders"), "ok 0");
        EXPECT_EQ(b.Ask("beginread orders"), "err 10225");
    }
}

TEST_F(LockProcesses, LargeFileSupportLocksOtherBytes) {
    auto large = Helper("lfs");
    auto large2 = Helper("lfs");
    auto local = Local();
    ASSERT_EQ(large->Ask("lockrecord orders 1"), "ok 0");
    ASSERT_EQ(large->Ask("beginwrite users"), "ok 0");
    EXPECT_EQ(large2->Ask("lockrecord orders 1"), "err 10258") << "same setting, same byte";
    EXPECT_EQ(large2->Ask("beginread users"), "err 10225");
    EXPECT_EQ(ErrorOf([&] { local->State("orders").LockRecord(1); }), 0) << "the other setting locks other bytes";
    EXPECT_EQ(ErrorOf([&] { local->State("users").BeginRead(); }), 0);
}

TEST_F(LockProcesses, AChangeIsSeenByTheOthersNextReadLock) {
    auto h = Helper();
    auto local = Local();
    TTableLockState& t = local->State("orders");
    ASSERT_EQ(h->Ask("beginwrite orders"), "ok 0");
    ASSERT_EQ(h->Ask("bump orders"), "ok");
    ASSERT_EQ(h->Ask("endwrite orders"), "ok");
    EXPECT_TRUE(t.BeginRead());
    t.EndRead();
    EXPECT_FALSE(t.BeginRead());
    t.EndRead();
    t.BeginWrite();
    local->Bump("orders");
    t.EndWrite();
    EXPECT_EQ(h->Ask("beginread orders"), "ok 1");
    EXPECT_EQ(h->Ask("endread orders"), "ok");
    EXPECT_EQ(h->Ask("beginread orders"), "ok 0");
}

}  // namespace
}  // namespace dezede::test
