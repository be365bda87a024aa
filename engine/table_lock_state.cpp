#include "engine/table_lock_state.h"

#include <vector>

#include "engine/engine_error.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/table_locks.h"

namespace dezede {

TTableLockState::TTableLockState(TTableLockConfig config) : Config_(std::move(config)) {}

TRecordLockSettings TTableLockState::Session() const {
    return Config_.Session ? Config_.Session() : TRecordLockSettings{};
}

bool TTableLockState::Refresh() { return Config_.CheckForChanges ? Config_.CheckForChanges() : false; }

void TTableLockState::Raise(uint16_t code) const {
    RaiseError(code, {.Table = Config_.ErrorTable, .Database = Config_.ErrorDatabase});
}

// --- Table read and write locks ---

bool TTableLockState::BeginRead() {
    if (!Config_.TableLocks || LockedWhole()) return false;
    return Config_.TableLocks->ReadLock() ? Refresh() : false;
}

void TTableLockState::EndRead() {
    if (!Config_.TableLocks || LockedWhole()) return;
    Config_.TableLocks->ReadUnlock();
}

bool TTableLockState::BeginWrite() {
    if (!Config_.TableLocks || LockedWhole()) return false;
    // Outside a transaction the writer also waits for any transaction that
    // holds the table's transaction byte.
    return Config_.TableLocks->WriteLock(!InTransaction) ? Refresh() : false;
}

void TTableLockState::EndWrite() {
    if (!Config_.TableLocks || LockedWhole()) return;
    Config_.TableLocks->WriteUnlock(!InTransaction);
}

// --- Record locks ---

bool TTableLockState::LockRecord(uint32_t record) {
    if (!Config_.TableLocks || LockedWhole()) return false;
    // A record beyond the span would lock a semaphore's byte instead.
    if (record == 0 || record > Config_.Geometry.RecordLockSpan || RecordLocks_.count(record))
        Raise(DEZEDE_RECLOCKFAILED);
    bool refreshed = false;
    if (!TransRecordLocks_.count(record)) {
        const TRecordLockSettings s = Session();
        if (!s.StrictChangeDetection) refreshed = BeginRead();
        const TLockRegion byte = Config_.Geometry.RecordByte(record);
        for (uint32_t failed = 0; !Config_.DataFile->Lock(byte);) {
            EndRead();
            if (++failed > s.RetryCount) Raise(DEZEDE_RECLOCKFAILED);
            LockRetrySleep(s.WaitTime);
            if (!s.StrictChangeDetection) refreshed = BeginRead() || refreshed;
        }
    }
    RecordLocks_.insert(record);
    // Released inside the transaction and locked again: still held by the system.
    TransRecordLocks_.erase(record);
    return refreshed;
}

void TTableLockState::UnlockRecord(uint32_t record) {
    if (!Config_.TableLocks || LockedWhole()) return;
    const bool held = RecordLocks_.count(record) != 0;
    if (record == 0 || (!held && !TransRecordLocks_.count(record))) Raise(DEZEDE_UNLOCKFAILED);
    if (InTransaction) {
        if (held) {
            RecordLocks_.erase(record);
            TransRecordLocks_.insert(record);
        }
        return;
    }
    if (!Config_.DataFile->Unlock(Config_.Geometry.RecordByte(record))) Raise(DEZEDE_UNLOCKFAILED);
    RecordLocks_.erase(record);
    TransRecordLocks_.erase(record);
}

void TTableLockState::UnlockAllRecords(bool transactionOnes) {
    if (!Config_.TableLocks) return;
    bool failed = false;
    if (transactionOnes) {
        // The records a transaction appended lie side by side, so their bytes
        // mostly go back to the system in a few calls.
        const std::vector<uint32_t> records = TransRecordLocks_.Numbers();
        std::vector<TLockRegion> bytes;
        bytes.reserve(records.size());
        for (uint32_t record : records) bytes.push_back(Config_.Geometry.RecordByte(record));
        const std::vector<TLockRegion> kept = Config_.DataFile->UnlockRegions(bytes);
        failed = !kept.empty();
        std::set<uint64_t> keptBytes;
        for (const TLockRegion& r : kept) keptBytes.insert(r.Offset);
        for (uint32_t record : records)
            if (!keptBytes.contains(Config_.Geometry.RecordByte(record).Offset)) TransRecordLocks_.erase(record);
        if (TableLockedInTrans_) {
            if (UnlockWholeRegion()) {
                TableLocked_ = TableLockedInTrans_ = false;
            } else {
                failed = true;
            }
        }
    } else {
        const std::vector<uint32_t> records = RecordLocks_.Numbers();
        for (uint32_t record : records) {
            try {
                UnlockRecord(record);
            } catch (const EDEZEDEEngineError&) {
                failed = true;
            }
        }
        if (TableLocked_) UnlockTable();
    }
    if (failed) Raise(DEZEDE_UNLOCKFAILED);
}

// --- Whole-table lock ---

bool TTableLockState::UnlockWholeRegion() { return Config_.DataFile->Unlock(Config_.Geometry.AllRecordsRegion()); }

bool TTableLockState::LockTable() {
    if (!Config_.TableLocks) return false;
    if (TableLocked_ || !RecordLocks_.empty() || !TransRecordLocks_.empty()) Raise(DEZEDE_LOCKED);
    if (!TableLockedInTrans_) {
        const TRecordLockSettings s = Session();
        if (!LockWithRetries(*Config_.DataFile, Config_.Geometry.AllRecordsRegion(), s.RetryCount, s.WaitTime))
            Raise(DEZEDE_LOCKED);
    }
    bool refreshed = false;
    if (Config_.TableLocks->Flags() == 0) {
        try {
            refreshed = Refresh();
        } catch (...) {
            if (!TableLockedInTrans_) UnlockWholeRegion();
            throw;
        }
    }
    TableLocked_ = true;
    TableLockedInTrans_ = false;
    return refreshed;
}

void TTableLockState::UnlockTable() {
    if (!Config_.TableLocks || !LockedWhole()) return;
    if (InTransaction) {
        TableLocked_ = false;
        TableLockedInTrans_ = true;
        return;
    }
    if (!UnlockWholeRegion()) Raise(DEZEDE_UNLOCKFAILED);
    TableLocked_ = TableLockedInTrans_ = false;
}

// --- Semaphores ---

bool TTableLockState::LockSemaphore(int32_t n) {
    if (!Config_.DataFile || n <= 0 || n > static_cast<int32_t>(TLockGeometry::kMaxSemaphore)) return false;
    const TRecordLockSettings s = Session();
    if (!LockWithRetries(*Config_.DataFile, Config_.Geometry.SemaphoreByte(static_cast<uint32_t>(n)), s.RetryCount,
                         s.WaitTime))
        return false;
    Semaphores_.insert(n);
    return true;
}

bool TTableLockState::UnlockSemaphore(int32_t n) {
    // Sessions of one process share the file's region list: without this
    // check one session could release another one's semaphore.
    if (!Config_.DataFile || !Semaphores_.count(n)) return false;
    if (!Config_.DataFile->Unlock(Config_.Geometry.SemaphoreByte(static_cast<uint32_t>(n)))) return false;
    Semaphores_.erase(n);
    return true;
}

void TTableLockState::UnlockAllSemaphores() {
    const std::set<int32_t> held = Semaphores_;
    for (int32_t n : held) UnlockSemaphore(n);
}

void TTableLockState::ReleaseAll() {
    const bool wasInTransaction = InTransaction;
    InTransaction = false;
    try {
        UnlockAllRecords(true);
    } catch (const EDEZEDEEngineError&) {
    }
    try {
        UnlockAllRecords(false);
    } catch (const EDEZEDEEngineError&) {
    }
    UnlockAllSemaphores();
    if (TDataTableLocks* locks = Config_.TableLocks) {
        try {
            locks->ReadUnlock();
        } catch (const EDEZEDEEngineError&) {
        }
        try {
            locks->WriteUnlock(!wasInTransaction);
        } catch (const EDEZEDEEngineError&) {
        }
    }
}

}  // namespace dezede
