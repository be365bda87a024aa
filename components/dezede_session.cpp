#include "components/dezede_session.h"

#include <algorithm>
#include <atomic>

#include "components/dezede_engine.h"
#include "components/global_engine.h"
#include "components/same_text.h"
#include "components/session_link.h"
#include "engine/data_engine.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "support/database_error.h"

namespace dezede {

namespace {

std::atomic<uint64_t> gNextSessionId{1};

TDEZEDEEngine& EngineComponent() {
    TDEZEDEEngine* engine = GlobalEngine();
    if (engine == nullptr) throw EDatabaseError("The engine component has been freed");
    return *engine;
}

std::string Cut255(const std::string& s) { return s.size() > 255 ? s.substr(0, 255) : s; }

// Restores a flag when the scope ends, also on failure.
class TFlagGuard {
public:
    explicit TFlagGuard(bool& flag) : Flag_(flag) { Flag_ = true; }
    ~TFlagGuard() { Flag_ = false; }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
    bool& Flag_;
};

}  // namespace

TDEZEDESession::TDEZEDESession(TComponent* owner)
    : TComponent(owner),
      FEngine(EngineComponent()),
      FSessionId(gNextSessionId++),
      FRemoteEncryptionPassword(kDefaultEncryptionPassword) {
    if (owner != nullptr) {
        for (TComponent* c : owner->Components()) {
            auto* other = dynamic_cast<TDEZEDESession*>(c);
            if (other != nullptr && other != this && other->AutoSessionName())
                throw EDatabaseError(kAutoSessionExistsText);
        }
    }
    FEngine.AddSession(this);
}

TDEZEDESession::~TDEZEDESession() {
    try {
        SetActive(false);
    } catch (...) {
        // Destruction goes on whatever a handler raised while deactivating.
    }
    DestroyComponents();
    if (FAutoSessionNumber >= 0) FEngine.FreeSessionNumber(FAutoSessionNumber);
    FEngine.RemoveSession(this);
}

std::string TDEZEDESession::EngineVersion() const { return kEngineVersion; }

bool TDEZEDESession::IsDefault() const { return FEngine.DefaultSession() == this; }

void TDEZEDESession::CheckInactive() const {
    if (FActive) throw EDatabaseError(kSessionActiveText);
}

template <class T>
bool TDEZEDESession::ChangeInactive(T& field, const T& value) {
    if (field == value) return false;
    CheckInactive();
    field = value;
    return true;
}

void TDEZEDESession::SetActive(bool value) {
    if (Loading()) {
        FStreamedActive = value;
        return;
    }
    if (value == FActive) return;
    if (value)
        StartSession();
    else
        StopSession();
}

void TDEZEDESession::Loaded() {
    TComponent::Loaded();
    if (FStreamedActive) SetActive(true);
}

void TDEZEDESession::StartSession() {
    if (FEngine.EngineType() == etServer && FSessionType == stRemote) throw EDatabaseError(kRemoteInServerText);
    if (!FEngine.Active()) FEngine.SetActive(true);
    if (FOnStartup) FOnStartup(*this);
    if (FSessionName.empty()) throw EDatabaseError(kSessionNameMissingText);
    if (!IsDefault()) {
        TDEZEDESession* defaultSession = FEngine.DefaultSession();
        if (defaultSession != nullptr) defaultSession->SetActive(true);
    }
    FDataSession = FEngine.DataEngine().CreateSession();
    FDataSession->SetName(Cut255(FSessionName + "_" + std::to_string(FSessionId)));
    FActive = true;
    try {
        FDataSession->SetPrivateDir(FPrivateDir);
        FDataSession->SetStrictChangeDetection(FStrictChangeDetection);
        FDataSession->SetForceBufferFlush(FForceBufferFlush);
        FDataSession->SetLockRetryCount(FLockRetryCount);
        FDataSession->SetLockWaitTime(FLockWaitTime);
        FDataSession->SetLockProtocol(FLockProtocol);
        FDataSession->SetProgressSteps(FProgressSteps);
        FDataSession->PasswordCallback = [this] {
            bool retry = false;
            if (FOnPassword) FOnPassword(*this, retry);
            return retry;
        };
        FDataSession->SetActive(true);
        if (FSessionType == stRemote) {
            // Remote mode has no client yet: refuse rather than pretend to be connected.
            FDataSession->SetRemote(true);
            RaiseError(DEZEDE_REMOTECONNECT, {.User = FRemoteUser, .Remote = FRemoteHost.empty() ? FRemoteAddress
                                                                                                : FRemoteHost});
        }
        FDataSession->SetRemote(false);
    } catch (...) {
        StopSession();
        throw;
    }
}

void TDEZEDESession::StopSession() {
    // The session's databases are closed here, last to first (temporary ones
    // freed), once the database component exists.
    if (FDataSession != nullptr) {
        TDataSession* session = FDataSession;
        FDataSession = nullptr;
        FEngine.DataEngine().FreeSession(session);
    }
    FActive = false;
    if (FOnShutdown) FOnShutdown(*this);
}

void TDEZEDESession::SetName(const std::string& name) {
    if (name == Name()) return;
    const std::string old = Name();
    TComponent::SetName(name);
    if (!FAutoSessionName) return;
    try {
        ApplyAutoSessionName();
    } catch (...) {
        TComponent::SetName(old);
        throw;
    }
}

void TDEZEDESession::SetAutoSessionName(bool value) {
    if (value == FAutoSessionName) return;
    if (!value) {
        FAutoSessionName = false;
        FEngine.FreeSessionNumber(FAutoSessionNumber);
        FAutoSessionNumber = -1;
        return;
    }
    CheckInactive();
    if (Owner() != nullptr) {
        for (TComponent* c : Owner()->Components())
            if (c != this && dynamic_cast<TDEZEDESession*>(c) != nullptr) throw EDatabaseError(kAutoSessionOnlyText);
    }
    FAutoSessionNumber = FEngine.TakeSessionNumber();
    FAutoSessionName = true;
    try {
        ApplyAutoSessionName();
    } catch (...) {
        FAutoSessionName = false;
        FEngine.FreeSessionNumber(FAutoSessionNumber);
        FAutoSessionNumber = -1;
        throw;
    }
}

void TDEZEDESession::ApplyAutoSessionName() {
    const std::string name = Name() + "_" + std::to_string(FAutoSessionNumber + 1);
    {
        TFlagGuard updating(FUpdatingAutoName);
        SetSessionName(name);
    }
    if (Owner() == nullptr) return;
    for (TComponent* c : Owner()->Components()) {
        auto* link = dynamic_cast<TSessionLink*>(c);
        if (link != nullptr && !SameText(link->SessionName(), name)) link->SetSessionName(name);
    }
}

void TDEZEDESession::SetSessionName(const std::string& value) {
    if (value == FSessionName) return;
    if (FAutoSessionName && !FUpdatingAutoName) throw EDatabaseError(kAutoSessionActiveText);
    CheckInactive();
    if (!value.empty()) {
        TDEZEDESession* other = FEngine.FindSession(value);
        if (other != nullptr && other != this) throw EDatabaseError::Fmt(kSessionExistsText, value);
    }
    FSessionName = value;
}

void TDEZEDESession::SetForceBufferFlush(bool value) {
    if (value == FForceBufferFlush) return;
    FForceBufferFlush = value;
    if (FDataSession != nullptr) FDataSession->SetForceBufferFlush(value);
}

void TDEZEDESession::SetLockRetryCount(uint8_t value) {
    if (value == FLockRetryCount) return;
    FLockRetryCount = value;
    if (FDataSession != nullptr) FDataSession->SetLockRetryCount(value);
}

void TDEZEDESession::SetLockWaitTime(uint16_t value) {
    if (value == FLockWaitTime) return;
    FLockWaitTime = value;
    if (FDataSession != nullptr) FDataSession->SetLockWaitTime(value);
}

void TDEZEDESession::SetLockProtocol(TLockProtocol value) {
    if (value == FLockProtocol) return;
    FLockProtocol = value;
    if (FDataSession != nullptr) FDataSession->SetLockProtocol(value);
}

void TDEZEDESession::SetPrivateDir(const std::string& value) {
    if (value == FPrivateDir) return;
    FPrivateDir = value;
    if (FDataSession != nullptr) FDataSession->SetPrivateDir(value);
}

void TDEZEDESession::SetProgressSteps(uint16_t value) {
    if (value > 100 || value == FProgressSteps) return;
    FProgressSteps = value;
    if (FDataSession != nullptr) FDataSession->SetProgressSteps(value);
}

void TDEZEDESession::SetStrictChangeDetection(bool value) {
    if (value == FStrictChangeDetection) return;
    FStrictChangeDetection = value;
    if (FDataSession != nullptr) FDataSession->SetStrictChangeDetection(value);
}

void TDEZEDESession::SetSessionType(TSessionType value) { ChangeInactive(FSessionType, value); }
void TDEZEDESession::SetRemoteEncryption(bool value) { ChangeInactive(FRemoteEncryption, value); }
void TDEZEDESession::SetRemoteEncryptionPassword(const std::string& value) {
    ChangeInactive(FRemoteEncryptionPassword, value);
}
void TDEZEDESession::SetRemoteHost(const std::string& value) { ChangeInactive(FRemoteHost, value); }
void TDEZEDESession::SetRemoteAddress(const std::string& value) { ChangeInactive(FRemoteAddress, value); }
void TDEZEDESession::SetRemotePort(int32_t value) { ChangeInactive(FRemotePort, value); }
void TDEZEDESession::SetRemoteService(const std::string& value) { ChangeInactive(FRemoteService, value); }
void TDEZEDESession::SetRemoteUser(const std::string& value) { ChangeInactive(FRemoteUser, value); }
void TDEZEDESession::SetRemotePassword(const std::string& value) { ChangeInactive(FRemotePassword, value); }
void TDEZEDESession::SetRemoteTimeout(uint16_t value) { FRemoteTimeout = std::max<uint16_t>(value, 60); }
void TDEZEDESession::SetRemotePingInterval(uint16_t value) { FRemotePingInterval = std::max<uint16_t>(value, 30); }

void TDEZEDESession::AddPassword(const std::string& password) {
    if (!FActive) throw EDatabaseError(kSessionInactiveText);
    FDataSession->AddPassword(password);
}

void TDEZEDESession::RemovePassword(const std::string& password) {
    if (!FActive) throw EDatabaseError(kSessionInactiveText);
    FDataSession->DelPassword(password);
}

void TDEZEDESession::RemoveAllPasswords() {
    if (!FActive) throw EDatabaseError(kSessionInactiveText);
    FDataSession->DelAllPasswords();
}

}  // namespace dezede
