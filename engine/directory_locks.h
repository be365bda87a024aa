#pragma once
// TDataDirectoryLocks: a directory's lock file and the locks on it. The file
// holds only the list of table names that gives every shared table its slot
// (engine/lock_file_list.h); its byte-range locks (engine/lock_geometry.h)
// carry the table read, write and transaction locks and guard the list.
//
// Opening: a missing lock file is created exclusively and filled with every
// table present; otherwise (or after creating) it is opened shared, up to 11
// attempts 100 ms apart while a creator still holds it exclusively. A lock file
// that cannot be created or opened, or that is read-only, puts the directory
// in no-locking mode: every lock and unlock on the lock file succeeds at once
// and new slots are kept in memory only. The list is reread only when its
// change counter moved, and read and extended only under the lock-file read
// or write lock.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/lock_geometry.h"
#include "engine/region_locker.h"
#include "engine/table_locks.h"

namespace dezede {

class TEngineFile;
class TFileRegistry;

// Waits (ms) and retry counts of the table-level locks, and the geometry.
struct TTableLockSettings {
    TLockGeometry Geometry;
    uint16_t ReadWaitTime = 3;
    uint16_t ReadRetryCount = 32768;
    uint16_t WriteWaitTime = 3;
    uint16_t WriteRetryCount = 32768;
    uint16_t TransWaitTime = 3;
    uint16_t TransRetryCount = 32768;
    // The lock-file read and write locks (fixed by the protocol).
    uint16_t LockFileWaitTime = 3;
    uint16_t LockFileRetryCount = 32768;
    TRandomSource Random;  // empty: DefaultRandom
};

struct TDirectoryLocksConfig {
    std::string LockFilePath;   // directory path + lock file name
    bool InMemory = false;      // the lock file is an in-memory file
    std::string ErrorDatabase;  // the directory as errors name it
    TTableLockSettings Settings;
    // The tables present in the directory, in listing order; asked only when
    // the lock file is created.
    std::function<std::vector<std::string>()> ListTables;
};

class TDataDirectoryLocks : private TRegionLocker {
public:
    static constexpr int kOpenAttempts = 11;
    static constexpr uint32_t kOpenRetryWaitMs = 100;

    TDataDirectoryLocks(TFileRegistry& registry, TDirectoryLocksConfig config);
    ~TDataDirectoryLocks() override;
    TDataDirectoryLocks(const TDataDirectoryLocks&) = delete;
    TDataDirectoryLocks& operator=(const TDataDirectoryLocks&) = delete;

    // Opens or creates the lock file and loads the list. Never raises: a lock
    // file that cannot be had means no-locking mode.
    void OpenLockFile();
    // Closes the lock file; every lock this object held on it goes with it.
    void CloseLockFile();

    bool NoLocking() const { return NoLocking_; }
    bool LockFileOpen() const;
    int32_t CachedChangeCounter() const { return CachedCounter_; }
    const TTableLockSettings& Settings() const { return Config_.Settings; }
    // The engine's table-lock settings may change while the directory is open.
    TTableLockSettings& Settings() { return Config_.Settings; }
    const TLockGeometry& Geometry() const { return Config_.Settings.Geometry; }
    const std::string& ErrorDatabase() const { return Config_.ErrorDatabase; }
    const std::string& LockFilePath() const { return Config_.LockFilePath; }

    // The entry of a table (names compare ignoring case), appended with the
    // next slot when new. DEZEDE_LOCKWRITELOCK / DEZEDE_LOCKWRITEUNLOCK around
    // it, DEZEDE_DATABASEFULL past 4,096 slots.
    TDataTableLocks& GetTableLocks(const std::string& tableName);
    // Entries known to this object, in slot order.
    const std::vector<std::unique_ptr<TDataTableLocks>>& Entries() const { return Entries_; }
    // Rereads the list under the lock-file read lock (for callers that want
    // to see slots added by others without adding one).
    void RefreshList();

    // The all-slot locks used by full transactions. Failures raise
    // DEZEDE_TRANSLOCK / DEZEDE_TRANSUNLOCK.
    void LockAllTrans();
    void UnlockAllTrans();
    void LockAllWrite();
    void UnlockAllWrite();
    bool HoldsAllTrans() const { return AllTrans_; }
    bool HoldsAllWrite() const { return AllWrite_; }

    // The lock primitive on the lock file; succeeds at once in no-locking mode.
    TRegionLocker& Locker() { return *this; }

private:
    bool LockRegion(uint64_t offset, uint64_t length) override;
    bool UnlockRegion(uint64_t offset, uint64_t length) override;

    void LockFileReadLock();
    void LockFileReadUnlock();
    void LockFileWriteLock();
    void LockFileWriteUnlock();
    // Runs `body` under the lock-file write or read lock. A failing body
    // still has the lock released; its own error is the one raised.
    template <typename Body>
    void UnderLockFileLock(bool write, Body body);
    // False while the file lists nothing yet (empty or cut short).
    bool ReadList();
    void WriteList();
    // Writes the change counter and the list of the entries to the lock file.
    void WriteListTo(TEngineFile& file, int32_t counter) const;
    void AddEntry(const std::string& name);
    // An all-slot lock taken or released: the region, the member that records
    // it and the flag it sets in every entry.
    void LockAllSlots(const TLockRegion& region, uint32_t retries, uint32_t waitMs, bool& held, uint8_t flag);
    void UnlockAllSlots(const TLockRegion& region, bool& held, uint8_t flag);

    TFileRegistry& Registry_;
    TDirectoryLocksConfig Config_;
    std::unique_ptr<TEngineFile> File_;
    bool NoLocking_ = false;
    int32_t CachedCounter_ = 0;
    uint16_t HeaderReadSlot_ = 0;
    bool AllTrans_ = false;
    bool AllWrite_ = false;
    std::vector<std::unique_ptr<TDataTableLocks>> Entries_;
};

}  // namespace dezede
