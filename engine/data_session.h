#pragma once
// TDataSession: one engine session, created and freed through TDataEngine.
// It carries the per-session settings that the locking, cache and cursor
// layers read, the table passwords, and (with the directory layer) the
// database directories the session has open. A session and everything it
// owns is used by one thread at a time.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/table_password.h"

namespace dezede {

class TDataEngine;
class TDataDirectory;

// When an edited record is locked: at the start of the edit, or at posting.
enum TLockProtocol : uint8_t { lpPessimistic = 0, lpOptimistic = 1 };

class TDataSession {
public:
    explicit TDataSession(TDataEngine& engine);
    ~TDataSession();
    TDataSession(const TDataSession&) = delete;
    TDataSession& operator=(const TDataSession&) = delete;

    TDataEngine& Engine() const { return Engine_; }

    // Name given by the session component (at most 255 characters).
    const std::string& Name() const { return Name_; }
    void SetName(const std::string& name);

    // Session kind; the remote kind forwards every request to a server.
    bool Remote() const { return Remote_; }
    void SetRemote(bool remote) { Remote_ = remote; }

    // Switched on by the session component once its settings are handed over.
    bool Active() const { return Active_; }
    void SetActive(bool active) { Active_ = active; }

    // Directory for temporary tables, stored trimmed, with "\" turned into "/"
    // and a trailing "/"; empty stays empty. Defaults to the temporary-files
    // directory.
    const std::string& PrivateDir() const { return PrivateDir_; }
    void SetPrivateDir(const std::string& dir);
    // The stored directory, or the current directory when it is empty.
    std::string GetPrivateDir() const;

    // Flush every written file to disk after writing a table's changes.
    bool ForceBufferFlush() const { return ForceBufferFlush_; }
    void SetForceBufferFlush(bool value) { ForceBufferFlush_ = value; }

    bool StrictChangeDetection() const { return StrictChangeDetection_; }
    void SetStrictChangeDetection(bool value) { StrictChangeDetection_ = value; }

    // Retries and the wait between them (ms) for record locks, whole-table
    // locks and semaphores.
    uint8_t LockRetryCount() const { return LockRetryCount_; }
    void SetLockRetryCount(uint8_t value) { LockRetryCount_ = value; }
    uint16_t LockWaitTime() const { return LockWaitTime_; }
    void SetLockWaitTime(uint16_t value) { LockWaitTime_ = value; }

    TLockProtocol LockProtocol() const { return LockProtocol_; }
    void SetLockProtocol(TLockProtocol value) { LockProtocol_ = value; }

    // Long operations report progress every 100 / ProgressSteps percent
    // (every 100 percent when 0).
    uint16_t ProgressSteps() const { return ProgressSteps_; }
    void SetProgressSteps(uint16_t value) { ProgressSteps_ = value; }

    // Table passwords. AddPassword ignores an empty password and one already
    // listed, and reuses a released object when one is pooled; DelPassword and
    // DelAllPasswords move objects to the pool.
    void AddPassword(const std::string& password);
    void DelPassword(const std::string& password);
    void DelAllPasswords();
    std::vector<std::string> PasswordTexts() const;
    const TTablePassword* FindPassword(const TPasswordDigest& digest) const;
    size_t PooledPasswordCount() const { return PasswordPool_.size(); }

    // Asked when no listed password opens an encrypted table; answers true to
    // search the (possibly extended) list again. Set by the session component.
    std::function<bool()> PasswordCallback;

    // Set while a trigger or other event handler of the engine runs for this
    // session.
    bool InCallback() const { return InCallback_; }
    void SetInCallback(bool value) { InCallback_ = value; }

    // --- Open database directories, reference-counted ---
    // The directory with this path (and, with matchNames, this name) gets one
    // more reference; otherwise a new directory object opens the path (its
    // lock file included). An empty path is the current directory, except for
    // the in-memory database "Memory".
    TDataDirectory* OpenDataDir(const std::string& name, const std::string& path, bool matchNames,
                                bool keepTablesOpen);
    // One reference less; the last one frees the directory and all it owns.
    void CloseDataDir(TDataDirectory* directory);
    const std::vector<std::unique_ptr<TDataDirectory>>& Directories() const { return Directories_; }

private:
    TDataEngine& Engine_;
    std::string Name_;
    bool Remote_ = false;
    bool Active_ = false;
    std::string PrivateDir_;
    bool ForceBufferFlush_ = false;
    bool StrictChangeDetection_ = false;
    uint8_t LockRetryCount_ = 15;
    uint16_t LockWaitTime_ = 100;
    TLockProtocol LockProtocol_ = lpPessimistic;
    uint16_t ProgressSteps_ = 20;
    bool InCallback_ = false;
    std::vector<std::unique_ptr<TTablePassword>> Passwords_;
    std::vector<std::unique_ptr<TTablePassword>> PasswordPool_;
    std::vector<std::unique_ptr<TDataDirectory>> Directories_;
};

}  // namespace dezede
