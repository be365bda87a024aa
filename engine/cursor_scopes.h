#pragma once
// The position cache and lock scopes of TDataCursor's calls, shared by its implementation files:
// the change check and read lock of a reading call, the write lock of an edit,
// and a record lock taken by one edit. Each releases what it took when the
// scope ends, also on failure.

#include "engine/cursor.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/engine_error.h"
#include "engine/table_locks.h"

namespace dezede {

// A page position remembered with the table's edit stamp; valid while the stamp holds.
struct TDataCursor::TPositionCache {
    bool Valid = false;
    int Index = -1;
    uint64_t Stamp = 0;
    TIndexPosition Pos;
};

// --- The change check of one reading call, and the read lock it may hold ---

class TDataCursor::TReadScope {
public:
    explicit TReadScope(TDataCursor& c, bool strict = false) : C_(c) {
        try {
            C_.CheckForChangeDetection(strict);
        } catch (...) {
            C_.EndReadLock();
            throw;
        }
    }
    ~TReadScope() { C_.EndReadLock(); }
    TReadScope(const TReadScope&) = delete;
    TReadScope& operator=(const TReadScope&) = delete;

private:
    TDataCursor& C_;
};

// The write lock of one edit call (outside a transaction), or the change
// check inside one; the lock is released when the scope ends, also on failure.
class TDataCursor::TWriteScope {
public:
    explicit TWriteScope(TDataCursor& c) : C_(c) {
        TDataTable& t = *C_.Table_;
        if (t.InTransaction() || C_.NoLocks()) {
            try {
                C_.CheckForChangeDetection(false);
            } catch (...) {
                C_.EndReadLock();
                throw;
            }
            C_.EndReadLock();
            return;
        }
        TDataTableLocks* locks = t.TableLocks();
        const bool willTake = locks && !t.Locking().LockedWhole() && !locks->Holds(TDataTableLocks::kWriteLocked);
        try {
            const bool refreshed = t.BeginWrite();
            Took_ = willTake;
            if (!C_.StatementUpdate_ && (refreshed || C_.CountersMoved())) C_.Resynchronise();
        } catch (...) {
            // A refresh that fails after the lock was taken gives it back.
            if (willTake && locks->Holds(TDataTableLocks::kWriteLocked)) Took_ = true;
            Release();
            throw;
        }
    }
    ~TWriteScope() { Release(); }
    void Release() {
        if (!Took_) return;
        Took_ = false;
        try {
            C_.Table_->EndWrite();
        } catch (const EDEZEDEEngineError&) {
            // The lock goes with the file handle at the latest.
        }
    }
    TWriteScope(const TWriteScope&) = delete;
    TWriteScope& operator=(const TWriteScope&) = delete;

private:
    TDataCursor& C_;
    bool Took_ = false;
};

// Holds a record lock taken by one edit call and releases it at the end.
class TDataCursor::TRecordLockScope {
public:
    TRecordLockScope(TDataCursor& c, uint32_t recNo) : C_(c), RecNo_(recNo) {
        if (C_.NoLocks() || C_.Table_->Locking().RecordLocks().count(recNo)) return;
        C_.LockRecordOnly(recNo);
        Took_ = true;
    }
    ~TRecordLockScope() { Release(); }
    TRecordLockScope(const TRecordLockScope&) = delete;
    TRecordLockScope& operator=(const TRecordLockScope&) = delete;
    bool Took() const { return Took_; }
    void Keep() { Took_ = false; }
    void Release() {
        if (!Took_) return;
        Took_ = false;
        try {
            C_.Table_->UnlockRecord(RecNo_);
        } catch (const EDEZEDEEngineError&) {
        }
    }

private:
    TDataCursor& C_;
    uint32_t RecNo_;
    bool Took_ = false;
};

// Marks the session as running an event handler of the engine for the scope.
class TCallbackScope {
public:
    explicit TCallbackScope(TDataSession& s) : S_(s), Was_(s.InCallback()) { S_.SetInCallback(true); }
    ~TCallbackScope() { S_.SetInCallback(Was_); }
    TCallbackScope(const TCallbackScope&) = delete;
    TCallbackScope& operator=(const TCallbackScope&) = delete;

private:
    TDataSession& S_;
    bool Was_;
};


}  // namespace dezede
