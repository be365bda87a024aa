#pragma once
// TDataDirectory: one open database directory of one session. Two sessions
// that open the same path get two directory objects, each with its own lock
// file object, and coordinate through the lock file as two processes do.
//
// The database named "Memory" (any case) lives in the engine's in-memory file
// registry, its lock file included. A directory whose lock file cannot be
// created or opened, or is read-only, works without lock-file locks and is
// read-only: it refuses to create, delete, rename or alter tables.
//
// Directories are checked objects: they carry the text "DEZEDE_SIG" from
// construction until destruction, so that a handle can be tested for
// pointing at a live directory (IsLive).

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/directory_locks.h"

namespace dezede {

class TDataCursor;
class TDataEngine;
class TDataSession;
class TDataTable;
class TFileRegistry;
struct TTableDefinition;

class TDataDirectory {
public:
    static constexpr std::array<char, 10> kLiveMark = {'D', 'E', 'Z', 'E', 'D', 'E', '_', 'S', 'I', 'G'};

    // name is cut to 60 characters; path is stored as given (OpenDataDir
    // normalises it). Opens the lock file of a local session.
    TDataDirectory(TDataSession& session, const std::string& name, const std::string& path);
    virtual ~TDataDirectory();
    TDataDirectory(const TDataDirectory&) = delete;
    TDataDirectory& operator=(const TDataDirectory&) = delete;

    // True while the object is alive.
    virtual bool IsLive() const { return Mark_ == kLiveMark; }

    TDataSession& Session() const { return Session_; }
    TDataEngine& Engine() const;
    TFileRegistry& Registry() const;
    const std::string& Name() const { return Name_; }
    const std::string& Path() const { return Path_; }
    // The directory as error contexts carry it: the path without its trailing "/".
    std::string ErrorName() const;
    bool InMemory() const { return InMemory_; }
    bool ReadOnly() const { return ReadOnly_; }
    bool KeepTablesOpen() const { return KeepTablesOpen_; }
    void SetKeepTablesOpen(bool keep) { KeepTablesOpen_ = keep; }
    uint16_t ReferenceCount() const { return ReferenceCount_; }
    void AddReference() { ++ReferenceCount_; }
    // Counts one reference less; true when none is left.
    bool ReleaseReference() { return ReferenceCount_ == 0 || --ReferenceCount_ == 0; }

    // The lock file of a local session's directory, else null.
    TDataDirectoryLocks* Locks() const { return Locks_.get(); }

    // --- Tables ---
    // Table names of the directory (files matching "*" + data extension), in
    // listing order, with or without the extension.
    std::vector<std::string> GetTableNames(bool withExtensions) const;
    // Among the directory's table objects, and unless onlyOpen, on disk.
    bool TableExists(const std::string& name, bool temporary, bool onlyOpen) const;
    // A name that no table of this directory uses (data extension).
    std::string MakeTempTableName() const;
    // Where maintenance puts its temporary tables, and a free name there.
    std::string TempTableDirectory() const;
    std::string MakeTempTableNameIn(const std::string& directory, bool inMemory) const;

    // The directory's table objects, sorted by name ignoring case.
    const std::vector<std::unique_ptr<TDataTable>>& Tables() const { return Tables_; }
    TDataTable* FindTable(const std::string& normalisedName) const;

    // Opens a table object, shared by every open of the same table in this
    // directory. DEZEDE_OSEACCES when an exclusive open meets another open.
    // A table opened during a full transaction joins it unless told to stay out.
    TDataTable* OpenTable(const std::string& name, const std::string& displayName, bool fullOpen, bool exclusive,
                          bool temporary, bool countUser = true, bool joinTransaction = true);
    // DEZEDE_OSENOENT when the table object is not this directory's.
    void CloseTable(TDataTable* table, bool countUser = true, bool discardTemporary = false);

    // Table files (DEZEDE_OSEACCES in a read-only directory or while the
    // table is in use).
    void CreateTable(const std::string& name, const TTableDefinition& definition);
    void DeleteTable(const std::string& name);
    // Renames the table's files to target directory + newName, or, with
    // toBackup, to the backup extensions (an existing backup is replaced).
    void RenameTable(const std::string& name, const std::string& targetDirectory, const std::string& newName,
                     bool toBackup);

    // --- Cursors ---
    // Every cursor created on this directory registers here and leaves when
    // freed; freeing the directory closes and detaches the ones left.
    void RegisterCursor(TDataCursor* cursor);
    void UnregisterCursor(TDataCursor* cursor);
    const std::vector<TDataCursor*>& Cursors() const { return Cursors_; }

    // --- Transactions ---
    // A non-empty list starts a restricted transaction on those tables (their
    // transaction bytes taken in ascending slot order); an empty one a full
    // transaction over every table, open now or opened later.
    void StartTransaction(const std::vector<std::string>& tables);
    void Commit(bool forceFlush, bool end);
    void Rollback();
    bool InTransaction() const { return InTransaction_; }
    bool RestrictedTransaction() const { return RestrictedTransaction_; }

    // Raises with the table and this directory.
    [[noreturn]] void Raise(uint16_t code, const std::string& table = {}) const;

private:
    void CloseIdleTables();
    void RemoveTable(TDataTable* table);
    std::vector<TDataTable*> TablesByName(bool descending) const;

    std::array<char, 10> Mark_ = kLiveMark;
    TDataSession& Session_;
    std::string Name_;
    std::string Path_;
    bool InMemory_ = false;
    bool ReadOnly_ = false;
    bool KeepTablesOpen_ = false;
    uint16_t ReferenceCount_ = 0;
    std::unique_ptr<TDataDirectoryLocks> Locks_;
    std::vector<std::unique_ptr<TDataTable>> Tables_;
    std::vector<TDataTable*> RestrictedTables_;
    std::vector<TDataCursor*> Cursors_;
    bool InTransaction_ = false;
    bool RestrictedTransaction_ = false;
    bool Freeing_ = false;
};

// True when the name is the in-memory database's (any case).
bool IsMemoryDatabaseName(const std::string& name);

}  // namespace dezede
