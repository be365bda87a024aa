#include "components/dezede_engine.h"

#include <atomic>

#include "components/dezede_session.h"
#include "components/same_text.h"
#include "engine/data_engine.h"
#include "support/database_error.h"

namespace dezede {

namespace {

std::atomic<TDEZEDEEngine*> gEngine{nullptr};

// Guards creation, the reference count and freeing of the engine component.
std::mutex& ReferenceMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string Cut255(const std::string& s) { return s.size() > 255 ? s.substr(0, 255) : s; }

}  // namespace

// The component unit: created on first use, finalised at process exit.
struct TEngineUnit {
    TEngineUnit() { TDEZEDEEngine::Initialize(); }
    ~TEngineUnit() { TDEZEDEEngine::Finalize(); }
    TEngineUnit(const TEngineUnit&) = delete;
    TEngineUnit& operator=(const TEngineUnit&) = delete;
};

namespace {
void EnsureUnit() { static TEngineUnit unit; }
}  // namespace

void TDEZEDEEngine::Initialize() {
    TDEZEDEEngine* engine = new TDEZEDEEngine();
    gEngine = engine;
    engine->FDefaultSession = new TDEZEDESession();
    engine->FDefaultSession->SetSessionName(kDefaultSessionName);
}

void TDEZEDEEngine::Finalize() {
    if (TDEZEDEEngine* engine = gEngine.load()) engine->Release();
}

TDEZEDEEngine* TDEZEDEEngine::Instance() {
    if (TDEZEDEEngine* engine = gEngine.load()) return engine;
    EnsureUnit();
    return gEngine.load();
}

TDEZEDEEngine* TDEZEDEEngine::Create() {
    TDEZEDEEngine* engine = Instance();
    std::lock_guard lock(ReferenceMutex());
    if (engine == nullptr) throw EDatabaseError("The engine component has been freed");
    if (engine->FRefCount >= 2) throw EDatabaseError(kEngineExistsText);
    ++engine->FRefCount;
    return engine;
}

void TDEZEDEEngine::Release() {
    {
        std::lock_guard lock(ReferenceMutex());
        if (--FRefCount > 0) return;
        gEngine = nullptr;
    }
    delete this;
}

int TDEZEDEEngine::ReferenceCount() const {
    std::lock_guard lock(ReferenceMutex());
    return FRefCount;
}

TDEZEDEEngine::TDEZEDEEngine() : FEngine(std::make_unique<TDataEngine>()) {}

TDEZEDEEngine::~TDEZEDEEngine() {
    try {
        SetActive(false);
    } catch (...) {
        // Freeing goes on whatever a handler raised while shutting down.
    }
    {
        std::lock_guard lock(FSessionsMutex);
        while (!FSessions.empty()) delete FSessions.back();  // each session leaves the list itself
    }
    FDefaultSession = nullptr;
    DestroyComponents();
    if (FCryptoHooks.OnCryptoInit || FCryptoHooks.OnEncryptBlock || FCryptoHooks.OnDecryptBlock ||
        FCryptoHooks.OnCryptoReset || FCryptoHooks.OnCompress || FCryptoHooks.OnDecompress)
        SetCryptoHooks(nullptr);
    FEngine.reset();
}

void TDEZEDEEngine::SetActive(bool value) {
    if (Loading()) {
        FStreamedActive = value;
        return;
    }
    if (value == FActive) return;
    if (value) {
        if (FOnStartup) FOnStartup(*this);
        FEngine->Startup(Cut255(FLockFileName));
        FActive = true;
        return;
    }
    {
        std::lock_guard lock(FSessionsMutex);
        for (size_t i = FSessions.size(); i-- > 0;)
            if (i < FSessions.size()) FSessions[i]->SetActive(false);
    }
    FEngine->Shutdown();
    FActive = false;
    if (FOnShutdown) FOnShutdown(*this);
}

void TDEZEDEEngine::Loaded() {
    TComponent::Loaded();
    if (FStreamedActive) SetActive(true);
}

template <class T>
bool TDEZEDEEngine::Change(T& field, const T& value) {
    if (field == value) return false;
    if (FActive && !Loading()) throw EDatabaseError(kEngineActiveText);
    field = value;
    return true;
}

void TDEZEDEEngine::SetEngineType(TEngineType value) { Change(FEngineType, value); }

void TDEZEDEEngine::SetEngineSignature(const std::string& value) {
    if (Change(FEngineSignature, value)) FEngine->SetEngineSignature(value);
}

void TDEZEDEEngine::SetLargeFileSupport(bool value) {
    if (Change(FLargeFileSupport, value)) FEngine->SetLargeFileSupport(value);
}

void TDEZEDEEngine::SetLockFileName(const std::string& value) {
    if (Change(FLockFileName, value)) FEngine->SetLockFileName(value);
}

void TDEZEDEEngine::SetMaxTableDataBufferSize(int32_t value) {
    if (Change(FMaxTableDataBufferSize, std::max(value, 8192))) FEngine->SetMaxTableDataBufferSize(FMaxTableDataBufferSize);
}
void TDEZEDEEngine::SetMaxTableDataBufferCount(int32_t value) {
    if (Change(FMaxTableDataBufferCount, std::max(value, 16)))
        FEngine->SetMaxTableDataBufferCount(FMaxTableDataBufferCount);
}
void TDEZEDEEngine::SetMaxTableIndexBufferSize(int32_t value) {
    if (Change(FMaxTableIndexBufferSize, std::max(value, 32768)))
        FEngine->SetMaxTableIndexBufferSize(FMaxTableIndexBufferSize);
}
void TDEZEDEEngine::SetMaxTableIndexBufferCount(int32_t value) {
    if (Change(FMaxTableIndexBufferCount, std::max(value, 8)))
        FEngine->SetMaxTableIndexBufferCount(FMaxTableIndexBufferCount);
}
void TDEZEDEEngine::SetMaxTableBlobBufferSize(int32_t value) {
    if (Change(FMaxTableBlobBufferSize, std::max(value, 8192))) FEngine->SetMaxTableBlobBufferSize(FMaxTableBlobBufferSize);
}
void TDEZEDEEngine::SetMaxTableBlobBufferCount(int32_t value) {
    if (Change(FMaxTableBlobBufferCount, std::max(value, 32)))
        FEngine->SetMaxTableBlobBufferCount(FMaxTableBlobBufferCount);
}

bool TDEZEDEEngine::AssignExtension(std::string& field, const std::string& value) {
    // An empty extension would make every file of the directory look like a table file.
    if (value.empty()) throw EDatabaseError("Table file extension cannot be empty");
    return Change(field, value[0] == '.' ? value : "." + value);
}

void TDEZEDEEngine::SetTableDataExtension(const std::string& value) {
    if (AssignExtension(FTableDataExtension, value)) FEngine->SetTableDataExtension(FTableDataExtension);
}
void TDEZEDEEngine::SetTableIndexExtension(const std::string& value) {
    if (AssignExtension(FTableIndexExtension, value)) FEngine->SetTableIndexExtension(FTableIndexExtension);
}
void TDEZEDEEngine::SetTableBlobExtension(const std::string& value) {
    if (AssignExtension(FTableBlobExtension, value)) FEngine->SetTableBlobExtension(FTableBlobExtension);
}
void TDEZEDEEngine::SetTableDataBackupExtension(const std::string& value) {
    if (AssignExtension(FTableDataBackupExtension, value)) FEngine->SetTableDataBackupExtension(FTableDataBackupExtension);
}
void TDEZEDEEngine::SetTableIndexBackupExtension(const std::string& value) {
    if (AssignExtension(FTableIndexBackupExtension, value)) FEngine->SetTableIndexBackupExtension(FTableIndexBackupExtension);
}
void TDEZEDEEngine::SetTableBlobBackupExtension(const std::string& value) {
    if (AssignExtension(FTableBlobBackupExtension, value)) FEngine->SetTableBlobBackupExtension(FTableBlobBackupExtension);
}
void TDEZEDEEngine::SetTableDataUpgradeExtension(const std::string& value) {
    if (AssignExtension(FTableDataUpgradeExtension, value)) FEngine->SetTableDataUpgradeExtension(FTableDataUpgradeExtension);
}
void TDEZEDEEngine::SetTableIndexUpgradeExtension(const std::string& value) {
    if (AssignExtension(FTableIndexUpgradeExtension, value)) FEngine->SetTableIndexUpgradeExtension(FTableIndexUpgradeExtension);
}
void TDEZEDEEngine::SetTableBlobUpgradeExtension(const std::string& value) {
    if (AssignExtension(FTableBlobUpgradeExtension, value)) FEngine->SetTableBlobUpgradeExtension(FTableBlobUpgradeExtension);
}
void TDEZEDEEngine::SetTableDataTempExtension(const std::string& value) {
    if (AssignExtension(FTableDataTempExtension, value)) FEngine->SetTableDataTempExtension(FTableDataTempExtension);
}
void TDEZEDEEngine::SetTableIndexTempExtension(const std::string& value) {
    if (AssignExtension(FTableIndexTempExtension, value)) FEngine->SetTableIndexTempExtension(FTableIndexTempExtension);
}
void TDEZEDEEngine::SetTableBlobTempExtension(const std::string& value) {
    if (AssignExtension(FTableBlobTempExtension, value)) FEngine->SetTableBlobTempExtension(FTableBlobTempExtension);
}

void TDEZEDEEngine::SetCreateTempTablesInDatabase(bool value) {
    if (Change(FCreateTempTablesInDatabase, value)) FEngine->SetCreateTempTablesInDatabase(value);
}

void TDEZEDEEngine::SetTableFilterIndexThreshhold(uint8_t value) {
    if (value > 100) return;
    if (Change(FTableFilterIndexThreshhold, value)) FEngine->SetTableFilterIndexThreshhold(value);
}

void TDEZEDEEngine::SetTableReadLockWaitTime(uint16_t value) {
    if (Change(FTableReadLockWaitTime, value)) FEngine->SetTableReadLockWaitTime(value);
}
void TDEZEDEEngine::SetTableReadLockRetryCount(uint16_t value) {
    if (Change(FTableReadLockRetryCount, value)) FEngine->SetTableReadLockRetryCount(value);
}
void TDEZEDEEngine::SetTableWriteLockWaitTime(uint16_t value) {
    if (Change(FTableWriteLockWaitTime, value)) FEngine->SetTableWriteLockWaitTime(value);
}
void TDEZEDEEngine::SetTableWriteLockRetryCount(uint16_t value) {
    if (Change(FTableWriteLockRetryCount, value)) FEngine->SetTableWriteLockRetryCount(value);
}
void TDEZEDEEngine::SetTableTransLockWaitTime(uint16_t value) {
    if (Change(FTableTransLockWaitTime, value)) FEngine->SetTableTransLockWaitTime(value);
}
void TDEZEDEEngine::SetTableTransLockRetryCount(uint16_t value) {
    if (Change(FTableTransLockRetryCount, value)) FEngine->SetTableTransLockRetryCount(value);
}

void TDEZEDEEngine::SetTableMaxReadLockCount(uint16_t value) {
    if (value == 0) return;
    if (Change(FTableMaxReadLockCount, value)) FEngine->SetTableMaxReadLockCount(value);
}

void TDEZEDEEngine::SetServerName(const std::string& value) { Change(FServerName, value); }
void TDEZEDEEngine::SetServerDescription(const std::string& value) { Change(FServerDescription, value); }
void TDEZEDEEngine::SetServerMainAddress(const std::string& value) { Change(FServerMainAddress, value); }
void TDEZEDEEngine::SetServerMainPort(int32_t value) { Change(FServerMainPort, value); }
void TDEZEDEEngine::SetServerMainThreadCacheSize(int32_t value) { Change(FServerMainThreadCacheSize, value); }
void TDEZEDEEngine::SetServerAdminAddress(const std::string& value) { Change(FServerAdminAddress, value); }
void TDEZEDEEngine::SetServerAdminPort(int32_t value) { Change(FServerAdminPort, value); }
void TDEZEDEEngine::SetServerAdminThreadCacheSize(int32_t value) { Change(FServerAdminThreadCacheSize, value); }
void TDEZEDEEngine::SetServerEncryptedOnly(bool value) { Change(FServerEncryptedOnly, value); }
void TDEZEDEEngine::SetServerEncryptionPassword(const std::string& value) {
    Change(FServerEncryptionPassword, value);
}
void TDEZEDEEngine::SetServerConfigFileName(const std::string& value) { Change(FServerConfigFileName, value); }
void TDEZEDEEngine::SetServerConfigPassword(const std::string& value) { Change(FServerConfigPassword, value); }

void TDEZEDEEngine::InstallCryptoHooks() {
    const TCryptoHooks& h = FCryptoHooks;
    const bool any = h.OnCryptoInit || h.OnEncryptBlock || h.OnDecryptBlock || h.OnCryptoReset || h.OnCompress ||
                     h.OnDecompress;
    SetCryptoHooks(any ? std::make_shared<const TCryptoHooks>(h) : nullptr);
}

void TDEZEDEEngine::SetOnCryptoInit(TCryptoInitEvent event) {
    FCryptoHooks.OnCryptoInit = std::move(event);
    InstallCryptoHooks();
}
void TDEZEDEEngine::SetOnEncryptBlock(TCryptoBlockEvent event) {
    FCryptoHooks.OnEncryptBlock = std::move(event);
    InstallCryptoHooks();
}
void TDEZEDEEngine::SetOnDecryptBlock(TCryptoBlockEvent event) {
    FCryptoHooks.OnDecryptBlock = std::move(event);
    InstallCryptoHooks();
}
void TDEZEDEEngine::SetOnCryptoReset(TCryptoResetEvent event) {
    FCryptoHooks.OnCryptoReset = std::move(event);
    InstallCryptoHooks();
}
void TDEZEDEEngine::SetOnCompress(TCompressEvent event) {
    FCryptoHooks.OnCompress = std::move(event);
    InstallCryptoHooks();
}
void TDEZEDEEngine::SetOnDecompress(TDecompressEvent event) {
    FCryptoHooks.OnDecompress = std::move(event);
    InstallCryptoHooks();
}

const TTextIndexFilterHook& TDEZEDEEngine::OnTextIndexFilter() const { return FEngine->Hooks.OnTextIndexFilter; }
void TDEZEDEEngine::SetOnTextIndexFilter(TTextIndexFilterHook event) {
    FEngine->Hooks.OnTextIndexFilter = std::move(event);
}
const TTextIndexTokenFilterHook& TDEZEDEEngine::OnTextIndexTokenFilter() const {
    return FEngine->Hooks.OnTextIndexTokenFilter;
}
void TDEZEDEEngine::SetOnTextIndexTokenFilter(TTextIndexTokenFilterHook event) {
    FEngine->Hooks.OnTextIndexTokenFilter = std::move(event);
}
const TCustomFunctionHook& TDEZEDEEngine::OnCustomFunction() const { return FEngine->Hooks.OnCustomFunction; }
void TDEZEDEEngine::SetOnCustomFunction(TCustomFunctionHook event) {
    FEngine->Hooks.OnCustomFunction = std::move(event);
}
const TTriggerHook& TDEZEDEEngine::BeforeInsertTrigger() const { return FEngine->Hooks.BeforeInsertTrigger; }
void TDEZEDEEngine::SetBeforeInsertTrigger(TTriggerHook event) {
    FEngine->Hooks.BeforeInsertTrigger = std::move(event);
}
const TTriggerHook& TDEZEDEEngine::AfterInsertTrigger() const { return FEngine->Hooks.AfterInsertTrigger; }
void TDEZEDEEngine::SetAfterInsertTrigger(TTriggerHook event) { FEngine->Hooks.AfterInsertTrigger = std::move(event); }
const TTriggerHook& TDEZEDEEngine::BeforeUpdateTrigger() const { return FEngine->Hooks.BeforeUpdateTrigger; }
void TDEZEDEEngine::SetBeforeUpdateTrigger(TTriggerHook event) {
    FEngine->Hooks.BeforeUpdateTrigger = std::move(event);
}
const TTriggerHook& TDEZEDEEngine::AfterUpdateTrigger() const { return FEngine->Hooks.AfterUpdateTrigger; }
void TDEZEDEEngine::SetAfterUpdateTrigger(TTriggerHook event) { FEngine->Hooks.AfterUpdateTrigger = std::move(event); }
const TTriggerHook& TDEZEDEEngine::BeforeDeleteTrigger() const { return FEngine->Hooks.BeforeDeleteTrigger; }
void TDEZEDEEngine::SetBeforeDeleteTrigger(TTriggerHook event) {
    FEngine->Hooks.BeforeDeleteTrigger = std::move(event);
}
const TTriggerHook& TDEZEDEEngine::AfterDeleteTrigger() const { return FEngine->Hooks.AfterDeleteTrigger; }
void TDEZEDEEngine::SetAfterDeleteTrigger(TTriggerHook event) { FEngine->Hooks.AfterDeleteTrigger = std::move(event); }
const TTriggerErrorHook& TDEZEDEEngine::OnInsertError() const { return FEngine->Hooks.OnInsertError; }
void TDEZEDEEngine::SetOnInsertError(TTriggerErrorHook event) { FEngine->Hooks.OnInsertError = std::move(event); }
const TTriggerErrorHook& TDEZEDEEngine::OnUpdateError() const { return FEngine->Hooks.OnUpdateError; }
void TDEZEDEEngine::SetOnUpdateError(TTriggerErrorHook event) { FEngine->Hooks.OnUpdateError = std::move(event); }
const TTriggerErrorHook& TDEZEDEEngine::OnDeleteError() const { return FEngine->Hooks.OnDeleteError; }
void TDEZEDEEngine::SetOnDeleteError(TTriggerErrorHook event) { FEngine->Hooks.OnDeleteError = std::move(event); }

TDEZEDESession* TDEZEDEEngine::FindSession(const std::string& name) const {
    std::lock_guard lock(FSessionsMutex);
    if (name.empty()) return FDefaultSession;
    for (TDEZEDESession* session : FSessions)
        if (SameText(session->SessionName(), name)) return session;
    return nullptr;
}

TDEZEDESession& TDEZEDEEngine::GetSession(const std::string& name) const {
    TDEZEDESession* session = FindSession(name);
    if (session == nullptr) throw EDatabaseError::Fmt(kSessionNotValidText, name);
    return *session;
}

std::vector<TDEZEDESession*> TDEZEDEEngine::Sessions() const {
    std::lock_guard lock(FSessionsMutex);
    return FSessions;
}

void TDEZEDEEngine::AddSession(TDEZEDESession* session) {
    std::lock_guard lock(FSessionsMutex);
    FSessions.push_back(session);
}

void TDEZEDEEngine::RemoveSession(TDEZEDESession* session) {
    std::lock_guard lock(FSessionsMutex);
    std::erase(FSessions, session);
    if (session == FDefaultSession) FDefaultSession = nullptr;
}

int TDEZEDEEngine::TakeSessionNumber() {
    std::lock_guard lock(FSessionsMutex);
    size_t n = 0;
    while (n < FSessionNumbers.size() && FSessionNumbers[n]) ++n;
    if (n == FSessionNumbers.size()) FSessionNumbers.push_back(false);
    FSessionNumbers[n] = true;
    return static_cast<int>(n);
}

void TDEZEDEEngine::FreeSessionNumber(int number) {
    std::lock_guard lock(FSessionsMutex);
    if (number >= 0 && static_cast<size_t>(number) < FSessionNumbers.size()) FSessionNumbers[number] = false;
}

}  // namespace dezede
