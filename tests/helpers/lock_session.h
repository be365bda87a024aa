#pragma once
// A directory's locks without the table layer: the lock file of a directory
// and, per table, its data file and the lock state a shared table keeps.
// Used in-process by the lock tests and by lock_helper, the program that
// holds locks in another process on command.
//
// The "change counter" of a table here is the first 4 bytes of its data
// file: Bump() moves it, and a newly taken read lock reports a refresh when
// it moved since this session last looked.

#include <map>
#include <memory>
#include <string>

#include "engine/directory_locks.h"
#include "engine/engine_file.h"
#include "engine/engine_file_locker.h"
#include "engine/file_registry.h"
#include "engine/table_lock_state.h"
#include "platform/file_names.h"
#include "support/endian.h"

namespace dezede::test {

class TLockSession {
public:
    struct TTable {
        std::unique_ptr<TEngineFile> DataFile;
        std::unique_ptr<TEngineFileLocker> Locker;
        std::unique_ptr<TTableLockState> State;
        uint32_t SeenCounter = 0;
        int Refreshes = 0;
    };

    // dir without trailing slash; lockFileName inside it.
    TLockSession(TFileRegistry& registry, const std::string& dir, const std::string& lockFileName = "dezede.lck",
                 bool largeFileSupport = false, bool inMemory = false)
        : Registry_(registry), Dir_(dir), InMemory_(inMemory) {
        TDirectoryLocksConfig config;
        config.LockFilePath = dir + "/" + lockFileName;
        config.InMemory = inMemory;
        config.ErrorDatabase = dir;
        config.Settings.Geometry = TLockGeometry::For(largeFileSupport);
        config.ListTables = [dir] {
            std::vector<std::string> names;
            for (const std::string& f : OSListFiles(dir, ".dat")) names.push_back(f.substr(0, f.size() - 4));
            return names;
        };
        Locks_ = std::make_unique<TDataDirectoryLocks>(registry, std::move(config));
    }
    ~TLockSession() {
        for (auto& [name, t] : Tables_) t.State->ReleaseAll();
    }

    TDataDirectoryLocks& Locks() { return *Locks_; }
    TRecordLockSettings Session;

    // Short table-lock waits so that refused locks fail fast in tests.
    void SetTableLockRetries(uint16_t retries, uint16_t waitMs) {
        TTableLockSettings& s = Locks_->Settings();
        s.ReadRetryCount = s.WriteRetryCount = s.TransRetryCount = retries;
        s.ReadWaitTime = s.WriteWaitTime = s.TransWaitTime = waitMs;
    }

    // Finds or adds the table's slot and opens its data file shared.
    TTable& Table(const std::string& name) {
        auto it = Tables_.find(name);
        if (it != Tables_.end()) return it->second;
        TTable t;
        t.DataFile = std::make_unique<TEngineFile>(Registry_, Dir_ + "/" + name + ".dat", InMemory_);
        t.DataFile->Open();
        t.Locker = std::make_unique<TEngineFileLocker>(*t.DataFile);
        TTableLockConfig config;
        config.Geometry = Locks_->Geometry();
        config.DataFile = t.Locker.get();
        config.TableLocks = &Locks_->GetTableLocks(name);
        config.Session = [this] { return Session; };
        config.ErrorTable = name;
        config.ErrorDatabase = Dir_;
        TTable& added = Tables_.emplace(name, std::move(t)).first->second;
        TTable* self = &added;
        config.CheckForChanges = [this, self] {
            const uint32_t now = Counter(*self);
            if (now == self->SeenCounter) return false;
            self->SeenCounter = now;
            ++self->Refreshes;
            return true;
        };
        added.State = std::make_unique<TTableLockState>(std::move(config));
        added.SeenCounter = Counter(added);
        return added;
    }
    TTableLockState& State(const std::string& name) { return *Table(name).State; }

    // Moves the table's change counter (the caller holds the write lock).
    void Bump(const std::string& name) {
        TTable& t = Table(name);
        uint8_t bytes[4];
        StoreLE32(bytes, Counter(t) + 1);
        {
            TFileAccess access(*t.DataFile);
            t.DataFile->Seek(kSeekFromStart, 0);
            t.DataFile->Write(bytes, 4);
        }
        t.SeenCounter = Counter(t);
    }

private:
    static uint32_t Counter(TTable& t) {
        uint8_t bytes[4] = {};
        TFileAccess access(*t.DataFile);
        t.DataFile->Seek(kSeekFromStart, 0);
        t.DataFile->Read(bytes, 4, true);
        return LoadLE32(bytes);
    }

    TFileRegistry& Registry_;
    std::string Dir_;
    bool InMemory_;
    std::unique_ptr<TDataDirectoryLocks> Locks_;
    std::map<std::string, TTable> Tables_;
};

}  // namespace dezede::test
