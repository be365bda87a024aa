#pragma once
// TDataTableLocks: one table slot of a directory's lock file, and the table
// read, write and transaction locks this directory object holds on it.
// The flags describe what this object holds, never what others hold.
//
//   read lock     one random byte of the slot's table region
//   write lock    the whole table region (excludes every reader)
//   transaction   the slot's transaction byte
//
// A failed lock leaves the flags as they were (a write lock gives back the
// transaction byte it took first) and raises the engine error of its kind.

#include <cstdint>
#include <string>

namespace dezede {

class TDataDirectoryLocks;

class TDataTableLocks {
public:
    static constexpr uint8_t kReadLocked = 1;
    static constexpr uint8_t kWriteLocked = 2;
    static constexpr uint8_t kTransLocked = 4;

    TDataTableLocks(TDataDirectoryLocks& owner, uint32_t slot, std::string tableName);
    TDataTableLocks(const TDataTableLocks&) = delete;
    TDataTableLocks& operator=(const TDataTableLocks&) = delete;

    TDataDirectoryLocks& DirectoryLocks() const { return Owner_; }
    uint32_t Slot() const { return Slot_; }
    const std::string& TableName() const { return TableName_; }
    uint8_t Flags() const { return Flags_; }
    bool Holds(uint8_t flag) const { return (Flags_ & flag) != 0; }
    uint16_t ReadSlot() const { return ReadSlot_; }

    // True when this call took the read lock; false (and nothing done) when a
    // read, write or transaction lock is held already. DEZEDE_READLOCK.
    bool ReadLock();
    // Only when the read lock is held. DEZEDE_READUNLOCK.
    void ReadUnlock();
    // Takes the transaction byte first when asked and not held; true only when
    // this call took it. DEZEDE_WRITELOCK.
    bool WriteLock(bool withTransByte);
    // Only when the write lock is held. DEZEDE_WRITEUNLOCK.
    void WriteUnlock(bool withTransByte);
    // False when held already. DEZEDE_TRANSLOCK / DEZEDE_TRANSUNLOCK.
    bool TransLock();
    void TransUnlock();

    // Records a lock held through a region that covers this slot (the
    // all-slot locks of a full transaction).
    void SetHeld(uint8_t flag, bool held) { Flags_ = held ? (Flags_ | flag) : (Flags_ & ~flag); }

private:
    friend class TDataDirectoryLocks;  // the all-slot locks set and clear flags

    TDataDirectoryLocks& Owner_;
    uint32_t Slot_;
    std::string TableName_;
    uint8_t Flags_ = 0;
    uint16_t ReadSlot_ = 0;
};

}  // namespace dezede
