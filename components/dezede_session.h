#pragma once
// TDEZEDESession: a named session component. While active it owns one engine
// session (TDataSession) and hands its settings to it; it lists the database
// components that work in it.
//
// Settings are read with X() and written with SetX(). Settings that the
// engine session uses are stored while inactive and handed over at
// activation; while active, a changed value is handed over at once. Settings
// that cannot change on an active session fail there with "Cannot perform
// this operation on an active session".

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "components/component.h"
#include "engine/data_session.h"

namespace dezede {

class TDEZEDEEngine;
class TDEZEDEDatabase;

enum TSessionType : uint8_t { stLocal, stRemote };

inline constexpr const char* kDefaultSessionName = "Default";
inline constexpr const char* kSessionActiveText = "Cannot perform this operation on an active session";
inline constexpr const char* kSessionInactiveText = "Cannot perform this operation on an inactive session";
inline constexpr const char* kSessionNameMissingText = "Session name is missing";
inline constexpr const char* kSessionExistsText = "Session name '%s' already exists";
inline constexpr const char* kRemoteInServerText = "Cannot activate a remote session with the server engine";
inline constexpr const char* kAutoSessionActiveText = "Cannot perform this operation on the active auto-session";
inline constexpr const char* kAutoSessionOnlyText = "The active auto-session can be the only active session";
inline constexpr const char* kAutoSessionExistsText = "This auto-session already exists";

class TDEZEDESession : public TComponent {
public:
    using TSessionEvent = std::function<void(TDEZEDESession& sender)>;
    // A table needs a password: add it (AddPassword) and set retry to true to
    // try again.
    using TPasswordEvent = std::function<void(TDEZEDESession& sender, bool& retry)>;

    // Registers with the engine component. Fails with "This auto-session
    // already exists" when the owner holds an auto-named session.
    explicit TDEZEDESession(TComponent* owner = nullptr);
    // Deactivates, returns the auto-session number and leaves the engine's list.
    ~TDEZEDESession() override;

    // Renaming an auto-named session renames its session name as well.
    void SetName(const std::string& name) override;

    std::string EngineVersion() const;
    void SetEngineVersion(const std::string&) {}

    // Activation: starts the engine if needed, activates the default session
    // too, creates the engine session and hands it the settings.
    bool Active() const { return FActive; }
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }

    // True: the session names itself "<component name>_<N + 1>" with the
    // lowest free auto-session number N. Only false may be set while active.
    bool AutoSessionName() const { return FAutoSessionName; }
    void SetAutoSessionName(bool value);

    bool ForceBufferFlush() const { return FForceBufferFlush; }
    void SetForceBufferFlush(bool value);
    // Copied into the temporary databases that OpenDatabase creates.
    bool KeepConnections() const { return FKeepConnections; }
    void SetKeepConnections(bool value) { FKeepConnections = value; }
    uint8_t LockRetryCount() const { return FLockRetryCount; }
    void SetLockRetryCount(uint8_t value);
    uint16_t LockWaitTime() const { return FLockWaitTime; }
    void SetLockWaitTime(uint16_t value);
    TLockProtocol LockProtocol() const { return FLockProtocol; }
    void SetLockProtocol(TLockProtocol value);
    // Handed over trimmed with a trailing "/"; empty means the current directory.
    const std::string& PrivateDir() const { return FPrivateDir; }
    void SetPrivateDir(const std::string& value);
    // A value above 100 is ignored.
    uint16_t ProgressSteps() const { return FProgressSteps; }
    void SetProgressSteps(uint16_t value);
    // Unique among the session components without regard to case; changes
    // only while inactive.
    const std::string& SessionName() const { return FSessionName; }
    void SetSessionName(const std::string& value);
    bool StrictChangeDetection() const { return FStrictChangeDetection; }
    void SetStrictChangeDetection(bool value);
    TSessionType SessionType() const { return FSessionType; }
    void SetSessionType(TSessionType value);

    // Remote mode settings, carried as plain settings. The first group
    // changes only while inactive.
    bool RemoteEncryption() const { return FRemoteEncryption; }
    void SetRemoteEncryption(bool value);
    const std::string& RemoteEncryptionPassword() const { return FRemoteEncryptionPassword; }
    void SetRemoteEncryptionPassword(const std::string& value);
    const std::string& RemoteHost() const { return FRemoteHost; }
    void SetRemoteHost(const std::string& value);
    const std::string& RemoteAddress() const { return FRemoteAddress; }
    void SetRemoteAddress(const std::string& value);
    int32_t RemotePort() const { return FRemotePort; }
    void SetRemotePort(int32_t value);
    const std::string& RemoteService() const { return FRemoteService; }
    void SetRemoteService(const std::string& value);
    const std::string& RemoteUser() const { return FRemoteUser; }
    void SetRemoteUser(const std::string& value);
    const std::string& RemotePassword() const { return FRemotePassword; }
    void SetRemotePassword(const std::string& value);
    uint8_t RemoteCompression() const { return FRemoteCompression; }
    void SetRemoteCompression(uint8_t value) { FRemoteCompression = value; }
    bool RemoteTrace() const { return FRemoteTrace; }
    void SetRemoteTrace(bool value) { FRemoteTrace = value; }
    // Seconds; raised to 60 if lower.
    uint16_t RemoteTimeout() const { return FRemoteTimeout; }
    void SetRemoteTimeout(uint16_t value);
    bool RemotePing() const { return FRemotePing; }
    void SetRemotePing(bool value) { FRemotePing = value; }
    // Seconds; raised to 30 if lower.
    uint16_t RemotePingInterval() const { return FRemotePingInterval; }
    void SetRemotePingInterval(uint16_t value);

    // Table passwords handed to the engine session; each fails with "Cannot
    // perform this operation on an inactive session" on an inactive session.
    void AddPassword(const std::string& password);
    void RemovePassword(const std::string& password);
    void RemoveAllPasswords();

    // Events.
    const TPasswordEvent& OnPassword() const { return FOnPassword; }
    void SetOnPassword(TPasswordEvent event) { FOnPassword = std::move(event); }
    const TSessionEvent& OnStartup() const { return FOnStartup; }
    void SetOnStartup(TSessionEvent event) { FOnStartup = std::move(event); }
    const TSessionEvent& OnShutdown() const { return FOnShutdown; }
    void SetOnShutdown(TSessionEvent event) { FOnShutdown = std::move(event); }
    // Remote mode events, carried only.
    const TSessionEvent& OnRemoteLogin() const { return FOnRemoteLogin; }
    void SetOnRemoteLogin(TSessionEvent event) { FOnRemoteLogin = std::move(event); }
    const TSessionEvent& OnRemoteTimeout() const { return FOnRemoteTimeout; }
    void SetOnRemoteTimeout(TSessionEvent event) { FOnRemoteTimeout = std::move(event); }
    const TSessionEvent& OnRemoteSendProgress() const { return FOnRemoteSendProgress; }
    void SetOnRemoteSendProgress(TSessionEvent event) { FOnRemoteSendProgress = std::move(event); }
    const TSessionEvent& OnRemoteReceiveProgress() const { return FOnRemoteReceiveProgress; }
    void SetOnRemoteReceiveProgress(TSessionEvent event) { FOnRemoteReceiveProgress = std::move(event); }
    const TSessionEvent& OnRemoteTrace() const { return FOnRemoteTrace; }
    void SetOnRemoteTrace(TSessionEvent event) { FOnRemoteTrace = std::move(event); }
    const TSessionEvent& OnRemoteReconnect() const { return FOnRemoteReconnect; }
    void SetOnRemoteReconnect(TSessionEvent event) { FOnRemoteReconnect = std::move(event); }
    const TSessionEvent& OnRemoteProcedureProgress() const { return FOnRemoteProcedureProgress; }
    void SetOnRemoteProcedureProgress(TSessionEvent event) { FOnRemoteProcedureProgress = std::move(event); }

    // Databases: OpenDatabase (name -> connected database component, creating
    // a temporary one when none matches) and CloseDatabase come with the
    // database component, together with the list below.
    const std::vector<TDEZEDEDatabase*>& Databases() const { return FDatabases; }

    // The engine session; present exactly while the session is active.
    TDataSession* DataSession() const { return FDataSession; }
    // The auto-session number, or -1.
    int AutoSessionNumber() const { return FAutoSessionNumber; }
    // Whether this is the default session created with the engine.
    bool IsDefault() const;

protected:
    void Loaded() override;

private:
    void CheckInactive() const;
    template <class T>
    bool ChangeInactive(T& field, const T& value);
    void StartSession();
    void StopSession();
    void ApplyAutoSessionName();
    void HandOverPrivateDir();

    TDEZEDEEngine& FEngine;
    TDataSession* FDataSession = nullptr;
    std::vector<TDEZEDEDatabase*> FDatabases;
    int FAutoSessionNumber = -1;
    uint64_t FSessionId;  // unique to this object in the process
    bool FActive = false;
    bool FStreamedActive = false;
    bool FUpdatingAutoName = false;

    bool FAutoSessionName = false;
    bool FForceBufferFlush = false;
    bool FKeepConnections = true;
    uint8_t FLockRetryCount = 15;
    uint16_t FLockWaitTime = 100;
    TLockProtocol FLockProtocol = lpPessimistic;
    std::string FPrivateDir;
    uint16_t FProgressSteps = 20;
    std::string FSessionName;
    bool FStrictChangeDetection = false;
    TSessionType FSessionType = stLocal;
    bool FRemoteEncryption = false;
    std::string FRemoteEncryptionPassword;
    std::string FRemoteHost;
    std::string FRemoteAddress = "127.0.0.1";
    int32_t FRemotePort = 12005;
    std::string FRemoteService;
    std::string FRemoteUser;
    std::string FRemotePassword;
    uint8_t FRemoteCompression = 0;
    bool FRemoteTrace = false;
    uint16_t FRemoteTimeout = 300;
    bool FRemotePing = false;
    uint16_t FRemotePingInterval = 60;

    TPasswordEvent FOnPassword;
    TSessionEvent FOnStartup;
    TSessionEvent FOnShutdown;
    TSessionEvent FOnRemoteLogin;
    TSessionEvent FOnRemoteTimeout;
    TSessionEvent FOnRemoteSendProgress;
    TSessionEvent FOnRemoteReceiveProgress;
    TSessionEvent FOnRemoteTrace;
    TSessionEvent FOnRemoteReconnect;
    TSessionEvent FOnRemoteProcedureProgress;
};

}  // namespace dezede
