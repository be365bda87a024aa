// The locks of shared tables between two sessions of one process: they share
// the process's file objects and exclude each other through its region lists
// exactly as two processes do.

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "engine/engine_error.h"
#include "tests/helpers/lock_session.h"
#include "tests/helpers/temp_dir.h"
#include "test_errors.h"

namespace dezede::test {
namespace {

// Counts the attempts on a table's data file and remembers the regions asked for.
class TCountingLocker : public TRegionLocker {
public:
    explicit TCountingLocker(TRegionLocker& inner) : Inner_(inner) {}
    bool LockRegion(uint64_t offset, uint64_t length) override {
        ++Locks;
        Last = {offset, length};
        return Inner_.LockRegion(offset, length);
    }
    bool UnlockRegion(uint64_t offset, uint64_t length) override { return Inner_.UnlockRegion(offset, length); }
    int Locks = 0;
    TLockRegion Last;

private:
    TRegionLocker& Inner_;
};

class TableLockState : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"orders.dat", "users.dat"}) std::ofstream(Dir.File(name)) << "\0\0\0\0";
        for (auto* s : {&A, &B, &C}) {
            s->Locks().OpenLockFile();
            s->SetTableLockRetries(0, 1);
            s->Session.RetryCount = 0;
            s->Session.WaitTime = 1;
        }
    }
    TLockSession& Counted(TLockSession& s, TCountingLocker** counter) {
        TTableLockState& state = s.State("orders");
        Counters.push_back(std::make_unique<TCountingLocker>(*state.Config().DataFile));
        state.Config().DataFile = Counters.back().get();
        *counter = Counters.back().get();
        return s;
    }

    // Declared first: the sessions' tables point at the counters until they go.
    std::vector<std::unique_ptr<TCountingLocker>> Counters;
    TTempDir Dir;
    TLockSession A{TFileRegistry::Instance(), Dir.Path()};
    TLockSession B{TFileRegistry::Instance(), Dir.Path()};
    TLockSession C{TFileRegistry::Instance(), Dir.Path()};
};

TEST_F(TableLockState, ReadersShareAWriterExcludesThem) {
    TTableLockState &a = A.State("orders"), &b = B.State("orders"), &c = C.State("orders");
    a.BeginRead();
    b.BeginRead();
    EXPECT_EQ(ErrorOf([&] { c.BeginWrite(); }), DEZEDE_WRITELOCK);
    EXPECT_EQ(c.TableLocks()->Flags(), 0) << "a refused write lock gives back the transaction byte";
    EXPECT_TRUE(c.TableLocks()->TransLock()) << "the transaction byte is free again";
    c.TableLocks()->TransUnlock();
    a.EndRead();
    b.EndRead();
    c.BeginWrite();
    EXPECT_EQ(ErrorOf([&] { a.BeginRead(); }), DEZEDE_READLOCK);
    EXPECT_EQ(a.TableLocks()->Flags(), 0);
    // Other tables are not affected.
    EXPECT_EQ(ErrorOf([&] { A.State("users").BeginRead(); }), 0);
    A.State("users").EndRead();
    c.EndWrite();
    EXPECT_EQ(ErrorOf([&] { a.BeginRead(); }), 0);
    a.EndRead();
}

TEST_F(TableLockState, WriterOutsideATransactionWaitsForTheTransactionByte) {
    TTableLockState &a = A.State("orders"), &b = B.State("orders");
    ASSERT_TRUE(a.TableLocks()->TransLock());
    EXPECT_FALSE(a.TableLocks()->TransLock()) << "held already";
    EXPECT_EQ(ErrorOf([&] { b.BeginWrite(); }), DEZEDE_WRITELOCK);
    b.InTransaction = true;  // inside a transaction only the table region is taken
    EXPECT_EQ(ErrorOf([&] { b.BeginWrite(); }), 0);
    b.EndWrite();
    b.InTransaction = false;
    a.TableLocks()->TransUnlock();
    EXPECT_EQ(ErrorOf([&] { b.BeginWrite(); }), 0);
    EXPECT_EQ(b.TableLocks()->Flags(), TDataTableLocks::kWriteLocked | TDataTableLocks::kTransLocked);
    EXPECT_EQ(ErrorOf([&] { a.TableLocks()->TransLock(); }), DEZEDE_TRANSLOCK);
    b.EndWrite();
    EXPECT_EQ(b.TableLocks()->Flags(), 0);
}

TEST_F(TableLockState, AllSlotLocksCoverEveryTable) {
    A.State("orders");
    A.Locks().LockAllTrans();
    EXPECT_EQ(ErrorOf([&] { B.State("users").TableLocks()->TransLock(); }), DEZEDE_TRANSLOCK);
    EXPECT_TRUE(A.State("orders").TableLocks()->Holds(TDataTableLocks::kTransLocked));
    A.Locks().LockAllWrite();
    EXPECT_EQ(ErrorOf([&] { B.State("orders").BeginRead(); }), DEZEDE_READLOCK);
    EXPECT_EQ(ErrorOf([&] { C.Locks().LockAllWrite(); }), DEZEDE_TRANSLOCK);
    A.Locks().UnlockAllWrite();
    A.Locks().UnlockAllTrans();
    EXPECT_EQ(A.State("orders").TableLocks()->Flags(), 0);
    EXPECT_EQ(ErrorOf([&] { B.State("orders").BeginRead(); }), 0);
    B.State("orders").EndRead();
}

// A lock held elsewhere fails after exactly retries + 1 attempts.
TEST_F(TableLockState, RefusedLocksTryRetriesPlusOneTimes) {
    TTableLockState& holder = A.State("orders");
    ASSERT_FALSE(holder.LockRecord(5));
    ASSERT_TRUE(holder.LockSemaphore(9));
    TCountingLocker* counter = nullptr;
    TTableLockState& b = Counted(B, &counter).State("orders");
    for (uint8_t retries : {0, 3}) {
        B.Session.RetryCount = retries;
        const int want = retries + 1;
        counter->Locks = 0;
        EXPECT_EQ(ErrorOf([&] { b.LockRecord(5); }), DEZEDE_RECLOCKFAILED);
        EXPECT_EQ(counter->Locks, want) << "record, retries " << int(retries);
        counter->Locks = 0;
        EXPECT_FALSE(b.LockSemaphore(9));
        EXPECT_EQ(counter->Locks, want) << "semaphore, retries " << int(retries);
        counter->Locks = 0;
        EXPECT_EQ(ErrorOf([&] { b.LockTable(); }), DEZEDE_LOCKED);
        EXPECT_EQ(counter->Locks, want) << "whole table, retries " << int(retries);
        EXPECT_TRUE(b.RecordLocks().empty());
        EXPECT_FALSE(b.TableLocked());
        EXPECT_EQ(b.TableLocks()->Flags(), 0) << "the read lock taken for the record lock is given back";
    }
}

TEST_F(TableLockState, SemaphoreNumbers) {
    TCountingLocker* counter = nullptr;
    TTableLockState& a = Counted(A, &counter).State("orders");
    TTableLockState& b = B.State("orders");
    for (int32_t n : {0, 1025, -1, -1024}) EXPECT_FALSE(a.LockSemaphore(n)) << n;
    EXPECT_EQ(counter->Locks, 0) << "out-of-range numbers touch no file";
    ASSERT_TRUE(a.LockSemaphore(1024));
    const TLockGeometry g = TLockGeometry::For(false);
    EXPECT_EQ(counter->Last, (TLockRegion{g.LockBase - g.RecordLockSpan - 1024, 1}));
    A.Session.RetryCount = 2;
    counter->Locks = 0;
    EXPECT_FALSE(a.LockSemaphore(1024)) << "one's own semaphore is refused like anybody's";
    EXPECT_EQ(counter->Locks, 3);
    EXPECT_FALSE(b.LockSemaphore(1024));
    EXPECT_TRUE(b.LockSemaphore(1023));
    EXPECT_FALSE(a.UnlockSemaphore(1023)) << "not held here";
    EXPECT_FALSE(a.UnlockSemaphore(0));
    EXPECT_TRUE(a.UnlockSemaphore(1024));
    EXPECT_TRUE(b.LockSemaphore(1024));
    EXPECT_EQ(b.Semaphores(), (std::set<int32_t>{1023, 1024}));
    b.UnlockAllSemaphores();
    EXPECT_TRUE(b.Semaphores().empty());
    EXPECT_TRUE(a.LockSemaphore(1023));
}

TEST_F(TableLockState, RecordLockErrorsRaiseAtOnce) {
    TCountingLocker* counter = nullptr;
    TTableLockState& a = Counted(A, &counter).State("orders");
    A.Session.RetryCount = 5;
    A.Session.WaitTime = 200;
    ASSERT_FALSE(a.LockRecord(3));
    counter->Locks = 0;
    const struct {
        uint32_t record;
        uint16_t code;
    } cases[] = {{3, DEZEDE_RECLOCKFAILED}, {0, DEZEDE_RECLOCKFAILED}, {200000001, DEZEDE_RECLOCKFAILED}};
    for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { a.LockRecord(c.record); }), c.code) << c.record;
    EXPECT_EQ(counter->Locks, 0) << "no attempt, no retries";
    EXPECT_EQ(ErrorOf([&] { a.UnlockRecord(4); }), DEZEDE_UNLOCKFAILED);
    EXPECT_EQ(ErrorOf([&] { a.UnlockRecord(0); }), DEZEDE_UNLOCKFAILED);
    EXPECT_EQ(ErrorOf([&] { a.LockTable(); }), DEZEDE_LOCKED) << "a record is locked";
    EXPECT_EQ(counter->Locks, 0);
    a.UnlockRecord(3);
    EXPECT_EQ(ErrorOf([&] { a.UnlockRecord(3); }), DEZEDE_UNLOCKFAILED);
}

TEST_F(TableLockState, WholeTableLockCoversEveryRecord) {
    TCountingLocker* counter = nullptr;
    TTableLockState& a = Counted(A, &counter).State("orders");
    TTableLockState& b = B.State("orders");
    ASSERT_FALSE(b.LockRecord(8));
    EXPECT_EQ(ErrorOf([&] { a.LockTable(); }), DEZEDE_LOCKED) << "another session holds a record";
    b.UnlockRecord(8);
    a.LockTable();
    counter->Locks = 0;
    EXPECT_FALSE(a.LockRecord(8));
    EXPECT_EQ(counter->Locks, 0) << "covered by the whole-table lock";
    EXPECT_EQ(ErrorOf([&] { a.LockTable(); }), DEZEDE_LOCKED);
    EXPECT_EQ(ErrorOf([&] { b.LockRecord(200000000); }), DEZEDE_RECLOCKFAILED);
    EXPECT_EQ(ErrorOf([&] { b.LockRecord(1); }), DEZEDE_RECLOCKFAILED);
    EXPECT_TRUE(b.LockSemaphore(1)) << "semaphores lie outside the record bytes";
    a.UnlockTable();
    EXPECT_EQ(ErrorOf([&] { b.LockRecord(1); }), 0);
}

TEST_F(TableLockState, UnlocksInsideATransactionWaitForItsEnd) {
    TTableLockState &a = A.State("orders"), &b = B.State("orders");
    for (bool commit : {true, false}) {
        a.InTransaction = true;
        a.LockRecord(7);
        a.UnlockRecord(7);
        EXPECT_EQ(a.TransRecordLocks().Numbers(), (std::vector<uint32_t>{7}));
        EXPECT_EQ(ErrorOf([&] { b.LockRecord(7); }), DEZEDE_RECLOCKFAILED) << "still locked";
        TCountingLocker* counter = nullptr;
        if (commit) {
            Counted(A, &counter);
            a.LockRecord(7);
            EXPECT_EQ(counter->Locks, 0) << "locked again without a new system lock";
            EXPECT_TRUE(a.TransRecordLocks().empty());
            a.UnlockRecord(7);
        }
        a.UnlockAllRecords(true);  // the end of the transaction
        a.InTransaction = false;
        EXPECT_EQ(ErrorOf([&] { b.LockRecord(7); }), 0);
        b.UnlockRecord(7);
    }
    a.InTransaction = true;
    a.LockTable();
    a.UnlockTable();
    EXPECT_TRUE(a.TableLockedInTrans());
    EXPECT_FALSE(a.LockRecord(9)) << "the kept whole-table lock still covers records";
    EXPECT_EQ(ErrorOf([&] { b.LockTable(); }), DEZEDE_LOCKED);
    a.UnlockAllRecords(true);
    a.InTransaction = false;
    EXPECT_FALSE(a.LockedWhole());
    EXPECT_EQ(ErrorOf([&] { b.LockTable(); }), 0);
}

TEST_F(TableLockState, ANewReadLockSeesAnotherWritersChange) {
    TTableLockState &a = A.State("orders"), &b = B.State("orders");
    EXPECT_FALSE(b.BeginRead()) << "nothing changed yet";
    b.EndRead();
    a.BeginWrite();
    A.Bump("orders");
    a.EndWrite();
    EXPECT_TRUE(b.BeginRead());
    EXPECT_FALSE(b.BeginRead()) << "already held: no second check";
    b.EndRead();
    EXPECT_FALSE(b.BeginRead());
    b.EndRead();
    // A record lock reports the refresh of the read lock it takes first.
    a.BeginWrite();
    A.Bump("orders");
    a.EndWrite();
    EXPECT_TRUE(b.LockRecord(2));
    b.EndRead();
}

TEST_F(TableLockState, LargeFileSupportLocksOtherBytes) {
    TLockSession large(TFileRegistry::Instance(), Dir.Path(), "large.lck", true);
    large.Locks().OpenLockFile();
    large.Session.RetryCount = 0;
    TTableLockState& a = A.State("orders");
    TTableLockState& l = large.State("orders");
    EXPECT_EQ(ErrorOf([&] { a.LockRecord(1); }), 0);
    EXPECT_EQ(ErrorOf([&] { l.LockRecord(1); }), 0);
    EXPECT_TRUE(a.LockSemaphore(1));
    EXPECT_TRUE(l.LockSemaphore(1));
    EXPECT_EQ(ErrorOf([&] { l.LockRecord(1000000000); }), 0);
    EXPECT_EQ(ErrorOf([&] { l.LockRecord(1000000001); }), DEZEDE_RECLOCKFAILED);
}

}  // namespace
}  // namespace dezede::test
