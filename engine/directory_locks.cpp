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
            uint8_t counter[4];
            StoreLE32s(counter, CachedCounter_);
            std::vector<std::string> names;
            for (const auto& e : Entries_) names.push_back(e->TableName());
            const std::vector<uint8_t> block = BuildLockFileBlock(names);
            {
                TFileAccess access(created);
                created.Seek(kSeekFromStart, 0);
                created.Write(counter, 4);
                created.Write(block.data(), static_cast<uint32_t>(block.size()));
            }
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
        LockFileReadLock();
        try {
            ReadList();
        } catch (...) {
            try {
                LockFileReadUnlock();
            } catch (const EDEZEDEEngineError&) {
            }
            throw;
        }
        LockFileReadUnlock();
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

void TDataDirectoryLocks::ReadList() {
    if (!LockFileOpen()) return;
    uint8_t header[kLockFileHeaderSize] = {};
    std::vector<uint8_t> entries;
    {
        TFileAccess access(*File_);
        File_->Seek(kSeekFromStart, 0);
        const uint32_t got = File_->Read(header, 4, true);
        if (got < 4) return;  // empty or cut short: nothing listed yet
        if (LoadLE32s(header) == CachedCounter_) return;
        CachedCounter_ = LoadLE32s(header);
        int32_t length = 4;
        if (File_->Read(header + 4, 4, true) == 4) length = LoadLE32s(header + 4);
        entries.resize(LockFileEntryBytes(length));
        if (!entries.empty())
            entries.resize(File_->Read(entries.data(), static_cast<uint32_t>(entries.size()), true));
    }
    const std::vector<std::string> names = ParseLockFileEntries(entries.data(), entries.size());
    for (size_t k = Entries_.size(); k < names.size(); ++k) AddEntry(names[k]);
}

void TDataDirectoryLocks::WriteList() {
    // In no-locking mode the list is kept in memory only.
    if (NoLocking_ || !LockFileOpen()) return;
    const int32_t counter = NextLockFileCounter(CachedCounter_);
    uint8_t bytes[4];
    StoreLE32s(bytes, counter);
    std::vector<std::string> names;
    names.reserve(Entries_.size());
    for (const auto& e : Entries_) names.push_back(e->TableName());
    const std::vector<uint8_t> block = BuildLockFileBlock(names);
    {
        TFileAccess access(*File_);
        File_->Seek(kSeekFromStart, 0);
        File_->Write(bytes, 4);
        File_->Write(block.data(), static_cast<uint32_t>(block.size()));
    }
    CachedCounter_ = counter;
    File_->FlushToDisk();
}

void TDataDirectoryLocks::RefreshList() {
    LockFileReadLock();
    try {
        ReadList();
    } catch (...) {
        try {
            LockFileReadUnlock();
        } catch (const EDEZEDEEngineError&) {
        }
        throw;
    }
    LockFileReadUnlock();
}

TDataTableLocks& TDataDirectoryLocks::GetTableLocks(const std::string& tableName) {
    LockFileWriteLock();
    TDataTableLocks* found = nullptr;
    try {
        ReadList();
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
            try {
                WriteList();
            } catch (...) {
                Entries_.pop_back();  // the slot was not taken
                throw;
            }
            found = Entries_.back().get();
        }
    } catch (...) {
        try {
            LockFileWriteUnlock();
        } catch (const EDEZEDEEngineError&) {
        }
        throw;
    }
    LockFileWriteUnlock();
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

void TDataDirectoryLocks::LockAllTrans() {
    const TTableLockSettings& s = Config_.Settings;
    if (!LockWithRetries(*this, s.Geometry.AllTransRegion(), s.TransRetryCount, s.TransWaitTime))
        RaiseError(DEZEDE_TRANSLOCK, {.Database = Config_.ErrorDatabase});
    AllTrans_ = true;
    for (auto& e : Entries_) e->Flags_ |= TDataTableLocks::kTransLocked;
}

void TDataDirectoryLocks::UnlockAllTrans() {
    if (!Unlock(Config_.Settings.Geometry.AllTransRegion()))
        RaiseError(DEZEDE_TRANSUNLOCK, {.Database = Config_.ErrorDatabase});
    AllTrans_ = false;
    for (auto& e : Entries_) e->Flags_ &= ~TDataTableLocks::kTransLocked;
}

void TDataDirectoryLocks::LockAllWrite() {
    const TTableLockSettings& s = Config_.Settings;
    if (!LockWithRetries(*this, s.Geometry.AllWriteRegion(), s.WriteRetryCount, s.WriteWaitTime))
        RaiseError(DEZEDE_TRANSLOCK, {.Database = Config_.ErrorDatabase});
    AllWrite_ = true;
    for (auto& e : Entries_) e->Flags_ |= TDataTableLocks::kWriteLocked;
}

void TDataDirectoryLocks::UnlockAllWrite() {
    if (!Unlock(Config_.Settings.Geometry.AllWriteRegion()))
        RaiseError(DEZEDE_TRANSUNLOCK, {.Database = Config_.ErrorDatabase});
    AllWrite_ = false;
    for (auto& e : Entries_) e->Flags_ &= ~TDataTableLocks::kWriteLocked;
}

}  // namespace dezede
