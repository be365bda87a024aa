#pragma once
// TDataTable: one physical table open in one directory of one session,
// shared by every cursor on it there (a user count). It owns the table's
// three files, its lock-file slot and the locks it holds (record locks, the
// whole-table lock, semaphores: engine/table_lock_state.h), and is the table
// of its files' buffer caches.
//
// Writing changes follows one fixed order: dirty buffers and headers of the
// data file, then of the index file, then of the BLOB file, and the data
// header once more when only the others were written, so that the data
// header's change counter moves whenever any file changed. Inside a
// transaction nothing is written until commit.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/buffered_file.h"
#include "engine/engine_file_locker.h"
#include "engine/table_lock_state.h"

namespace dezede {

class TBlobFile;
class TDataDirectory;
class TDataFile;
class TDataTableLocks;
class TIndexFile;

class TDataTable : public TBufferTable {
public:
    TDataTable(TDataDirectory& directory, std::string name, std::string displayName, bool exclusive, bool temporary);
    ~TDataTable() override;
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
    bool IndexRecreated() const { return IndexRecreated_; }
    // The cursor layer has rebuilt the recreated index file.
    void IndexRebuilt() { IndexRecreated_ = false; }
    // Moves whenever the table's records or index pages may have changed in
    // memory (an edit through any cursor of this table object, or the caches
    // discarded), so that cursors know when a remembered page position is stale.
    uint64_t EditStamp() const { return EditStamp_; }
    void NoteEdit() { ++EditStamp_; }
    // Set for an idle table object before it is opened again.
    void SetOpenKind(bool exclusive, bool temporary);

    // The three file names (directory + name + the table's extensions).
    std::string DataFileName() const;
    std::string IndexFileName() const;
    std::string BlobFileName() const;

    // Opens the files (once; later calls only count a user), gets the
    // lock-file slot of a shared table and reads the headers under its read
    // lock. A missing or unreadable index file is created empty and flagged.
    // A failure leaves the files closed and the user uncounted.
    void Open(bool fullOpen, bool countUser);
    // One user less (unless told not); with none left, and no transaction
    // holding the table: rolls back its part of a transaction, writes the
    // pending changes of an exclusive table (or discards a temporary one's),
    // releases every lock, and closes the files unless the directory keeps
    // shared tables open. True when the files were closed.
    bool Close(bool countUser, bool discardTemporary = false);

    TDataFile* DataFile() const { return Data_.get(); }
    TIndexFile* IndexFile() const { return Index_.get(); }
    TBlobFile* BlobFile() const { return Blob_.get(); }

    // --- Files ---
    // The write sequence; skipped for read-only tables, only marks inside a
    // transaction. flushToDisk also asks the system to flush what was written.
    void WriteChanges(bool forceHeader = false, bool flushToDisk = false);
    // All three files to disk, unless read-only or the session flushes anyway.
    void FlushToDisk();
    void DiscardCaches();
    void ReadHeaders(bool withDescriptors = false);
    // Rereads the data header; when its counter moved, discards the caches
    // and rereads the index and BLOB headers. True when it refreshed.
    bool RefreshCaches();

    // --- TBufferTable ---
    std::string TableName() const override { return DisplayName_.empty() ? Name_ : DisplayName_; }
    bool InTransaction() const override { return Locking_.InTransaction; }
    bool WrittenSinceOpened() const override { return Written_; }
    void MarkWritten() override { Written_ = true; }
    bool ForceBufferFlush() const override;
    bool StrictChangeDetection() const override;
    // A cache miss of a table not locked by this session: under the read
    // lock, refresh when another writer changed the table.
    bool CheckForChanges() override;

    // --- Locks (engine/table_lock_state.h) ---
    TDataTableLocks* TableLocks() const { return Locking_.TableLocks(); }
    TTableLockState& Locking() { return Locking_; }
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

    // --- This table's part of a directory's transaction ---
    void StartTransaction(bool restricted);
    void Commit(bool forceFlush, bool end, bool restricted);
    void Rollback(bool restricted);

private:
    void OpenFiles(bool fullOpen);
    void CloseFiles();
    void RecreateIndexFile();

    TDataDirectory& Directory_;
    std::string Name_;
    std::string DisplayName_;
    uint16_t UserCount_ = 0;
    bool Open_ = false;
    bool Exclusive_ = false;
    bool ReadOnly_ = false;
    bool ReadOnlyStorage_ = false;
    bool Temporary_ = false;
    bool IndexRecreated_ = false;
    bool Written_ = false;
    uint64_t EditStamp_ = 0;
    std::unique_ptr<TDataFile> Data_;
    std::unique_ptr<TIndexFile> Index_;
    std::unique_ptr<TBlobFile> Blob_;
    std::unique_ptr<TEngineFileLocker> DataLocker_;
    TTableLockState Locking_;
};

}  // namespace dezede
