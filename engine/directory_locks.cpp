#include "engine/directory_locks.h"

#include <algorithm>

#include "engine/engine_error.h"
#include "engine/engine_file.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/file_registry.h"
#include "engine/lock_file_list.h"
#include "engine/table_names.h"
#include "support/endian.h"

namespace dezede {

TDataDirectoryLocks::TDataDirectoryLocks(TFileRegistry& registry, TDirectoryLocksConfig config)
    : Registry_(registry), Config_(std::move(config)) {}

TDataDirectoryLocks::~TDataDirectoryLocks() { CloseLockFile(); }

bool TDataDirectoryLocks::LockFileOpen() const { return File_ && File_->IsOpen(); }

bool TDataDirectoryLocks::LockRegion(uint64_t offset, uint64_t length) {
    if (NoLocking_) return true;
    return File_ && File_->LockRegion(offset, length, true);
}

bool TDataDirectoryLocks::UnlockRegion(uint64_t offset, uint64_t length) {
    if (NoLocking_) return true;
    return File_ && File_->LockRegion(offset, length, false);
}

// --- Opening ---

void TDataDirectoryLocks::OpenLockFile() {
    CloseLockFile();
    NoLocking_ = false;
    CachedCounter_ = 0;
    Entries_.clear();
    bool loaded = false;

    if (!Registry_.Exists(Config_.LockFilePath, Config_.InMemory)) {
        TEngineFile created(Registry_, Config_.LockFilePath, Config_.InMemory);
        // Another process may create the file after the check: then this
        // create fails and the shared open below takes the other one's file.
        created.NewOnly = true;
        try {
            created.Create();
            std::vector<std::string> tables;
            if (Config_.ListTables) tables = Config_.ListTables();
            for (const std::string& name : tables) {
                if (Entries_.size() >= TLockGeometry::kMaxSlots) break;
                AddEntry(name);
            }
            // Nobody else can open the file while its creator holds it
            // exclusively, so the list is written without the header lock.
            CachedCounter_ = NextLockFileCounter(0);
            WriteListTo(created, CachedCounter_);
            created.FlushToDisk();
            created.Close();
            loaded = true;
        } catch (const EDEZEDEEngineError&) {
            // Another process may hold the new file: go on to the shared open.
            Entries_.clear();
            CachedCounter_ = 0;
            NoLocking_ = true;
        }
    }

    auto file = std::make_unique<TEngineFile>(Registry_, Config_.LockFilePath, Config_.InMemory);
    bool opened = false;
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        if (!Registry_.Exists(Config_.LockFilePath, Config_.InMemory)) break;
        try {
            file->Open();
            opened = true;
            break;
        } catch (const EDEZEDEEngineError&) {
            if (attempt < kOpenAttempts) LockRetrySleep(kOpenRetryWaitMs);
        }
    }
    if (!opened) {
        NoLocking_ = true;
        return;
    }
    File_ = std::move(file);
    // A lock file that cannot be written cannot carry write locks either.
    NoLocking_ = File_->ReadOnlyOnDisk() || File_->EffectiveReadOnly();
    if (loaded) return;
    try {
        RefreshList();
    } catch (const EDEZEDEEngineError&) {
        // The list is read again under the write lock when a slot is asked for.
    }
}

void TDataDirectoryLocks::CloseLockFile() {
    if (File_) {
        if (File_->IsOpen()) File_->Close();
        File_.reset();
    }
    AllTrans_ = AllWrite_ = false;
    HeaderReadSlot_ = 0;
    for (auto& e : Entries_) {
        e->Flags_ = 0;
        e->ReadSlot_ = 0;
    }
}

// --- The list ---

void TDataDirectoryLocks::AddEntry(const std::string& name) {
    Entries_.push_back(std::make_unique<TDataTableLocks>(*this, static_cast<uint32_t>(Entries_.size() + 1), name));
}

bool TDataDirectoryLocks::ReadList() {
    if (!LockFileOpen()) return true;
    uint8_t header[kLockFileHeaderSize] = {};
    std::vector<uint8_t> entries;
    {
        TFileAccess access(*File_);
        File_->Seek(kSeekFromStart, 0);
        const uint32_t got = File_->Read(header, 4, true);
        if (got < 4) return false;  // empty or cut short: nothing listed yet
        if (LoadLE32s(header) == CachedCounter_) return true;
        CachedCounter_ = LoadLE32s(header);
        int32_t length = 4;
        if (File_->Read(header + 4, 4, true) == 4) length = LoadLE32s(header + 4);
        entries.resize(LockFileEntryBytes(length));
        if (!entries.empty())
            entries.resize(File_->Read(entries.data(), static_cast<uint32_t>(entries.size()), true));
    }
    const std::vector<std::string> names = ParseLockFileEntries(entries.data(), entries.size());
    for (size_t k = Entries_.size(); k < names.size(); ++k) AddEntry(names[k]);
    return true;
}

void TDataDirectoryLocks::WriteListTo(TEngineFile& file, int32_t counter) const {
    uint8_t bytes[4];
    StoreLE32s(bytes, counter);
    std::vector<std::string> names;
    names.reserve(Entries_.size());
    for (const auto& e : Entries_) names.push_back(e->TableName());
    const std::vector<uint8_t> block = BuildLockFileBlock(names);
    TFileAccess access(file);
    file.Seek(kSeekFromStart, 0);
    file.Write(bytes, 4);
    file.Write(block.data(), static_cast<uint32_t>(block.size()));
}

void TDataDirectoryLocks::WriteList() {
    // In no-locking mode the list is kept in memory only.
    if (NoLocking_ || !LockFileOpen()) return;
    const int32_t counter = NextLockFileCounter(CachedCounter_);
    WriteListTo(*File_, counter);
    CachedCounter_ = counter;
    File_->FlushToDisk();
}

template <typename Body>
void TDataDirectoryLocks::UnderLockFileLock(bool write, Body body) {
    if (write) LockFileWriteLock();
    else LockFileReadLock();
    auto unlock = [&] {
        if (write) LockFileWriteUnlock();
        else LockFileReadUnlock();
    };
    try {
        body();
    } catch (...) {
        try {
            unlock();
        } catch (const EDEZEDEEngineError&) {
        }
        throw;
    }
    unlock();
}

void TDataDirectoryLocks::RefreshList() {
    UnderLockFileLock(false, [&] { ReadList(); });
}

TDataTableLocks& TDataDirectoryLocks::GetTableLocks(const std::string& tableName) {
    TDataTableLocks* found = nullptr;
    UnderLockFileLock(true, [&] {
        const size_t before = Entries_.size();
        // A creator that lost the file to another process's open before it
        // could hold it exclusively leaves it empty: the first slot request
        // lists the directory's tables first, as the creation would have.
        if (!ReadList() && Entries_.empty() && Config_.ListTables) {
            for (const std::string& name : Config_.ListTables()) {
                if (Entries_.size() >= TLockGeometry::kMaxSlots) break;
                AddEntry(name);
            }
        }
        for (const auto& e : Entries_) {
            if (SameTableName(e->TableName(), tableName)) {
                found = e.get();
                break;
            }
        }
        if (!found) {
            if (Entries_.size() >= TLockGeometry::kMaxSlots)
                RaiseError(DEZEDE_DATABASEFULL, {.Database = Config_.ErrorDatabase});
            AddEntry(tableName);
            found = Entries_.back().get();
        }
        if (Entries_.size() == before) return;
        try {
            WriteList();
        } catch (...) {
            Entries_.resize(before);  // the slots were not taken
            throw;
        }
    });
    return *found;
}

// --- Lock-file locks ---

void TDataDirectoryLocks::LockFileReadLock() {
    const TTableLockSettings& s = Config_.Settings;
    const uint32_t got = LockRandomByteWithRetries(*this, s.Geometry.LockFileReadByte(1).Offset,
                                                   s.LockFileRetryCount, s.LockFileWaitTime, s.Random);
    if (got == 0) RaiseError(DEZEDE_LOCKREADLOCK, {.Database = Config_.ErrorDatabase});
    HeaderReadSlot_ = static_cast<uint16_t>(got);
}

void TDataDirectoryLocks::LockFileReadUnlock() {
    if (HeaderReadSlot_ == 0) return;
    if (!Unlock(Config_.Settings.Geometry.LockFileReadByte(HeaderReadSlot_)))
        RaiseError(DEZEDE_LOCKREADUNLOCK, {.Database = Config_.ErrorDatabase});
    HeaderReadSlot_ = 0;
}

void TDataDirectoryLocks::LockFileWriteLock() {
    const TTableLockSettings& s = Config_.Settings;
    if (!LockWithRetries(*this, s.Geometry.LockFileWriteRegion(), s.LockFileRetryCount, s.LockFileWaitTime))
        RaiseError(DEZEDE_LOCKWRITELOCK, {.Database = Config_.ErrorDatabase});
}

void TDataDirectoryLocks::LockFileWriteUnlock() {
    if (!Unlock(Config_.Settings.Geometry.LockFileWriteRegion()))
        RaiseError(DEZEDE_LOCKWRITEUNLOCK, {.Database = Config_.ErrorDatabase});
}

// --- All-slot locks ---

void TDataDirectoryLocks::LockAllSlots(const TLockRegion& region, uint32_t retries, uint32_t waitMs, bool& held,
                                       uint8_t flag) {
    if (!LockWithRetries(*this, region, retries, waitMs))
        RaiseError(DEZEDE_TRANSLOCK, {.Database = Config_.ErrorDatabase});
    held = true;
    for (auto& e : Entries_) e->SetHeld(flag, true);
}

void TDataDirectoryLocks::UnlockAllSlots(const TLockRegion& region, bool& held, uint8_t flag) {
    if (!Unlock(region)) RaiseError(DEZEDE_TRANSUNLOCK, {.Database = Config_.ErrorDatabase});
    held = false;
    for (auto& e : Entries_) e->SetHeld(flag, false);
}

void TDataDirectoryLocks::LockAllTrans() {
    const TTableLockSettings& s = Config_.Settings;
    LockAllSlots(s.Geometry.AllTransRegion(), s.TransRetryCount, s.TransWaitTime, AllTrans_,
                 TDataTableLocks::kTransLocked);
}

void TDataDirectoryLocks::UnlockAllTrans() {
    UnlockAllSlots(Config_.Settings.Geometry.AllTransRegion(), AllTrans_, TDataTableLocks::kTransLocked);
}

void TDataDirectoryLocks::LockAllWrite() {
    const TTableLockSettings& s = Config_.Settings;
    LockAllSlots(s.Geometry.AllWriteRegion(), s.WriteRetryCount, s.WriteWaitTime, AllWrite_,
                 TDataTableLocks::kWriteLocked);
}

void TDataDirectoryLocks::UnlockAllWrite() {
    UnlockAllSlots(Config_.Settings.Geometry.AllWriteRegion(), AllWrite_, TDataTableLocks::kWriteLocked);
}

}  // namespace dezede
