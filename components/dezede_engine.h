#pragma once
// TDEZEDEEngine: the process-wide engine component. It holds the engine's
// global settings, owns the engine core (TDataEngine), starts and stops it,
// and keeps the list of session components.
//
// There is one instance per process. The component unit creates it (with the
// session "Default") on first use of GlobalEngine(), DefaultSession(),
// Create() or a session component, and frees it at process exit. Create()
// hands out that instance and counts a reference; beyond the unit's own and
// one more, it fails with "An engine component already exists". Release()
// gives a reference back.
//
// Settings are read with X() and written with SetX(). Every setting except
// Active, Functions and FilterRecordCounts is frozen while the engine is
// active: assigning a different value then fails with "Cannot perform this
// operation when the engine is active"; assigning the current value does
// nothing; while loading, the check is skipped.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "components/component.h"
#include "components/dezede_functions.h"
#include "engine/engine_hooks.h"
#include "support/crypto_hooks.h"

namespace dezede {

class TDataEngine;
class TDEZEDESession;

enum TEngineType : uint8_t { etClient, etServer };

inline constexpr const char* kEngineVersion = "4.30 Build 2";
// Built-in default of the server passwords and of the sessions' remote
// encryption password.
inline constexpr const char* kDefaultEncryptionPassword = "dezedeserve";

inline constexpr const char* kEngineActiveText = "Cannot perform this operation when the engine is active";
inline constexpr const char* kEngineExistsText = "An engine component already exists";
inline constexpr const char* kSessionNotValidText = "Session name '%s' is not valid";

class TDEZEDEEngine : public TComponent {
public:
    // Events that replace the built-in block cipher and compression; their
    // contracts are those of TCryptoHooks.
    using TCryptoInitEvent = decltype(TCryptoHooks::OnCryptoInit);
    using TCryptoBlockEvent = decltype(TCryptoHooks::OnEncryptBlock);
    using TCryptoResetEvent = decltype(TCryptoHooks::OnCryptoReset);
    using TCompressEvent = decltype(TCryptoHooks::OnCompress);
    using TDecompressEvent = decltype(TCryptoHooks::OnDecompress);
    // OnStartup, OnShutdown and the server events.
    using TEngineEvent = std::function<void(TDEZEDEEngine& sender)>;

    // The process's engine component (as GlobalEngine()); nullptr once freed.
    static TDEZEDEEngine* Instance();
    // The process's engine component with one more reference (see above).
    static TDEZEDEEngine* Create();
    // Drops one reference; the last one deactivates the engine, frees every
    // session component and the engine core.
    void Release();
    int ReferenceCount() const;

    // Activation starts the engine core; deactivation deactivates every
    // session (last to first) and stops it.
    bool Active() const { return FActive; }
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }

    // Read-only; writes are ignored.
    std::string EngineVersion() const { return kEngineVersion; }
    void SetEngineVersion(const std::string&) {}

    TEngineType EngineType() const { return FEngineType; }
    void SetEngineType(TEngineType value);
    const std::string& EngineSignature() const { return FEngineSignature; }
    void SetEngineSignature(const std::string& value);
    TDEZEDEFunctions& Functions() { return FFunctions; }
    const TDEZEDEFunctions& Functions() const { return FFunctions; }
    bool LargeFileSupport() const { return FLargeFileSupport; }
    void SetLargeFileSupport(bool value);
    // Plain setting, changeable at any time: whether a filtered or ranged
    // dataset counts only the records it shows.
    bool FilterRecordCounts() const { return FFilterRecordCounts; }
    void SetFilterRecordCounts(bool value) { FFilterRecordCounts = value; }
    const std::string& LockFileName() const { return FLockFileName; }
    void SetLockFileName(const std::string& value);

    // Buffer budgets; a value below the minimum is raised to it.
    int32_t MaxTableDataBufferSize() const { return FMaxTableDataBufferSize; }
    void SetMaxTableDataBufferSize(int32_t value);    // at least 8192
    int32_t MaxTableDataBufferCount() const { return FMaxTableDataBufferCount; }
    void SetMaxTableDataBufferCount(int32_t value);   // at least 16
    int32_t MaxTableIndexBufferSize() const { return FMaxTableIndexBufferSize; }
    void SetMaxTableIndexBufferSize(int32_t value);   // at least 32768
    int32_t MaxTableIndexBufferCount() const { return FMaxTableIndexBufferCount; }
    void SetMaxTableIndexBufferCount(int32_t value);  // at least 8
    int32_t MaxTableBlobBufferSize() const { return FMaxTableBlobBufferSize; }
    void SetMaxTableBlobBufferSize(int32_t value);    // at least 8192
    int32_t MaxTableBlobBufferCount() const { return FMaxTableBlobBufferCount; }
    void SetMaxTableBlobBufferCount(int32_t value);   // at least 32

    // File extensions: "." is put in front of a value that lacks it; an empty
    // value is refused with "Table file extension cannot be empty".
    const std::string& TableDataExtension() const { return FTableDataExtension; }
    void SetTableDataExtension(const std::string& value);
    const std::string& TableIndexExtension() const { return FTableIndexExtension; }
    void SetTableIndexExtension(const std::string& value);
    const std::string& TableBlobExtension() const { return FTableBlobExtension; }
    void SetTableBlobExtension(const std::string& value);
    const std::string& TableDataBackupExtension() const { return FTableDataBackupExtension; }
    void SetTableDataBackupExtension(const std::string& value);
    const std::string& TableIndexBackupExtension() const { return FTableIndexBackupExtension; }
    void SetTableIndexBackupExtension(const std::string& value);
    const std::string& TableBlobBackupExtension() const { return FTableBlobBackupExtension; }
    void SetTableBlobBackupExtension(const std::string& value);
    const std::string& TableDataUpgradeExtension() const { return FTableDataUpgradeExtension; }
    void SetTableDataUpgradeExtension(const std::string& value);
    const std::string& TableIndexUpgradeExtension() const { return FTableIndexUpgradeExtension; }
    void SetTableIndexUpgradeExtension(const std::string& value);
    const std::string& TableBlobUpgradeExtension() const { return FTableBlobUpgradeExtension; }
    void SetTableBlobUpgradeExtension(const std::string& value);
    const std::string& TableDataTempExtension() const { return FTableDataTempExtension; }
    void SetTableDataTempExtension(const std::string& value);
    const std::string& TableIndexTempExtension() const { return FTableIndexTempExtension; }
    void SetTableIndexTempExtension(const std::string& value);
    const std::string& TableBlobTempExtension() const { return FTableBlobTempExtension; }
    void SetTableBlobTempExtension(const std::string& value);

    bool CreateTempTablesInDatabase() const { return FCreateTempTablesInDatabase; }
    void SetCreateTempTablesInDatabase(bool value);
    // Percent; a value above 100 is ignored.
    uint8_t TableFilterIndexThreshhold() const { return FTableFilterIndexThreshhold; }
    void SetTableFilterIndexThreshhold(uint8_t value);
    uint16_t TableReadLockWaitTime() const { return FTableReadLockWaitTime; }
    void SetTableReadLockWaitTime(uint16_t value);
    uint16_t TableReadLockRetryCount() const { return FTableReadLockRetryCount; }
    void SetTableReadLockRetryCount(uint16_t value);
    uint16_t TableWriteLockWaitTime() const { return FTableWriteLockWaitTime; }
    void SetTableWriteLockWaitTime(uint16_t value);
    uint16_t TableWriteLockRetryCount() const { return FTableWriteLockRetryCount; }
    void SetTableWriteLockRetryCount(uint16_t value);
    uint16_t TableTransLockWaitTime() const { return FTableTransLockWaitTime; }
    void SetTableTransLockWaitTime(uint16_t value);
    uint16_t TableTransLockRetryCount() const { return FTableTransLockRetryCount; }
    void SetTableTransLockRetryCount(uint16_t value);
    // 0 is ignored.
    uint16_t TableMaxReadLockCount() const { return FTableMaxReadLockCount; }
    void SetTableMaxReadLockCount(uint16_t value);

    // Server mode settings, carried as plain settings.
    const std::string& ServerName() const { return FServerName; }
    void SetServerName(const std::string& value);
    const std::string& ServerDescription() const { return FServerDescription; }
    void SetServerDescription(const std::string& value);
    const std::string& ServerMainAddress() const { return FServerMainAddress; }
    void SetServerMainAddress(const std::string& value);
    int32_t ServerMainPort() const { return FServerMainPort; }
    void SetServerMainPort(int32_t value);
    int32_t ServerMainThreadCacheSize() const { return FServerMainThreadCacheSize; }
    void SetServerMainThreadCacheSize(int32_t value);
    const std::string& ServerAdminAddress() const { return FServerAdminAddress; }
    void SetServerAdminAddress(const std::string& value);
    int32_t ServerAdminPort() const { return FServerAdminPort; }
    void SetServerAdminPort(int32_t value);
    int32_t ServerAdminThreadCacheSize() const { return FServerAdminThreadCacheSize; }
    void SetServerAdminThreadCacheSize(int32_t value);
    bool ServerEncryptedOnly() const { return FServerEncryptedOnly; }
    void SetServerEncryptedOnly(bool value);
    const std::string& ServerEncryptionPassword() const { return FServerEncryptionPassword; }
    void SetServerEncryptionPassword(const std::string& value);
    const std::string& ServerConfigFileName() const { return FServerConfigFileName; }
    void SetServerConfigFileName(const std::string& value);
    const std::string& ServerConfigPassword() const { return FServerConfigPassword; }
    void SetServerConfigPassword(const std::string& value);

    // --- Events. Unassigned events are not called. ---
    // Cipher and compression: each assignment installs the process-wide hook
    // set (SetCryptoHooks); with all six empty the built-in routines are used.
    // Tables already open keep the set they were keyed with.
    const TCryptoInitEvent& OnCryptoInit() const { return FCryptoHooks.OnCryptoInit; }
    void SetOnCryptoInit(TCryptoInitEvent event);
    const TCryptoBlockEvent& OnEncryptBlock() const { return FCryptoHooks.OnEncryptBlock; }
    void SetOnEncryptBlock(TCryptoBlockEvent event);
    const TCryptoBlockEvent& OnDecryptBlock() const { return FCryptoHooks.OnDecryptBlock; }
    void SetOnDecryptBlock(TCryptoBlockEvent event);
    const TCryptoResetEvent& OnCryptoReset() const { return FCryptoHooks.OnCryptoReset; }
    void SetOnCryptoReset(TCryptoResetEvent event);
    const TCompressEvent& OnCompress() const { return FCryptoHooks.OnCompress; }
    void SetOnCompress(TCompressEvent event);
    const TDecompressEvent& OnDecompress() const { return FCryptoHooks.OnDecompress; }
    void SetOnDecompress(TDecompressEvent event);
    // Text indexing, custom functions and triggers: installed straight into
    // the engine core, which calls them.
    const TTextIndexFilterHook& OnTextIndexFilter() const;
    void SetOnTextIndexFilter(TTextIndexFilterHook event);
    const TTextIndexTokenFilterHook& OnTextIndexTokenFilter() const;
    void SetOnTextIndexTokenFilter(TTextIndexTokenFilterHook event);
    const TCustomFunctionHook& OnCustomFunction() const;
    void SetOnCustomFunction(TCustomFunctionHook event);
    const TTriggerHook& BeforeInsertTrigger() const;
    void SetBeforeInsertTrigger(TTriggerHook event);
    const TTriggerHook& AfterInsertTrigger() const;
    void SetAfterInsertTrigger(TTriggerHook event);
    const TTriggerHook& BeforeUpdateTrigger() const;
    void SetBeforeUpdateTrigger(TTriggerHook event);
    const TTriggerHook& AfterUpdateTrigger() const;
    void SetAfterUpdateTrigger(TTriggerHook event);
    const TTriggerHook& BeforeDeleteTrigger() const;
    void SetBeforeDeleteTrigger(TTriggerHook event);
    const TTriggerHook& AfterDeleteTrigger() const;
    void SetAfterDeleteTrigger(TTriggerHook event);
    const TTriggerErrorHook& OnInsertError() const;
    void SetOnInsertError(TTriggerErrorHook event);
    const TTriggerErrorHook& OnUpdateError() const;
    void SetOnUpdateError(TTriggerErrorHook event);
    const TTriggerErrorHook& OnDeleteError() const;
    void SetOnDeleteError(TTriggerErrorHook event);
    // Called before the core starts and after it stops.
    const TEngineEvent& OnStartup() const { return FOnStartup; }
    void SetOnStartup(TEngineEvent event) { FOnStartup = std::move(event); }
    const TEngineEvent& OnShutdown() const { return FOnShutdown; }
    void SetOnShutdown(TEngineEvent event) { FOnShutdown = std::move(event); }
    // Server mode events, carried only.
    const TEngineEvent& OnServerStart() const { return FOnServerStart; }
    void SetOnServerStart(TEngineEvent event) { FOnServerStart = std::move(event); }
    const TEngineEvent& OnServerStop() const { return FOnServerStop; }
    void SetOnServerStop(TEngineEvent event) { FOnServerStop = std::move(event); }
    const TEngineEvent& OnServerProcedure() const { return FOnServerProcedure; }
    void SetOnServerProcedure(TEngineEvent event) { FOnServerProcedure = std::move(event); }

    // --- Sessions. ---
    // The session whose SessionName equals name without regard to case; an
    // empty name means the default session. nullptr when there is none.
    TDEZEDESession* FindSession(const std::string& name) const;
    // As FindSession, but fails with "Session name '%s' is not valid".
    TDEZEDESession& GetSession(const std::string& name) const;
    // The session components in creation order.
    std::vector<TDEZEDESession*> Sessions() const;
    // The session "Default" created with the engine.
    TDEZEDESession* DefaultSession() const { return FDefaultSession; }

    // The engine core.
    TDataEngine& DataEngine() const { return *FEngine; }

protected:
    void Loaded() override;

private:
    friend class TDEZEDESession;
    friend struct TEngineUnit;

    TDEZEDEEngine();
    ~TDEZEDEEngine() override;

    // Unit initialisation and finalisation.
    static void Initialize();
    static void Finalize();

    template <class T>
    bool Change(T& field, const T& value);
    // The extension rule; true when the stored value changed.
    bool AssignExtension(std::string& field, const std::string& value);

    // Installs FCryptoHooks process-wide, or the built-in routines when all are empty.
    void InstallCryptoHooks();

    // The session list and the auto-session numbers, under FSessionsMutex.
    void AddSession(TDEZEDESession* session);
    void RemoveSession(TDEZEDESession* session);
    int TakeSessionNumber();
    void FreeSessionNumber(int number);

    std::unique_ptr<TDataEngine> FEngine;
    int FRefCount = 1;
    bool FActive = false;
    bool FStreamedActive = false;
    TEngineType FEngineType = etClient;
    std::string FEngineSignature = "DEZEDE_SIG";
    TDEZEDEFunctions FFunctions;
    bool FLargeFileSupport = false;
    bool FFilterRecordCounts = true;
    std::string FLockFileName = "dezede.lck";
    int32_t FMaxTableDataBufferSize = 32768;
    int32_t FMaxTableDataBufferCount = 8192;
    int32_t FMaxTableIndexBufferSize = 65536;
    int32_t FMaxTableIndexBufferCount = 8192;
    int32_t FMaxTableBlobBufferSize = 32768;
    int32_t FMaxTableBlobBufferCount = 8192;
    std::string FTableDataExtension = ".dat";
    std::string FTableIndexExtension = ".idx";
    std::string FTableBlobExtension = ".blb";
    std::string FTableDataBackupExtension = ".dbk";
    std::string FTableIndexBackupExtension = ".ibk";
    std::string FTableBlobBackupExtension = ".bbk";
    std::string FTableDataUpgradeExtension = ".dup";
    std::string FTableIndexUpgradeExtension = ".iup";
    std::string FTableBlobUpgradeExtension = ".bup";
    std::string FTableDataTempExtension = ".dat";
    std::string FTableIndexTempExtension = ".idx";
    std::string FTableBlobTempExtension = ".blb";
    bool FCreateTempTablesInDatabase = false;
    uint8_t FTableFilterIndexThreshhold = 1;
    uint16_t FTableReadLockWaitTime = 3;
    uint16_t FTableReadLockRetryCount = 32768;
    uint16_t FTableWriteLockWaitTime = 3;
    uint16_t FTableWriteLockRetryCount = 32768;
    uint16_t FTableTransLockWaitTime = 3;
    uint16_t FTableTransLockRetryCount = 32768;
    uint16_t FTableMaxReadLockCount = 100;
    std::string FServerName = "DZSRVR";
    std::string FServerDescription = "DEZEDE Database Server";
    std::string FServerMainAddress;
    int32_t FServerMainPort = 12005;
    int32_t FServerMainThreadCacheSize = 10;
    std::string FServerAdminAddress;
    int32_t FServerAdminPort = 12006;
    int32_t FServerAdminThreadCacheSize = 1;
    bool FServerEncryptedOnly = false;
    std::string FServerEncryptionPassword = kDefaultEncryptionPassword;
    std::string FServerConfigFileName = "dzsrvr.scf";
    std::string FServerConfigPassword = kDefaultEncryptionPassword;

    TCryptoHooks FCryptoHooks;
    TEngineEvent FOnStartup;
    TEngineEvent FOnShutdown;
    TEngineEvent FOnServerStart;
    TEngineEvent FOnServerStop;
    TEngineEvent FOnServerProcedure;

    mutable std::recursive_mutex FSessionsMutex;
    std::vector<TDEZEDESession*> FSessions;
    std::vector<bool> FSessionNumbers;
    TDEZEDESession* FDefaultSession = nullptr;
};

}  // namespace dezede
