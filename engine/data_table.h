#pragma once
// TDataTable: one physical table open in one directory of one session,
// shared by every cursor on it there (a user count). It owns the table's
// three files, its lock-file slot and the locks it holds (record locks, the
// whole-table lock, semaphores: engine/table_lock_state.h).

#include <cstdint>
#include <memory>
#include <string>

#include "engine/table_lock_state.h"

namespace dezede {

class TDataDirectory;
class TDataTableLocks;

class TDataTable {
public:
    TDataTable(TDataDirectory& directory, std::string name, std::string displayName, bool exclusive, bool temporary);
    virtual ~TDataTable();
    TDataTable(const TDataTable&) = delete;
    TDataTable& operator=(const TDataTable&) = delete;

    TDataDirectory& Directory() const { return Directory_; }
    const std::string& Name() const { return Name_; }
    const std::string& DisplayName() const { return DisplayName_; }
    uint16_t UserCount() const { return UserCount_; }
    bool IsOpen() const { return Open_; }
    bool Exclusive() const { return Exclusive_; }
    bool ReadOnly() const { return ReadOnly_; }
    bool ReadOnlyStorage() const { return ReadOnlyStorage_; }
    bool Temporary() const { return Temporary_; }
    bool InTransaction() const { return Locking_.InTransaction; }

    // The lock-file slot's entry; null for exclusive tables and read-only storage.
    TDataTableLocks* TableLocks() const { return Locking_.TableLocks(); }
    TTableLockState& Locking() { return Locking_; }

    // --- Locks (engine/table_lock_state.h) ---
    bool BeginRead() { return Locking_.BeginRead(); }
    void EndRead() { Locking_.EndRead(); }
    bool BeginWrite() { return Locking_.BeginWrite(); }
    void EndWrite() { Locking_.EndWrite(); }
    bool LockRecord(uint32_t record) { return Locking_.LockRecord(record); }
    void UnlockRecord(uint32_t record) { Locking_.UnlockRecord(record); }
    void UnlockAllRecords(bool transactionOnes) { Locking_.UnlockAllRecords(transactionOnes); }
    bool LockTable() { return Locking_.LockTable(); }
    void UnlockTable() { Locking_.UnlockTable(); }
    bool LockSemaphore(int32_t n) { return Locking_.LockSemaphore(n); }
    bool UnlockSemaphore(int32_t n) { return Locking_.UnlockSemaphore(n); }
    void UnlockAllSemaphores() { Locking_.UnlockAllSemaphores(); }

protected:
    TDataDirectory& Directory_;
    std::string Name_;
    std::string DisplayName_;
    uint16_t UserCount_ = 0;
    bool Open_ = false;
    bool Exclusive_ = false;
    bool ReadOnly_ = false;
    bool ReadOnlyStorage_ = false;
    bool Temporary_ = false;
    TTableLockState Locking_;
};

}  // namespace dezede
