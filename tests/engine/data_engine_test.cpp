#include "engine/data_engine.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "engine/data_session.h"
#include "engine/engine_error.h"
#include "engine/error_codes.h"

namespace dezede {
namespace {

TEST(DataEngine, TableVersionText) {
    const std::pair<uint32_t, const char*> cases[] = {{0, "1.00"}, {1, "1.02"}, {2, "1.04"}, {3, "1.08"},
                                                      {4, "2.00"}, {5, "3.00"}, {6, "4.00"}, {7, ""},
                                                      {255, ""}};
    for (const auto& [version, text] : cases) EXPECT_EQ(TDataEngine::TableVersionText(version), text) << version;
}

TEST(DataEngine, StartupDerivesLimitsFromLargeFileSupport) {
    struct Case {
        bool large;
        uint64_t lockBase;
        uint32_t maxRecord;
        uint64_t maxFileSize;
    };
    const Case cases[] = {{false, 4294967295ull, 200000000u, 4000000000ull},
                          {true, 9223372036854775807ull, 1000000000u, 128000000000ull}};
    for (const Case& c : cases) {
        TDataEngine engine;
        engine.SetLargeFileSupport(c.large);
        // The limits in force change only when the engine starts.
        EXPECT_EQ(engine.LockGeometry().LockBase, 4294967295ull);
        engine.Startup("vodozedo3.lck");
        EXPECT_TRUE(engine.Active());
        EXPECT_EQ(engine.LockFileName(), "vodozedo3.lck");
        EXPECT_EQ(engine.LockGeometry().LockBase, c.lockBase);
        EXPECT_EQ(engine.LockGeometry().RecordLockSpan, c.maxRecord);
        EXPECT_EQ(engine.FileLimits().MaxRecordNumber, c.maxRecord);
        EXPECT_EQ(engine.FileLimits().MaxFileSize, c.maxFileSize);
        engine.Shutdown();
        EXPECT_FALSE(engine.Active());
    }
}

TEST(DataEngine, ShutdownEmptiesTheInMemoryFiles) {
    TDataEngine engine;
    engine.Startup("x.lck");
    TFileRegistry& registry = engine.FileRegistry();
    const std::string kept = "shutdown-test-kept.dat", open = "shutdown-test-open.dat";
    TFileOpenResult keptFile = registry.Create({.Name = kept, .InMemory = true});
    TFileOpenResult openFile = registry.Create({.Name = open, .InMemory = true});
    ASSERT_NE(keptFile.File, nullptr);
    ASSERT_NE(openFile.File, nullptr);
    registry.Close(keptFile.File, keptFile.Handle);  // memory files outlive their last close
    ASSERT_TRUE(registry.Exists(kept, true));
    engine.Shutdown();
    EXPECT_FALSE(registry.Exists(kept, true));
    // A file still in use stays registered for its holder.
    ASSERT_TRUE(registry.Exists(open, true));
    registry.Close(openFile.File, openFile.Handle);
    engine.Shutdown();
    EXPECT_FALSE(registry.Exists(open, true));
}

TEST(DataEngine, SignatureDigestFollowsTheSignature) {
    TDataEngine engine;
    const TSignatureDigest abc = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                  0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    EXPECT_EQ(engine.EngineSignature(), "DEZEDE_SIG");
    EXPECT_NE(engine.EngineSignatureDigest(), abc);
    engine.SetEngineSignature("abc");
    EXPECT_EQ(engine.EngineSignatureDigest(), abc);
    engine.SetEngineSignature(std::string(300, 's'));
    EXPECT_EQ(engine.EngineSignature().size(), 255u);
}

TEST(DataEngine, RandomStaysInRangeAndReachesBothEnds) {
    TDataEngine engine;
    engine.Startup("x.lck");
    std::set<uint32_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const uint32_t r = engine.Random(3);
        ASSERT_LE(r, 3u);
        seen.insert(r);
    }
    EXPECT_EQ(seen.size(), 4u);
}

TEST(DataEngine, SessionRegistry) {
    TDataEngine engine;
    TDataSession* a = engine.CreateSession();
    TDataSession* b = engine.CreateSession();
    EXPECT_EQ(&a->Engine(), &engine);
    EXPECT_EQ(engine.SessionCount(), 2u);
    engine.FreeSession(a);
    EXPECT_EQ(engine.SessionCount(), 1u);
    engine.FreeSession(a);  // no longer registered: ignored
    EXPECT_EQ(engine.SessionCount(), 1u);
    (void)b;  // freed with the engine
}

TEST(DataEngine, SessionRegistryFromSeveralThreads) {
    TDataEngine engine;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&engine] {
            for (int i = 0; i < 200; ++i) {
                TDataSession* s = engine.CreateSession();
                s->SetLockRetryCount(static_cast<uint8_t>(i));
                engine.FreeSession(s);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(engine.SessionCount(), 0u);
}

TEST(DataEngine, RaiseErrorRecordsTheContext) {
    TDataEngine engine;
    try {
        engine.RaiseError(DEZEDE_HEADERCORRUPT, {.Table = "Employee", .Database = "/data/"});
        FAIL() << "RaiseError returned";
    } catch (const EDEZEDEEngineError& e) {
        EXPECT_EQ(e.ErrorCode, DEZEDE_HEADERCORRUPT);
        EXPECT_EQ(e.ErrorTableName, "Employee");
        EXPECT_STREQ(e.what(), "DEZEDE Engine Error # 8961 Header information corrupt in the table 'Employee'");
    }
    EXPECT_EQ(engine.LastError().ErrorCode, DEZEDE_HEADERCORRUPT);
    EXPECT_EQ(engine.LastError().ErrorDatabaseName, "/data/");
}

TEST(DataEngine, InstanceIsTheFirstLiveEngine) {
    EXPECT_EQ(TDataEngine::Instance(), nullptr);
    {
        TDataEngine first;
        {
            TDataEngine second;
            EXPECT_EQ(TDataEngine::Instance(), &first);
        }
        EXPECT_EQ(TDataEngine::Instance(), &first);
    }
    EXPECT_EQ(TDataEngine::Instance(), nullptr);
}

}  // namespace
}  // namespace dezede
