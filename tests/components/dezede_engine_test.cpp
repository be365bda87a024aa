#include "components/dezede_engine.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/dezede_session.h"
#include "components/global_engine.h"
#include "engine/data_engine.h"
#include "support/database_error.h"

namespace dezede {
namespace {

// The engine component is process-wide: every test leaves it inactive.
class EngineComponent : public ::testing::Test {
protected:
    void TearDown() override { engine.SetActive(false); }

    // Activates the engine the way the application does: through a session.
    void ActivateThroughSession() {
        session = std::make_unique<TDEZEDESession>();
        session->SetSessionName("EngineTestSession");
        session->SetActive(true);
        ASSERT_TRUE(engine.Active());
    }

    TDEZEDEEngine& engine = *GlobalEngine();
    TDataEngine& core = engine.DataEngine();
    std::unique_ptr<TDEZEDESession> session;
};

template <class Fn>
std::string ErrorText(Fn&& fn) {
    try {
        fn();
    } catch (const EDatabaseError& e) {
        return e.what();
    }
    return "";
}

struct ExtensionSetting {
    const char* name;
    std::function<void(TDEZEDEEngine&, const std::string&)> set;
    std::function<std::string(const TDEZEDEEngine&)> get;
    std::function<std::string(const TDataEngine&)> core;
};

#define EXTENSION(kind)                                                                          \
    {                                                                                            \
        #kind, [](TDEZEDEEngine& e, const std::string& v) { e.SetTable##kind##Extension(v); },   \
            [](const TDEZEDEEngine& e) { return e.Table##kind##Extension(); },                   \
            [](const TDataEngine& c) { return c.Table##kind##Extension(); }                      \
    }
const ExtensionSetting kExtensions[] = {
    EXTENSION(Data),
    EXTENSION(Index),
    EXTENSION(Blob),
    EXTENSION(DataBackup),
    EXTENSION(IndexBackup),
    EXTENSION(BlobBackup),
    EXTENSION(DataUpgrade),
    EXTENSION(IndexUpgrade),
    EXTENSION(BlobUpgrade),
    EXTENSION(DataTemp),
    EXTENSION(IndexTemp),
    EXTENSION(BlobTemp),
};
#undef EXTENSION

TEST_F(EngineComponent, ExtensionsGetALeadingDotAndReachTheCore) {
    for (const ExtensionSetting& s : kExtensions) {
        SCOPED_TRACE(s.name);
        const std::string old = s.get(engine);
        const std::pair<std::string, std::string> values[] = {{"tat", ".tat"}, {".tdx", ".tdx"}};
        for (const auto& value : values) {
            s.set(engine, value.first);
            EXPECT_EQ(s.get(engine), value.second);
            EXPECT_EQ(s.core(core), value.second);
        }
        EXPECT_EQ(ErrorText([&] { s.set(engine, ""); }), "Table file extension cannot be empty");
        EXPECT_EQ(s.get(engine), ".tdx");
        s.set(engine, old);
    }
}

struct NumericSetting {
    const char* name;
    std::function<void(int32_t)> set;
    std::function<int32_t()> get;
    std::function<int32_t()> core;
    int32_t given;
    int32_t stored;  // what the setting holds afterwards; -1: the old value stays
};

TEST_F(EngineComponent, MinimumsAndIgnoredValues) {
    auto& e = engine;
    auto& c = core;
#define NUMERIC(name, type) \
    #name, [&](int32_t v) { e.Set##name(static_cast<type>(v)); }, [&] { return int32_t(e.name()); }, \
        [&] { return int32_t(c.name()); }
    const NumericSetting cases[] = {
        {NUMERIC(MaxTableDataBufferSize, int32_t), 1000, 8192},
        {NUMERIC(MaxTableDataBufferSize, int32_t), -5, 8192},
        {NUMERIC(MaxTableDataBufferSize, int32_t), 100000, 100000},
        {NUMERIC(MaxTableDataBufferCount, int32_t), 3, 16},
        {NUMERIC(MaxTableIndexBufferSize, int32_t), 1000, 32768},
        {NUMERIC(MaxTableIndexBufferSize, int32_t), 32769, 32769},
        {NUMERIC(MaxTableIndexBufferCount, int32_t), 7, 8},
        {NUMERIC(MaxTableBlobBufferSize, int32_t), 8191, 8192},
        {NUMERIC(MaxTableBlobBufferCount, int32_t), 0, 32},
        {NUMERIC(MaxTableBlobBufferCount, int32_t), 33, 33},
        {NUMERIC(TableFilterIndexThreshhold, uint8_t), 150, -1},
        {NUMERIC(TableFilterIndexThreshhold, uint8_t), 101, -1},
        {NUMERIC(TableFilterIndexThreshhold, uint8_t), 100, 100},
        {NUMERIC(TableFilterIndexThreshhold, uint8_t), 0, 0},
        {NUMERIC(TableMaxReadLockCount, uint16_t), 0, -1},
        {NUMERIC(TableMaxReadLockCount, uint16_t), 1, 1},
    };
#undef NUMERIC
    for (const NumericSetting& s : cases) {
        SCOPED_TRACE(std::string(s.name) + " := " + std::to_string(s.given));
        const int32_t old = s.get();
        s.set(s.given);
        const int32_t expected = s.stored == -1 ? old : s.stored;
        EXPECT_EQ(s.get(), expected);
        EXPECT_EQ(s.core(), expected);
        s.set(old);
    }
}

TEST_F(EngineComponent, FrozenWhileActiveUnlessUnchanged) {
    // Each entry assigns the current value, then a different one.
    auto& e = engine;
    const std::vector<std::pair<const char*, std::function<void(bool change)>>> setters = {
        {"LockFileName", [&](bool ch) { e.SetLockFileName(ch ? "other.lck" : e.LockFileName()); }},
        {"EngineSignature", [&](bool ch) { e.SetEngineSignature(ch ? "OTHER" : e.EngineSignature()); }},
        {"EngineType", [&](bool ch) { e.SetEngineType(ch ? etServer : e.EngineType()); }},
        {"LargeFileSupport", [&](bool ch) { e.SetLargeFileSupport(ch != e.LargeFileSupport()); }},
        {"TableDataTempExtension", [&](bool ch) { e.SetTableDataTempExtension(ch ? "tat" : e.TableDataTempExtension()); }},
        {"MaxTableIndexBufferSize", [&](bool ch) { e.SetMaxTableIndexBufferSize(e.MaxTableIndexBufferSize() + ch); }},
        {"CreateTempTablesInDatabase",
         [&](bool ch) { e.SetCreateTempTablesInDatabase(ch != e.CreateTempTablesInDatabase()); }},
        {"TableReadLockRetryCount", [&](bool ch) { e.SetTableReadLockRetryCount(e.TableReadLockRetryCount() + ch); }},
        {"TableTransLockWaitTime", [&](bool ch) { e.SetTableTransLockWaitTime(e.TableTransLockWaitTime() + ch); }},
        {"TableMaxReadLockCount", [&](bool ch) { e.SetTableMaxReadLockCount(e.TableMaxReadLockCount() + ch); }},
        {"ServerName", [&](bool ch) { e.SetServerName(ch ? "X" : e.ServerName()); }},
        {"ServerMainPort", [&](bool ch) { e.SetServerMainPort(e.ServerMainPort() + ch); }},
    };
    ActivateThroughSession();
    for (const auto& [name, assign] : setters) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ErrorText([&] { assign(false); }), "");
        EXPECT_EQ(ErrorText([&] { assign(true); }), kEngineActiveText);
    }
    EXPECT_EQ(engine.LockFileName(), "dezede.lck");

    // Not frozen: FilterRecordCounts and Functions.
    engine.SetFilterRecordCounts(false);
    EXPECT_FALSE(engine.FilterRecordCounts());
    engine.SetFilterRecordCounts(true);
    engine.Functions().Add().SetName("Twice");
    engine.Functions().Clear();

    // While loading from a stored form the check is skipped.
    {
        TLoadingGuard loading(engine);
        engine.SetLockFileName("loaded.lck");
    }
    EXPECT_EQ(engine.LockFileName(), "loaded.lck");
    EXPECT_TRUE(engine.Active());
    engine.SetActive(false);
    engine.SetLockFileName("dezede.lck");
}

TEST_F(EngineComponent, ActivationStartsTheCoreWithTheSettings) {
    std::vector<std::string> calls;
    engine.SetOnStartup([&](TDEZEDEEngine& e) { calls.push_back(e.DataEngine().Active() ? "startup:on" : "startup:off"); });
    engine.SetOnShutdown([&](TDEZEDEEngine& e) { calls.push_back(e.DataEngine().Active() ? "shutdown:on" : "shutdown:off"); });
    engine.SetLockFileName("vodozedo3.lck");
    engine.SetLargeFileSupport(true);
    engine.SetActive(true);
    EXPECT_TRUE(core.Active());
    EXPECT_EQ(core.LockFileName(), "vodozedo3.lck");
    EXPECT_EQ(core.LockGeometry().LockBase, 9223372036854775807ull);
    engine.SetActive(false);
    EXPECT_FALSE(core.Active());
    EXPECT_EQ(calls, (std::vector<std::string>{"startup:off", "shutdown:off"}));
    engine.SetOnStartup(nullptr);
    engine.SetOnShutdown(nullptr);
    engine.SetLargeFileSupport(false);
    engine.SetLockFileName("dezede.lck");
}

TEST_F(EngineComponent, DeactivationStopsSessionsLastToFirst) {
    std::vector<std::string> stopped;
    TComponent owner;
    for (const char* name : {"First", "Second"}) {
        auto* s = new TDEZEDESession(&owner);
        s->SetSessionName(name);
        s->SetOnShutdown([&](TDEZEDESession& sender) { stopped.push_back(sender.SessionName()); });
        s->SetActive(true);
    }
    DefaultSession()->SetOnShutdown([&](TDEZEDESession& sender) { stopped.push_back(sender.SessionName()); });
    engine.SetActive(false);
    DefaultSession()->SetOnShutdown(nullptr);
    EXPECT_EQ(stopped, (std::vector<std::string>{"Second", "First", "Default"}));
    EXPECT_EQ(core.SessionCount(), 0u);
}

TEST_F(EngineComponent, CreationCountRule) {
    ASSERT_EQ(engine.ReferenceCount(), 1);
    TDEZEDEEngine* placed = TDEZEDEEngine::Create();
    EXPECT_EQ(placed, &engine);
    EXPECT_EQ(engine.ReferenceCount(), 2);
    EXPECT_EQ(ErrorText([] { TDEZEDEEngine::Create(); }), kEngineExistsText);
    placed->Release();
    EXPECT_EQ(engine.ReferenceCount(), 1);
    EXPECT_EQ(GlobalEngine(), &engine);
}

TEST_F(EngineComponent, FunctionsCollection) {
    TDEZEDEFunction& f = engine.Functions().Add();
    f.SetName("DaysBetween");
    f.SetResultType(ftdInteger);
    f.Params().push_back({ftdDate});
    f.Params().push_back({ftdDate});
    engine.Functions().Add().SetName("Other");
    const TDEZEDEFunction* found = engine.Functions().Find("daysbetween");
    ASSERT_EQ(found, &f);
    EXPECT_EQ(found->ResultType(), ftdInteger);
    EXPECT_EQ(found->Params().size(), 2u);
    EXPECT_EQ(engine.Functions().Find("Missing"), nullptr);
    engine.Functions().Delete(0);
    EXPECT_EQ(engine.Functions().Find("DaysBetween"), nullptr);
    engine.Functions().Clear();
}

TEST_F(EngineComponent, HooksReachTheCore) {
    int called = 0;
    engine.SetBeforeInsertTrigger([&](TTriggerContext&) { ++called; });
    ASSERT_TRUE(core.Hooks.BeforeInsertTrigger);
    TTriggerContext context;
    core.Hooks.BeforeInsertTrigger(context);
    EXPECT_EQ(called, 1);
    engine.SetBeforeInsertTrigger(nullptr);
    EXPECT_FALSE(core.Hooks.BeforeInsertTrigger);

    // Cipher and compression events are installed process-wide; none left means the built-in routines.
    ASSERT_EQ(CurrentCryptoHooks(), nullptr);
    engine.SetOnCompress([](const uint8_t*, size_t, int, std::vector<uint8_t>& out) {
        out.assign(1, 42);
        return true;
    });
    auto hooks = CurrentCryptoHooks();
    ASSERT_NE(hooks, nullptr);
    std::vector<uint8_t> out;
    EXPECT_TRUE(hooks->OnCompress(nullptr, 0, 6, out));
    EXPECT_EQ(out, std::vector<uint8_t>{42});
    EXPECT_FALSE(hooks->ReplacesCipher());
    engine.SetOnCompress(nullptr);
    EXPECT_EQ(CurrentCryptoHooks(), nullptr);
}

TEST(EngineUnit, ProcessExitShutsAnActiveEngineDownCleanly) {
    const std::string helper = std::string(DEZEDE_HELPER_DIR) + "/engine_exit_helper";
    const int status = std::system(("timeout 60 " + helper + " >/dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace dezede
