#include "components/dezede_session.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/dezede_engine.h"
#include "components/global_engine.h"
#include "components/session_link.h"
#include "engine/data_engine.h"
#include "engine/engine_error.h"
#include "engine/error_codes.h"
#include "support/database_error.h"

namespace dezede {
namespace {

template <class Fn>
std::string ErrorText(Fn&& fn) {
    try {
        fn();
    } catch (const EDatabaseError& e) {
        return e.what();
    }
    return "";
}

// The engine component is process-wide: every test frees its sessions (with
// their owner) and leaves the engine inactive.
class SessionComponent : public ::testing::Test {
protected:
    void TearDown() override {
        owner.reset();
        GlobalEngine()->SetActive(false);
    }

    TDEZEDESession* NewSession(const std::string& sessionName, TComponent* in = nullptr) {
        auto* s = new TDEZEDESession(in != nullptr ? in : owner.get());
        s->SetSessionName(sessionName);
        return s;
    }

    std::unique_ptr<TComponent> owner = std::make_unique<TComponent>();
};

TEST_F(SessionComponent, ActivatingASessionActivatesEngineAndDefault) {
    TDEZEDESession* x = NewSession("X");
    ASSERT_FALSE(GlobalEngine()->Active());
    x->SetActive(true);
    EXPECT_TRUE(GlobalEngine()->Active());
    EXPECT_TRUE(DefaultSession()->Active());
    ASSERT_NE(x->DataSession(), nullptr);
    EXPECT_TRUE(x->DataSession()->Active());
    EXPECT_FALSE(x->DataSession()->Remote());
    EXPECT_EQ(x->DataSession()->Name().rfind("X_", 0), 0u);
    EXPECT_NE(x->DataSession()->Name(), DefaultSession()->DataSession()->Name());
    EXPECT_EQ(GlobalEngine()->DataEngine().SessionCount(), 2u);

    x->SetActive(false);
    EXPECT_EQ(x->DataSession(), nullptr);
    EXPECT_TRUE(DefaultSession()->Active());
    EXPECT_EQ(GlobalEngine()->DataEngine().SessionCount(), 1u);
}

TEST_F(SessionComponent, DestroyingAnActiveSessionReleasesItsEngineSession) {
    TDEZEDESession* x = NewSession("Gone");
    x->SetActive(true);
    delete x;
    EXPECT_EQ(GlobalEngine()->FindSession("Gone"), nullptr);
    EXPECT_EQ(GlobalEngine()->DataEngine().SessionCount(), 1u);  // the default session's
}

TEST_F(SessionComponent, SessionWithoutNameCannotActivate) {
    auto* s = new TDEZEDESession(owner.get());
    EXPECT_EQ(ErrorText([&] { s->SetActive(true); }), kSessionNameMissingText);
    EXPECT_FALSE(s->Active());
    EXPECT_EQ(s->DataSession(), nullptr);
}

TEST_F(SessionComponent, SessionNamesAreUniqueWithoutRegardToCase) {
    TDEZEDESession* a = NewSession("Alpha");
    TDEZEDESession* b = NewSession("Beta");
    EXPECT_EQ(ErrorText([&] { b->SetSessionName("ALPHA"); }), "Session name 'ALPHA' already exists");
    EXPECT_EQ(ErrorText([&] { b->SetSessionName("default"); }), "Session name 'default' already exists");
    EXPECT_EQ(ErrorText([&] { a->SetSessionName("alpha"); }), "");  // its own name in another case
    EXPECT_EQ(a->SessionName(), "alpha");

    a->SetActive(true);
    EXPECT_EQ(ErrorText([&] { a->SetSessionName("alpha"); }), "");
    EXPECT_EQ(ErrorText([&] { a->SetSessionName("Gamma"); }), kSessionActiveText);
}

TEST_F(SessionComponent, FindingSessionsByName) {
    TDEZEDESession* x = NewSession("Quintora");
    TDEZEDEEngine& engine = *GlobalEngine();
    ASSERT_NE(DefaultSession(), nullptr);
    EXPECT_EQ(DefaultSession()->SessionName(), "Default");
    EXPECT_EQ(engine.FindSession("QUINTORA"), x);
    EXPECT_EQ(engine.FindSession(""), DefaultSession());
    EXPECT_EQ(&engine.GetSession("default"), DefaultSession());
    EXPECT_EQ(engine.FindSession("Nowhere"), nullptr);
    EXPECT_EQ(ErrorText([&] { engine.GetSession("Nowhere"); }), "Session name 'Nowhere' is not valid");
}

struct HandedSetting {
    const char* name;
    std::function<void(TDEZEDESession&)> set;           // assigns a non-default value
    std::function<bool(const TDataSession&)> arrived;  // the engine session holds it
};

const std::vector<HandedSetting>& HandedSettings() {
    static const std::vector<HandedSetting> settings = {
        {"LockRetryCount", [](TDEZEDESession& s) { s.SetLockRetryCount(0); },
         [](const TDataSession& d) { return d.LockRetryCount() == 0; }},
        {"LockWaitTime", [](TDEZEDESession& s) { s.SetLockWaitTime(7); },
         [](const TDataSession& d) { return d.LockWaitTime() == 7; }},
        {"LockProtocol", [](TDEZEDESession& s) { s.SetLockProtocol(lpOptimistic); },
         [](const TDataSession& d) { return d.LockProtocol() == lpOptimistic; }},
        {"ForceBufferFlush", [](TDEZEDESession& s) { s.SetForceBufferFlush(true); },
         [](const TDataSession& d) { return d.ForceBufferFlush(); }},
        {"StrictChangeDetection", [](TDEZEDESession& s) { s.SetStrictChangeDetection(true); },
         [](const TDataSession& d) { return d.StrictChangeDetection(); }},
        {"ProgressSteps", [](TDEZEDESession& s) { s.SetProgressSteps(5); },
         [](const TDataSession& d) { return d.ProgressSteps() == 5; }},
        {"PrivateDir", [](TDEZEDESession& s) { s.SetPrivateDir(" C:\\Temp "); },
         [](const TDataSession& d) { return d.PrivateDir() == "C:/Temp/"; }},
    };
    return settings;
}

TEST_F(SessionComponent, SettingsReachTheEngineSessionAtOnceWhileActive) {
    for (const HandedSetting& h : HandedSettings()) {
        SCOPED_TRACE(h.name);
        TDEZEDESession* s = NewSession(std::string("Active") + h.name);
        s->SetActive(true);
        EXPECT_FALSE(h.arrived(*s->DataSession()));
        h.set(*s);
        EXPECT_TRUE(h.arrived(*s->DataSession()));
    }
}

TEST_F(SessionComponent, SettingsReachTheEngineSessionAtNextActivation) {
    for (const HandedSetting& h : HandedSettings()) {
        SCOPED_TRACE(h.name);
        TDEZEDESession* s = NewSession(std::string("Inactive") + h.name);
        h.set(*s);
        s->SetActive(true);
        EXPECT_TRUE(h.arrived(*s->DataSession()));
    }
}

TEST_F(SessionComponent, SettingsFixedWhileActive) {
    TDEZEDESession* s = NewSession("Fixed");
    const std::vector<std::pair<const char*, std::function<void(bool change)>>> setters = {
        {"SessionType", [&](bool ch) { s->SetSessionType(ch ? stRemote : stLocal); }},
        {"RemoteEncryption", [&](bool ch) { s->SetRemoteEncryption(ch); }},
        {"RemoteEncryptionPassword",
         [&](bool ch) { s->SetRemoteEncryptionPassword(ch ? "x" : s->RemoteEncryptionPassword()); }},
        {"RemoteHost", [&](bool ch) { s->SetRemoteHost(ch ? "server" : ""); }},
        {"RemoteAddress", [&](bool ch) { s->SetRemoteAddress(ch ? "10.0.0.1" : "127.0.0.1"); }},
        {"RemotePort", [&](bool ch) { s->SetRemotePort(ch ? 1 : 12005); }},
        {"RemoteService", [&](bool ch) { s->SetRemoteService(ch ? "svc" : ""); }},
        {"RemoteUser", [&](bool ch) { s->SetRemoteUser(ch ? "u" : ""); }},
        {"RemotePassword", [&](bool ch) { s->SetRemotePassword(ch ? "p" : ""); }},
        {"SessionName", [&](bool ch) { s->SetSessionName(ch ? "Renamed" : "Fixed"); }},
        {"AutoSessionName", [&](bool ch) { s->SetAutoSessionName(ch); }},
    };
    s->SetActive(true);
    for (const auto& [name, assign] : setters) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ErrorText([&] { assign(false); }), "");
        EXPECT_EQ(ErrorText([&] { assign(true); }), kSessionActiveText);
    }
    // Changeable while active, with their minimums.
    s->SetRemoteTimeout(10);
    EXPECT_EQ(s->RemoteTimeout(), 60);
    s->SetRemotePingInterval(5);
    EXPECT_EQ(s->RemotePingInterval(), 30);
    s->SetRemotePingInterval(45);
    EXPECT_EQ(s->RemotePingInterval(), 45);
    s->SetProgressSteps(150);
    EXPECT_EQ(s->ProgressSteps(), 20);
    EXPECT_EQ(s->DataSession()->ProgressSteps(), 20);
}

TEST_F(SessionComponent, PasswordsNeedAnActiveSession) {
    TDEZEDESession* s = NewSession("Passwords");
    EXPECT_EQ(ErrorText([&] { s->AddPassword("abc"); }), kSessionInactiveText);
    EXPECT_EQ(ErrorText([&] { s->RemovePassword("abc"); }), kSessionInactiveText);
    EXPECT_EQ(ErrorText([&] { s->RemoveAllPasswords(); }), kSessionInactiveText);
    s->SetActive(true);
    s->AddPassword("abc");
    s->AddPassword("def");
    s->RemovePassword("abc");
    EXPECT_EQ(s->DataSession()->PasswordTexts(), std::vector<std::string>{"def"});
    s->RemoveAllPasswords();
    EXPECT_TRUE(s->DataSession()->PasswordTexts().empty());
}

TEST_F(SessionComponent, PasswordEventAnswersTheEngineSession) {
    TDEZEDESession* s = NewSession("Asked");
    s->SetOnPassword([](TDEZEDESession& sender, bool& retry) {
        sender.AddPassword("given");
        retry = true;
    });
    s->SetActive(true);
    ASSERT_TRUE(s->DataSession()->PasswordCallback);
    EXPECT_TRUE(s->DataSession()->PasswordCallback());
    EXPECT_EQ(s->DataSession()->PasswordTexts(), std::vector<std::string>{"given"});
}

TEST_F(SessionComponent, StoredActiveIsAppliedAfterLoading) {
    TDEZEDESession* s = NewSession("Loaded");
    owner->BeginLoading();
    s->SetActive(true);
    EXPECT_FALSE(s->Active());
    owner->EndLoading();
    EXPECT_TRUE(s->Active());
}

TEST_F(SessionComponent, RemoteSessionsAreRefusedCleanly) {
    TDEZEDESession* s = NewSession("Remote");
    s->SetSessionType(stRemote);
    s->SetRemoteHost("dbserver");
    try {
        s->SetActive(true);
        FAIL() << "a remote session activated";
    } catch (const EDEZEDEEngineError& e) {
        EXPECT_EQ(e.ErrorCode, DEZEDE_REMOTECONNECT);
        EXPECT_EQ(e.ErrorRemoteName, "dbserver");
    }
    EXPECT_FALSE(s->Active());
    EXPECT_EQ(s->DataSession(), nullptr);
    EXPECT_EQ(GlobalEngine()->DataEngine().SessionCount(), 1u);  // the default session's

    GlobalEngine()->SetActive(false);
    GlobalEngine()->SetEngineType(etServer);
    EXPECT_EQ(ErrorText([&] { s->SetActive(true); }), kRemoteInServerText);
    GlobalEngine()->SetEngineType(etClient);
}

// A database or dataset stand-in that names its session.
class TSessionUser : public TComponent, public TSessionLink {
public:
    using TComponent::TComponent;
    const std::string& SessionName() const override { return Name_; }
    void SetSessionName(const std::string& name) override { Name_ = name; }

private:
    std::string Name_;
};

TEST_F(SessionComponent, AutoSessionNames) {
    TComponent formA, formB;
    auto* a = new TDEZEDESession(&formA);
    a->SetName("Session1");
    auto* user = new TSessionUser(&formA);
    user->SetSessionName("Something");
    auto* b = new TDEZEDESession(&formB);
    b->SetName("Session1");

    a->SetAutoSessionName(true);
    b->SetAutoSessionName(true);
    EXPECT_EQ(a->SessionName(), "Session1_1");
    EXPECT_EQ(b->SessionName(), "Session1_2");
    EXPECT_EQ(user->SessionName(), "Session1_1");

    EXPECT_EQ(ErrorText([&] { a->SetSessionName("Mine"); }), kAutoSessionActiveText);
    EXPECT_EQ(ErrorText([&] { new TDEZEDESession(&formA); }), kAutoSessionExistsText);
    EXPECT_EQ(formA.Components().size(), 2u);

    a->SetName("Main");  // renaming the component renames the session
    EXPECT_EQ(a->SessionName(), "Main_1");
    EXPECT_EQ(user->SessionName(), "Main_1");

    // The number is returned when the auto name is switched off or the session freed.
    a->SetActive(true);
    EXPECT_EQ(ErrorText([&] { a->SetName("Late"); }), kSessionActiveText);
    EXPECT_EQ(a->Name(), "Main");
    a->SetAutoSessionName(false);
    EXPECT_EQ(a->AutoSessionNumber(), -1);
    EXPECT_EQ(a->SessionName(), "Main_1");
    delete b;
    TComponent formC;
    auto* c = new TDEZEDESession(&formC);
    c->SetName("Other");
    c->SetAutoSessionName(true);
    EXPECT_EQ(c->SessionName(), "Other_1");

    // Only a session alone in its owner may take an auto name.
    TComponent formD;
    auto* d = new TDEZEDESession(&formD);
    new TDEZEDESession(&formD);
    EXPECT_EQ(ErrorText([&] { d->SetAutoSessionName(true); }), kAutoSessionOnlyText);
    EXPECT_FALSE(d->AutoSessionName());
    EXPECT_EQ(d->AutoSessionNumber(), -1);
}

}  // namespace
}  // namespace dezede
