#include "engine/data_directory.h"

#include <algorithm>
#include <exception>
#include <string>

#include "engine/cursor.h"
#include "engine/data_engine.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/file_registry.h"
#include "engine/table_files.h"
#include "engine/table_locks.h"
#include "engine/table_names.h"
#include "engine/engine_error.h"
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
    if (InTransaction_) {
        try {
            Rollback();
        } catch (const EDEZEDEEngineError&) {
        }
    }
    // Cursors close before their tables go; they stay allocated (their
    // owners free them) but no longer refer to this directory.
    const std::vector<TDataCursor*> cursors = Cursors_;
    for (TDataCursor* c : cursors) c->DetachFromDirectory();
    Cursors_.clear();
    Freeing_ = true;
    for (const auto& t : Tables_) {
        try {
            if (t->Exclusive()) t->WriteChanges();
        } catch (const EDEZEDEEngineError&) {
        }
    }
    // Tables go first: closing one releases its locks, some on the lock file.
    while (!Tables_.empty()) Tables_.pop_back();
    Locks_.reset();
}

void TDataDirectory::RegisterCursor(TDataCursor* cursor) {
    if (cursor && std::find(Cursors_.begin(), Cursors_.end(), cursor) == Cursors_.end()) Cursors_.push_back(cursor);
}

void TDataDirectory::UnregisterCursor(TDataCursor* cursor) {
    Cursors_.erase(std::remove(Cursors_.begin(), Cursors_.end(), cursor), Cursors_.end());
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

// --- Tables ---

TDataTable* TDataDirectory::OpenTable(const std::string& name, const std::string& displayName, bool fullOpen,
                                      bool exclusive, bool temporary, bool countUser, bool joinTransaction) {
    const std::string normalised = NormaliseTableName(name, Engine().TableDataExtension());
    const std::string shown = displayName.empty() ? name : displayName;
    TDataTable* table = FindTable(normalised);
    if (table && (table->UserCount() > 0 || table->InTransaction() || KeepTablesOpen_) && table->IsOpen()) {
        if ((table->Exclusive() || exclusive) && (table->UserCount() > 0 || !table->InTransaction()))
            Raise(DEZEDE_OSEACCES, shown);
        table->Open(fullOpen, countUser);
        return table;
    }
    if (table) {
        table->SetOpenKind(exclusive, temporary);
        table->Open(fullOpen, countUser);
    } else {
        auto created = std::make_unique<TDataTable>(*this, normalised, shown, exclusive, temporary);
        created->Open(fullOpen, countUser);  // a failure frees it here
        table = created.get();
        auto at = std::lower_bound(Tables_.begin(), Tables_.end(), normalised,
                                   [](const std::unique_ptr<TDataTable>& t, const std::string& n) {
                                       return CompareTableNames(t->Name(), n) < 0;
                                   });
        Tables_.insert(at, std::move(created));
    }
    if (InTransaction_ && !RestrictedTransaction_ && joinTransaction) table->StartTransaction(false);
    return table;
}

void TDataDirectory::RemoveTable(TDataTable* table) {
    if (Freeing_) return;
    auto it = std::find_if(Tables_.begin(), Tables_.end(), [table](const auto& t) { return t.get() == table; });
    if (it != Tables_.end()) Tables_.erase(it);
}

void TDataDirectory::CloseTable(TDataTable* table, bool countUser, bool discardTemporary) {
    auto it = std::find_if(Tables_.begin(), Tables_.end(), [table](const auto& t) { return t.get() == table; });
    if (it == Tables_.end()) Raise(DEZEDE_OSENOENT, table ? table->TableName() : std::string());
    if (table->Close(countUser, discardTemporary)) RemoveTable(table);
}

void TDataDirectory::CloseIdleTables() {
    std::vector<TDataTable*> idle;
    for (const auto& t : Tables_)
        if (t->UserCount() == 0) idle.push_back(t.get());
    for (TDataTable* t : idle) {
        try {
            if (t->Close(false)) RemoveTable(t);
        } catch (const EDEZEDEEngineError&) {
            RemoveTable(t);  // its files close with the object
        }
    }
}

std::vector<TDataTable*> TDataDirectory::TablesByName(bool descending) const {
    std::vector<TDataTable*> tables;
    for (const auto& t : Tables_) tables.push_back(t.get());
    if (descending) std::reverse(tables.begin(), tables.end());
    return tables;
}

// --- Table files ---

void TDataDirectory::CreateTable(const std::string& name, const TTableDefinition& definition) {
    const TDataEngine& engine = Engine();
    const std::string normalised = NormaliseTableName(name, engine.TableDataExtension());
    if (ReadOnly_) Raise(DEZEDE_OSEACCES, name);
    if (TDataTable* t = FindTable(normalised); t && (t->UserCount() > 0 || t->InTransaction()))
        Raise(DEZEDE_OSEACCES, name);
    TTableFileNames names;
    names.Data = TableFileName(Path_, normalised, engine.TableDataExtension());
    names.Index = TableFileName(Path_, normalised, engine.TableIndexExtension());
    names.Blob = TableFileName(Path_, normalised, engine.TableBlobExtension());
    names.InMemory = InMemory_;
    CreateTableFiles(Registry(), names, definition, engine.EngineSignature());
    if (!definition.Password.empty()) Session_.AddPassword(definition.Password);
}

void TDataDirectory::DeleteTable(const std::string& name) {
    const TDataEngine& engine = Engine();
    const std::string normalised = NormaliseTableName(name, engine.TableDataExtension());
    if (ReadOnly_) Raise(DEZEDE_OSEACCES, name);
    if (TDataTable* t = FindTable(normalised)) {
        if (t->UserCount() > 0 || t->InTransaction()) Raise(DEZEDE_OSEACCES, name);
        RemoveTable(t);  // closes the idle table's files
    }
    TFileRegistry& registry = Registry();
    for (const std::string* ext : {&engine.TableDataExtension(), &engine.TableIndexExtension(),
                                   &engine.TableBlobExtension()}) {
        const std::string file = TableFileName(Path_, normalised, *ext);
        if (ext == &engine.TableBlobExtension() && !registry.Exists(file, InMemory_)) continue;
        if (const uint16_t code = registry.Delete(file, InMemory_)) Raise(code, name);
    }
}

void TDataDirectory::RenameTable(const std::string& name, const std::string& targetDirectory,
                                 const std::string& newName, bool toBackup) {
    const TDataEngine& engine = Engine();
    const std::string normalised = NormaliseTableName(name, engine.TableDataExtension());
    if (ReadOnly_) Raise(DEZEDE_OSEACCES, name);
    if (TDataTable* t = FindTable(normalised)) {
        if (t->UserCount() > 0 || t->InTransaction()) Raise(DEZEDE_OSEACCES, name);
        RemoveTable(t);
    }
    const std::string target = targetDirectory.empty() ? Path_ : NormaliseDirectoryPath(targetDirectory);
    const std::string targetName = NormaliseTableName(newName, engine.TableDataExtension());
    const std::pair<const std::string*, const std::string*> kinds[] = {
        {&engine.TableDataExtension(), &engine.TableDataBackupExtension()},
        {&engine.TableIndexExtension(), &engine.TableIndexBackupExtension()},
        {&engine.TableBlobExtension(), &engine.TableBlobBackupExtension()},
    };
    TFileRegistry& registry = Registry();
    for (const auto& [ext, backupExt] : kinds) {
        const std::string from = TableFileName(Path_, normalised, *ext);
        if (!registry.Exists(from, InMemory_)) continue;
        const std::string to = TableFileName(target, targetName, toBackup ? *backupExt : *ext);
        if (toBackup && registry.Exists(to, InMemory_))
            if (const uint16_t code = registry.Delete(to, InMemory_)) Raise(code, name);
        if (const uint16_t code = registry.Rename(from, to, InMemory_)) Raise(code, name);
    }
}

// --- Transactions ---

void TDataDirectory::StartTransaction(const std::vector<std::string>& tableNames) {
    if (ReadOnly_ || InTransaction_) return;
    const std::string& ext = Engine().TableDataExtension();
    if (!tableNames.empty()) {
        std::vector<std::string> wanted;
        for (const std::string& n : tableNames) wanted.push_back(NormaliseTableName(n, ext));
        // Tables not open yet are opened without a user: they close again
        // when the transaction ends.
        for (const std::string& n : wanted)
            if (!FindTable(n)) OpenTable(n, n, true, false, false, false);
        std::vector<TDataTable*> tables;
        for (const auto& t : Tables_) {
            if (t->Exclusive()) continue;
            for (const std::string& n : wanted) {
                if (SameTableName(t->Name(), n)) {
                    tables.push_back(t.get());
                    break;
                }
            }
        }
        // Ascending slot order (tables without a slot first): two sessions
        // with overlapping table sets take the transaction bytes in one order.
        std::stable_sort(tables.begin(), tables.end(), [](TDataTable* a, TDataTable* b) {
            const uint32_t sa = a->TableLocks() ? a->TableLocks()->Slot() : 0;
            const uint32_t sb = b->TableLocks() ? b->TableLocks()->Slot() : 0;
            return sa < sb;
        });
        try {
            for (TDataTable* t : tables) t->StartTransaction(true);
        } catch (...) {
            for (TDataTable* t : tables) {
                try {
                    t->Rollback(true);
                } catch (const EDEZEDEEngineError&) {
                }
            }
            CloseIdleTables();
            throw;
        }
        RestrictedTables_ = std::move(tables);
        RestrictedTransaction_ = true;
        InTransaction_ = true;
        return;
    }
    if (Locks_) Locks_->LockAllTrans();
    try {
        for (TDataTable* t : TablesByName(false)) t->StartTransaction(false);
    } catch (...) {
        for (TDataTable* t : TablesByName(false)) {
            try {
                t->Rollback(false);
            } catch (const EDEZEDEEngineError&) {
            }
        }
        if (Locks_) {
            try {
                Locks_->UnlockAllTrans();
            } catch (const EDEZEDEEngineError&) {
            }
        }
        throw;
    }
    RestrictedTransaction_ = false;
    InTransaction_ = true;
}

void TDataDirectory::Commit(bool forceFlush, bool end) {
    if (ReadOnly_ || !InTransaction_) return;
    if (RestrictedTransaction_) {
        for (auto it = RestrictedTables_.rbegin(); it != RestrictedTables_.rend(); ++it)
            (*it)->Commit(forceFlush, end, true);
    } else {
        if (Locks_) Locks_->LockAllWrite();
        std::exception_ptr failure;
        try {
            for (TDataTable* t : TablesByName(true)) t->Commit(forceFlush, end, false);
        } catch (...) {
            failure = std::current_exception();
        }
        if (Locks_) {
            try {
                Locks_->UnlockAllWrite();
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
        }
        if (failure) std::rethrow_exception(failure);
        if (end && Locks_) Locks_->UnlockAllTrans();
    }
    if (end) {
        InTransaction_ = RestrictedTransaction_ = false;
        RestrictedTables_.clear();
        CloseIdleTables();
    }
}

void TDataDirectory::Rollback() {
    if (!InTransaction_) return;
    std::exception_ptr failure;
    auto rollback = [&failure](TDataTable* t, bool restricted) {
        try {
            t->Rollback(restricted);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    };
    if (RestrictedTransaction_) {
        for (auto it = RestrictedTables_.rbegin(); it != RestrictedTables_.rend(); ++it) rollback(*it, true);
    } else {
        for (TDataTable* t : TablesByName(true)) rollback(t, false);
        if (Locks_) {
            try {
                Locks_->UnlockAllTrans();
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
        }
    }
    InTransaction_ = RestrictedTransaction_ = false;
    RestrictedTables_.clear();
    CloseIdleTables();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace dezede
