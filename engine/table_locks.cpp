#include "engine/table_locks.h"

#include "engine/directory_locks.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"

namespace dezede {

TDataTableLocks::TDataTableLocks(TDataDirectoryLocks& owner, uint32_t slot, std::string tableName)
    : Owner_(owner), Slot_(slot), TableName_(std::move(tableName)) {
    if (TableName_.size() > 255) TableName_.resize(255);
}

bool TDataTableLocks::ReadLock() {
    if (Flags_ & (kReadLocked | kWriteLocked | kTransLocked)) return false;
    const TTableLockSettings& s = Owner_.Settings();
    const uint32_t got = LockRandomByteWithRetries(Owner_.Locker(), s.Geometry.TableRegionStart(Slot_),
                                                   s.ReadRetryCount, s.ReadWaitTime, s.Random);
    if (got == 0) RaiseError(DEZEDE_READLOCK, {.Table = TableName_, .Database = Owner_.ErrorDatabase()});
    ReadSlot_ = static_cast<uint16_t>(got);
    Flags_ |= kReadLocked;
    return true;
}

void TDataTableLocks::ReadUnlock() {
    if (!(Flags_ & kReadLocked)) return;
    if (!Owner_.Locker().Unlock(Owner_.Geometry().TableReadByte(Slot_, ReadSlot_)))
        RaiseError(DEZEDE_READUNLOCK, {.Table = TableName_, .Database = Owner_.ErrorDatabase()});
    Flags_ &= ~kReadLocked;
    ReadSlot_ = 0;
}

bool TDataTableLocks::WriteLock(bool withTransByte) {
    if (Flags_ & kWriteLocked) return false;
    const TTableLockSettings& s = Owner_.Settings();
    TRegionLocker& locker = Owner_.Locker();
    bool tookTrans = false;
    if (withTransByte && !(Flags_ & kTransLocked)) {
        if (!LockWithRetries(locker, s.Geometry.TransByte(Slot_), s.WriteRetryCount, s.WriteWaitTime))
            RaiseError(DEZEDE_WRITELOCK, {.Table = TableName_, .Database = Owner_.ErrorDatabase()});
        Flags_ |= kTransLocked;
        tookTrans = true;
    }
    if (!LockWithRetries(locker, s.Geometry.TableWriteRegion(Slot_), s.WriteRetryCount, s.WriteWaitTime)) {
        if (tookTrans && locker.Unlock(s.Geometry.TransByte(Slot_))) Flags_ &= ~kTransLocked;
        RaiseError(DEZEDE_WRITELOCK, {.Table = TableName_, .Database = Owner_.ErrorDatabase()});
    }
    Flags_ |= kWriteLocked;
    return tookTrans;
}

void TDataTableLocks::WriteUnlock(bool withTransByte) {
    if (!(Flags_ & kWriteLocked)) return;
    TRegionLocker& locker = Owner_.Locker();
    if (!locker.Unlock(Owner_.Geometry().TableWriteRegion(Slot_)))
        RaiseError(DEZEDE_WRITEUNLOCK, {.Table = TableName_, .Database = Owner_.ErrorDatabase()});
    Flags_ &= ~kWriteLocked;
    if (withTransByte && (Flags_ & kTransLocked)) {
        if (!locker.Unlock(Owner_.Geometry().TransByte(Slot_)))
            RaiseError(DEZEDE_WRITEUNLOCK, {.Table = TableName_, .Database = Owner_.ErrorDatabase()});
        Flags_ &= ~kTransLocked;
    }
}

bool TDataTableLocks::TransLock() {
    if (Flags_ & kTransLocked) return false;
    const TTableLockSettings& s = Owner_.Settings();
    if (!LockWithRetries(Owner_.Locker(), s.Geometry.TransByte(Slot_), s.TransRetryCount, s.TransWaitTime))
        RaiseError(DEZEDE_TRANSLOCK, {.Database = Owner_.ErrorDatabase()});
    Flags_ |= kTransLocked;
    return true;
}

void TDataTableLocks::TransUnlock() {
    if (!(Flags_ & kTransLocked)) return;
    if (!Owner_.Locker().Unlock(Owner_.Geometry().TransByte(Slot_)))
        RaiseError(DEZEDE_TRANSUNLOCK, {.Database = Owner_.ErrorDatabase()});
    Flags_ &= ~kTransLocked;
}

}  // namespace dezede
