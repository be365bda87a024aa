#pragma once
// TDataEngine: the storage engine's root object, one per process. It holds
// the engine-wide settings, the values derived from them at start-up (lock
// geometry and file-size limits), the session registry, the random source of
// the locking protocol, and the hooks through which the component layer
// supplies application code. The engine component creates it, sets its
// settings and starts it.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "engine/buffered_file.h"
#include "engine/engine_hooks.h"
#include "engine/error_context.h"
#include "engine/file_registry.h"
#include "engine/lock_geometry.h"
#include "support/md5.h"

namespace dezede {

class TDataSession;

using TSignatureDigest = TMD5Digest;

class TDataEngine {
public:
    static constexpr const char* kDefaultSignature = "DEZEDE_SIG";
    static constexpr const char* kDefaultLockFileName = "dezede.lck";

    TDataEngine();
    // Shuts the engine down and frees every session still registered.
    ~TDataEngine();
    TDataEngine(const TDataEngine&) = delete;
    TDataEngine& operator=(const TDataEngine&) = delete;

    // The process's engine: the first one constructed and still alive, or nullptr.
    static TDataEngine* Instance();

    // --- Settings. Strings are kept to at most 255 characters. ---
    const std::string& EngineSignature() const { return EngineSignature_; }
    void SetEngineSignature(const std::string& value);
    // MD5 digest of EngineSignature; written into and checked against file headers.
    const TSignatureDigest& EngineSignatureDigest() const { return SignatureDigest_; }

    const std::string& LockFileName() const { return LockFileName_; }
    void SetLockFileName(const std::string& value);

    const std::string& TableDataExtension() const { return TableDataExtension_; }
    void SetTableDataExtension(const std::string& value);
    const std::string& TableIndexExtension() const { return TableIndexExtension_; }
    void SetTableIndexExtension(const std::string& value);
    const std::string& TableBlobExtension() const { return TableBlobExtension_; }
    void SetTableBlobExtension(const std::string& value);
    const std::string& TableDataBackupExtension() const { return TableDataBackupExtension_; }
    void SetTableDataBackupExtension(const std::string& value);
    const std::string& TableIndexBackupExtension() const { return TableIndexBackupExtension_; }
    void SetTableIndexBackupExtension(const std::string& value);
    const std::string& TableBlobBackupExtension() const { return TableBlobBackupExtension_; }
    void SetTableBlobBackupExtension(const std::string& value);
    const std::string& TableDataUpgradeExtension() const { return TableDataUpgradeExtension_; }
    void SetTableDataUpgradeExtension(const std::string& value);
    const std::string& TableIndexUpgradeExtension() const { return TableIndexUpgradeExtension_; }
    void SetTableIndexUpgradeExtension(const std::string& value);
    const std::string& TableBlobUpgradeExtension() const { return TableBlobUpgradeExtension_; }
    void SetTableBlobUpgradeExtension(const std::string& value);
    const std::string& TableDataTempExtension() const { return TableDataTempExtension_; }
    void SetTableDataTempExtension(const std::string& value);
    const std::string& TableIndexTempExtension() const { return TableIndexTempExtension_; }
    void SetTableIndexTempExtension(const std::string& value);
    const std::string& TableBlobTempExtension() const { return TableBlobTempExtension_; }
    void SetTableBlobTempExtension(const std::string& value);

    // Cache budgets (bytes and buffer counts) of data, index and BLOB files.
    int32_t MaxTableDataBufferSize() const { return MaxTableDataBufferSize_; }
    void SetMaxTableDataBufferSize(int32_t value) { MaxTableDataBufferSize_ = value; }
    int32_t MaxTableDataBufferCount() const { return MaxTableDataBufferCount_; }
    void SetMaxTableDataBufferCount(int32_t value) { MaxTableDataBufferCount_ = value; }
    int32_t MaxTableIndexBufferSize() const { return MaxTableIndexBufferSize_; }
    void SetMaxTableIndexBufferSize(int32_t value) { MaxTableIndexBufferSize_ = value; }
    int32_t MaxTableIndexBufferCount() const { return MaxTableIndexBufferCount_; }
    void SetMaxTableIndexBufferCount(int32_t value) { MaxTableIndexBufferCount_ = value; }
    int32_t MaxTableBlobBufferSize() const { return MaxTableBlobBufferSize_; }
    void SetMaxTableBlobBufferSize(int32_t value) { MaxTableBlobBufferSize_ = value; }
    int32_t MaxTableBlobBufferCount() const { return MaxTableBlobBufferCount_; }
    void SetMaxTableBlobBufferCount(int32_t value) { MaxTableBlobBufferCount_ = value; }

    // Selects the lock geometry and file limits; takes effect at Startup.
    bool LargeFileSupport() const { return LargeFileSupport_; }
    void SetLargeFileSupport(bool value) { LargeFileSupport_ = value; }

    // Temporary tables of maintenance go into the database directory instead
    // of the session's private directory.
    bool CreateTempTablesInDatabase() const { return CreateTempTablesInDatabase_; }
    void SetCreateTempTablesInDatabase(bool value) { CreateTempTablesInDatabase_ = value; }

    uint8_t TableFilterIndexThreshhold() const { return TableFilterIndexThreshhold_; }
    void SetTableFilterIndexThreshhold(uint8_t value) { TableFilterIndexThreshhold_ = value; }

    // Waits (ms) and retries of the table read, write and transaction locks.
    uint16_t TableReadLockWaitTime() const { return TableReadLockWaitTime_; }
    void SetTableReadLockWaitTime(uint16_t value) { TableReadLockWaitTime_ = value; }
    uint16_t TableReadLockRetryCount() const { return TableReadLockRetryCount_; }
    void SetTableReadLockRetryCount(uint16_t value) { TableReadLockRetryCount_ = value; }
    uint16_t TableWriteLockWaitTime() const { return TableWriteLockWaitTime_; }
    void SetTableWriteLockWaitTime(uint16_t value) { TableWriteLockWaitTime_ = value; }
    uint16_t TableWriteLockRetryCount() const { return TableWriteLockRetryCount_; }
    void SetTableWriteLockRetryCount(uint16_t value) { TableWriteLockRetryCount_ = value; }
    uint16_t TableTransLockWaitTime() const { return TableTransLockWaitTime_; }
    void SetTableTransLockWaitTime(uint16_t value) { TableTransLockWaitTime_ = value; }
    uint16_t TableTransLockRetryCount() const { return TableTransLockRetryCount_; }
    void SetTableTransLockRetryCount(uint16_t value) { TableTransLockRetryCount_ = value; }

    // How often a long filter evaluation releases the table read lock.
    uint16_t TableMaxReadLockCount() const { return TableMaxReadLockCount_; }
    void SetTableMaxReadLockCount(uint16_t value) { TableMaxReadLockCount_ = value; }

    // --- Life cycle. ---
    // Derives the limits from LargeFileSupport, seeds the random source, takes
    // the lock file name and marks the engine active.
    void Startup(const std::string& lockFileName);
    // Frees the unused entries of the file registry (physical files, then
    // memory files, so the in-memory database is emptied) and marks the
    // engine inactive.
    void Shutdown();
    bool Active() const { return Active_; }

    // Lock offsets and file-size limits in force (those of LargeFileSupport
    // off until the first Startup).
    const TLockGeometry& LockGeometry() const { return LockGeometry_; }
    const TFileLimits& FileLimits() const { return FileLimits_; }

    // The cache budgets of the three file kinds, from the settings above.
    TCacheBudget DataCacheBudget() const;
    TCacheBudget IndexCacheBudget() const;
    TCacheBudget BlobCacheBudget() const;

    // A uniform random number from 0 to upper inclusive (the locking
    // protocol's random bytes). Safe to call from several threads.
    uint32_t Random(uint32_t upper);

    // --- Session registry, guarded by its own mutex. ---
    TDataSession* CreateSession();
    // Removes the session from the registry and frees it; unknown pointers are ignored.
    void FreeSession(TDataSession* session);
    size_t SessionCount() const;

    // Records the context and throws EDEZEDEEngineError with the code.
    [[noreturn]] void RaiseError(uint16_t code, const TErrorArgs& args = {}) const;
    // The context of the last error raised.
    TErrorContext LastError() const;

    // "1.00" ... "4.00" for table format versions 0 to 6; empty above.
    static std::string TableVersionText(uint32_t version);

    // Hooks supplied by the component layer (text-index filters, custom
    // functions, triggers and their error events).
    TEngineHooks Hooks;

    // The registry of open physical and in-memory files. There is one engine
    // per process, so it is the process-wide registry.
    TFileRegistry& FileRegistry() const { return TFileRegistry::Instance(); }

    // The cipher and compression hooks are process-wide as well
    // (support/crypto_hooks.h); the engine component installs them.

private:
    std::string EngineSignature_ = kDefaultSignature;
    TSignatureDigest SignatureDigest_{};
    std::string LockFileName_ = kDefaultLockFileName;
    std::string TableDataExtension_ = ".dat";
    std::string TableIndexExtension_ = ".idx";
    std::string TableBlobExtension_ = ".blb";
    std::string TableDataBackupExtension_ = ".dbk";
    std::string TableIndexBackupExtension_ = ".ibk";
    std::string TableBlobBackupExtension_ = ".bbk";
    std::string TableDataUpgradeExtension_ = ".dup";
    std::string TableIndexUpgradeExtension_ = ".iup";
    std::string TableBlobUpgradeExtension_ = ".bup";
    std::string TableDataTempExtension_ = ".dat";
    std::string TableIndexTempExtension_ = ".idx";
    std::string TableBlobTempExtension_ = ".blb";
    int32_t MaxTableDataBufferSize_ = 32768;
    int32_t MaxTableDataBufferCount_ = 8192;
    int32_t MaxTableIndexBufferSize_ = 65536;
    int32_t MaxTableIndexBufferCount_ = 8192;
    int32_t MaxTableBlobBufferSize_ = 32768;
    int32_t MaxTableBlobBufferCount_ = 8192;
    bool LargeFileSupport_ = false;
    bool CreateTempTablesInDatabase_ = false;
    uint8_t TableFilterIndexThreshhold_ = 1;
    uint16_t TableReadLockWaitTime_ = 3;
    uint16_t TableReadLockRetryCount_ = 32768;
    uint16_t TableWriteLockWaitTime_ = 3;
    uint16_t TableWriteLockRetryCount_ = 32768;
    uint16_t TableTransLockWaitTime_ = 3;
    uint16_t TableTransLockRetryCount_ = 32768;
    uint16_t TableMaxReadLockCount_ = 100;

    bool Active_ = false;
    TLockGeometry LockGeometry_ = TLockGeometry::For(false);
    TFileLimits FileLimits_ = TFileLimits::Standard();

    std::mutex RandomMutex_;
    std::mt19937 Random_;

    mutable std::mutex SessionsMutex_;
    std::vector<std::unique_ptr<TDataSession>> Sessions_;
};

}  // namespace dezede
