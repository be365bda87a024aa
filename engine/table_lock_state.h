#pragma once
// TTableLockState: the locks one shared table object holds, and the
// operations the cursors call on them.
//
//   BeginRead/EndRead, BeginWrite/EndWrite   table locks in the lock file
//   LockRecord/UnlockRecord                  one byte per record in the data file
//   LockTable/UnlockTable                    every record byte at once
//   LockSemaphore/UnlockSemaphore            numbered bytes 1 ... 1,024
//
// Inside a transaction, releases of records and of the whole-table lock are
// postponed: the record moves to the transaction set (or the table to
// "locked in transaction") and its system lock stays until the transaction
// ends (UnlockAllRecords(true)). Waits use the session's LockRetryCount and
// LockWaitTime, read when each call starts, so a caller may change them
// between calls. A table without table locks (opened exclusively or on
// read-only storage) skips every lock but the semaphores.

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "engine/lock_geometry.h"
#include "engine/record_number_set.h"
#include "engine/region_locker.h"

namespace dezede {

class TDataTableLocks;

struct TRecordLockSettings {
    uint8_t RetryCount = 15;
    uint16_t WaitTime = 100;
    bool StrictChangeDetection = false;
};

struct TTableLockConfig {
    TLockGeometry Geometry;
    TRegionLocker* DataFile = nullptr;      // the table's data file
    TDataTableLocks* TableLocks = nullptr;  // none: exclusive or read-only storage
    std::function<TRecordLockSettings()> Session;
    // Rereads the data header and refreshes the caches when another writer
    // moved its change counter; returns whether it refreshed.
    std::function<bool()> CheckForChanges;
    std::string ErrorTable;
    std::string ErrorDatabase;
};

class TTableLockState {
public:
    explicit TTableLockState(TTableLockConfig config);
    TTableLockState(const TTableLockState&) = delete;
    TTableLockState& operator=(const TTableLockState&) = delete;

    TTableLockConfig& Config() { return Config_; }
    TDataTableLocks* TableLocks() const { return Config_.TableLocks; }
    void SetTableLocks(TDataTableLocks* locks) { Config_.TableLocks = locks; }

    // Set by the table while it takes part in a transaction.
    bool InTransaction = false;

    // Each returns whether the caches were refreshed.
    bool BeginRead();
    void EndRead();
    bool BeginWrite();
    void EndWrite();

    // DEZEDE_RECLOCKFAILED for record 0, a record beyond the record-lock span,
    // one held here already, or one not obtained within the retries.
    bool LockRecord(uint32_t record);
    // DEZEDE_UNLOCKFAILED for a record not held, or a failed unlock.
    void UnlockRecord(uint32_t record);
    // Every record (or every one kept for the transaction) in ascending
    // order, then the whole-table lock (or the one kept for the transaction).
    void UnlockAllRecords(bool transactionOnes);

    // DEZEDE_LOCKED when locked whole already, when records are held, or not obtained.
    bool LockTable();
    void UnlockTable();

    // False for numbers outside 1 ... 1,024 and for a semaphore not obtained
    // (also one this object holds already). UnlockSemaphore is false for a
    // number this object does not hold.
    bool LockSemaphore(int32_t n);
    bool UnlockSemaphore(int32_t n);
    void UnlockAllSemaphores();

    // Closing the table: every record, the whole-table lock, every semaphore
    // and any read or write lock still held. Errors are ignored: the locks go
    // with the file handles in any case.
    void ReleaseAll();

    const TRecordNumberSet& RecordLocks() const { return RecordLocks_; }
    const TRecordNumberSet& TransRecordLocks() const { return TransRecordLocks_; }
    const std::set<int32_t>& Semaphores() const { return Semaphores_; }
    bool TableLocked() const { return TableLocked_; }
    bool TableLockedInTrans() const { return TableLockedInTrans_; }
    bool LockedWhole() const { return TableLocked_ || TableLockedInTrans_; }

private:
    TRecordLockSettings Session() const;
    bool Refresh();
    [[noreturn]] void Raise(uint16_t code) const;
    bool UnlockWholeRegion();

    TTableLockConfig Config_;
    TRecordNumberSet RecordLocks_;
    TRecordNumberSet TransRecordLocks_;
    std::set<int32_t> Semaphores_;
    bool TableLocked_ = false;
    bool TableLockedInTrans_ = false;
};

}  // namespace dezede
