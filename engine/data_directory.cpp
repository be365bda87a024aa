#include "engine/data_directory.h"

#include <algorithm>
#include <string>

#include "engine/data_engine.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/file_registry.h"
#include "engine/table_names.h"
#include "platform/thread_id.h"

namespace dezede {

bool IsMemoryDatabaseName(const std::string& name) { return CompareTableNames(name, "Memory") == 0; }

TDataDirectory::TDataDirectory(TDataSession& session, const std::string& name, const std::string& path)
    : Session_(session),
      Name_(name.substr(0, std::min<size_t>(name.size(), kMaxTableNameLength))),
      Path_(path),
      InMemory_(IsMemoryDatabaseName(name)) {
    if (Session_.Remote()) return;
    TDataEngine& engine = Engine();
    TDirectoryLocksConfig config;
    config.LockFilePath = Path_ + engine.LockFileName();
    config.InMemory = InMemory_;
    config.ErrorDatabase = ErrorName();
    config.Settings.Geometry = engine.LockGeometry();
    config.Settings.ReadWaitTime = engine.TableReadLockWaitTime();
    config.Settings.ReadRetryCount = engine.TableReadLockRetryCount();
    config.Settings.WriteWaitTime = engine.TableWriteLockWaitTime();
    config.Settings.WriteRetryCount = engine.TableWriteLockRetryCount();
    config.Settings.TransWaitTime = engine.TableTransLockWaitTime();
    config.Settings.TransRetryCount = engine.TableTransLockRetryCount();
    config.Settings.Random = [&engine](uint32_t upper) { return engine.Random(upper); };
    config.ListTables = [this] { return GetTableNames(false); };
    Locks_ = std::make_unique<TDataDirectoryLocks>(Registry(), std::move(config));
    Locks_->OpenLockFile();
    ReadOnly_ = Locks_->NoLocking();
}

TDataDirectory::~TDataDirectory() {
    Mark_.fill(0);
    Freeing_ = true;
    // Tables go first: closing one releases its locks, some on the lock file.
    while (!Tables_.empty()) Tables_.pop_back();
    Locks_.reset();
}

TDataEngine& TDataDirectory::Engine() const { return Session_.Engine(); }

TFileRegistry& TDataDirectory::Registry() const { return TFileRegistry::Instance(); }

std::string TDataDirectory::ErrorName() const { return ErrorDirectoryName(Path_); }

void TDataDirectory::Raise(uint16_t code, const std::string& table) const {
    RaiseError(code, {.Table = table, .Database = ErrorName()});
}

std::vector<std::string> TDataDirectory::GetTableNames(bool withExtensions) const {
    const std::string& ext = Engine().TableDataExtension();
    std::vector<std::string> names = Registry().List(Path_, ext, InMemory_);
    if (!withExtensions)
        for (std::string& n : names) n.resize(n.size() - std::min(n.size(), ext.size()));
    return names;
}

TDataTable* TDataDirectory::FindTable(const std::string& normalisedName) const {
    auto it = std::lower_bound(Tables_.begin(), Tables_.end(), normalisedName,
                               [](const std::unique_ptr<TDataTable>& t, const std::string& name) {
                                   return CompareTableNames(t->Name(), name) < 0;
                               });
    if (it != Tables_.end() && SameTableName((*it)->Name(), normalisedName)) return it->get();
    return nullptr;
}

bool TDataDirectory::TableExists(const std::string& name, bool temporary, bool onlyOpen) const {
    const TDataEngine& engine = Engine();
    const std::string normalised = NormaliseTableName(name, engine.TableDataExtension());
    if (FindTable(normalised)) return true;
    if (onlyOpen) return false;
    const std::string& ext = temporary ? engine.TableDataTempExtension() : engine.TableDataExtension();
    return Registry().Exists(TableFileName(Path_, normalised, ext), InMemory_);
}

std::string TDataDirectory::TempTableDirectory() const {
    if (InMemory_) return Path_;
    if (Engine().CreateTempTablesInDatabase()) return Path_;
    return Session_.GetPrivateDir();
}

std::string TDataDirectory::MakeTempTableNameIn(const std::string& directory, bool inMemory) const {
    const std::string base = std::to_string(CurrentThreadId()).substr(0, 5);
    const std::string& ext = Engine().TableDataTempExtension();
    for (uint32_t n = 0;; ++n) {
        const std::string name = base + std::to_string(n);
        if (!Registry().Exists(TableFileName(directory, name, ext), inMemory)) return name;
    }
}

std::string TDataDirectory::MakeTempTableName() const {
    const std::string base = std::to_string(CurrentThreadId()).substr(0, 5);
    const std::string& ext = Engine().TableDataExtension();
    for (uint32_t n = 0;; ++n) {
        const std::string name = base + std::to_string(n);
        if (!FindTable(name) && !Registry().Exists(TableFileName(Path_, name, ext), InMemory_)) return name;
    }
}

}  // namespace dezede
