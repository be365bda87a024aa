#include "app/core/data_directory.h"

#include <gtest/gtest.h>

#include "app/core/data_module.h"
#include "components/dezede_engine.h"
#include "components/global_engine.h"
#include "platform/registry.h"
#include "platform/system_paths.h"
#include "tests/platform/temp_dir.h"

namespace dezede::freebolt {
namespace {

using dezede::test::TScopedEnv;
using dezede::test::TTempDir;

class DataDirectoryTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TScopedEnv Hkcu{"QUINTORA_HKCU", Dir.File("user/registry.ini").c_str()};
    TScopedEnv Hklm{"QUINTORA_HKLM", Dir.File("machine.ini").c_str()};
    TScopedEnv Windir{"QUINTORA_WINDIR", Dir.Path().c_str()};
    TScopedEnv Tmp{"TMPDIR", Dir.File("tmp").c_str()};

    static std::string Section(const std::string& values) {
        return "[Software\\Brindlecot\\Quintora 3\\Folders]\n" + values;
    }
    std::string UserValue(const char* name) {
        TRegistry reg;
        return reg.OpenKeyReadOnly(kFoldersKey) ? reg.ReadString(name) : "(no key)";
    }
};

TEST_F(DataDirectoryTest, SourcesAreTriedInOrderAndTheResultIsWrittenBack) {
    struct Case {
        const char* name;
        const char* user;     // HKCU file content, or null for no file
        const char* machine;  // HKLM file content
        const char* ini;      // Vodozedo3.ini content
        std::string expected;
    };
    const std::string programData = ProgramFolder() + "Data";
    const Case cases[] = {
        {"nothing anywhere: program folder", nullptr, nullptr, nullptr, programData},
        {"user value wins", "QuintoraDataDir=/u/data\n", "QuintoraDataDir=/m/data\n", "", "/u/data"},
        {"machine value copied to the user", nullptr, "QuintoraDataDir=/m/data\n", "", "/m/data"},
        {"empty user value falls through", "QuintoraDataDir=\n", "QuintoraDataDir=/m/data\n", "", "/m/data"},
        {"INI entry", "AppTempFolder=/t\n", nullptr, "[Initialization]\nQuintoraDataDir=/ini/data\n", "/ini/data"},
        {"trailing backslash kept", "QuintoraDataDir=C:\\Quintora\\Data\\\n", nullptr, nullptr, "C:\\Quintora\\Data\\"},
        {"trailing slash kept", nullptr, "QuintoraDataDir=/srv/q/\n", nullptr, "/srv/q/"},
        {"INI in another section ignored", nullptr, nullptr, "[Other]\nQuintoraDataDir=/x\n", programData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(Dir.File("user"));
        std::filesystem::remove(Dir.File("machine.ini"));
        std::filesystem::remove(Dir.File("Vodozedo3.ini"));
        if (c.user) {
            std::filesystem::create_directories(Dir.File("user"));
            Dir.Write("user/registry.ini", Section(c.user));
        }
        if (c.machine) Dir.Write("machine.ini", Section(c.machine));
        if (c.ini) Dir.Write("Vodozedo3.ini", c.ini);
        EXPECT_EQ(ReadDataDirectory(), c.expected);
        EXPECT_EQ(UserValue(kDataDirValue), c.expected);
        if (c.user && std::string(c.user).find("AppTempFolder") != std::string::npos) {
            EXPECT_EQ(UserValue(kTempFolderValue), "/t");  // other values survive the write-back
        }
    }
}

TEST_F(DataDirectoryTest, SecondStartFindsTheWrittenBackValue) {
    std::string first = ReadDataDirectory();
    Dir.Write("Vodozedo3.ini", "[Initialization]\nQuintoraDataDir=/later/ini\n");
    EXPECT_EQ(ReadDataDirectory(), first);
}

TEST_F(DataDirectoryTest, WriteBackFailureIsRaised) {
    std::filesystem::create_directories(Dir.File("user/registry.ini"));  // cannot be replaced
    EXPECT_THROW(ReadDataDirectory(), ERegistryException);
}

TEST_F(DataDirectoryTest, PrivateDirectoryChoice) {
    struct Case {
        const char* name;
        const char* user;
        const char* tmpdir;  // null: unset
        std::string expected;
    };
    const Case cases[] = {
        {"AppTempFolder", "AppTempFolder=/apptmp\n", "/sys/tmp", "/apptmp"},
        {"empty AppTempFolder counts as absent", "AppTempFolder=\n", "/sys/tmp", "/sys/tmp/"},
        {"no key: temporary-files directory", nullptr, "/sys/tmp/", "/sys/tmp/"},
        {"no TMPDIR: /tmp", nullptr, nullptr, "/tmp/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(Dir.File("user"));
        if (c.user) {
            std::filesystem::create_directories(Dir.File("user"));
            Dir.Write("user/registry.ini", Section(c.user));
        }
        TScopedEnv tmp("TMPDIR", c.tmpdir);
        EXPECT_EQ(ChoosePrivateDirectory("/data/dir\\"), c.expected);
    }
}

TEST_F(DataDirectoryTest, DataModuleUsesTheLookupOrTheGivenDirectory) {
    Dir.Write("machine.ini", Section("QuintoraDataDir=/m/data\\\n"));
    {
        TZurodoriVaroVev dm;
        EXPECT_EQ(ZurodoriVaroVev, &dm);
        EXPECT_EQ(dm.DataDirectory, "/m/data\\");
        EXPECT_EQ(dm.RedudaroVovazad->PrivateDir(), Dir.File("tmp") + "/");
        EXPECT_EQ(dm.RedudaroVovazad->SessionName(), "QNSession");
        EXPECT_FALSE(dm.RedudaroVovazad->Active());
        TDEZEDEEngine* engine = GlobalEngine();
        EXPECT_TRUE(engine->CreateTempTablesInDatabase());
        EXPECT_EQ(engine->LockFileName(), "vodozedo3.lck");
        EXPECT_TRUE(engine->FilterRecordCounts());
        EXPECT_EQ(engine->TableDataTempExtension(), ".tat");
        EXPECT_EQ(engine->TableIndexTempExtension(), ".tdx");
        EXPECT_EQ(engine->TableBlobTempExtension(), ".tlb");
    }
    EXPECT_EQ(ZurodoriVaroVev, nullptr);
    std::filesystem::remove_all(Dir.File("user"));
    TScopedEnv noTmp("TMPDIR", nullptr);
    TZurodoriVaroVev given(nullptr, std::string("/given/dir"));
    EXPECT_EQ(given.DataDirectory, "/given/dir");
    EXPECT_EQ(given.RedudaroVovazad->PrivateDir(), "/tmp/");
    EXPECT_FALSE(std::filesystem::exists(Dir.File("user")));  // no lookup, no write-back
}

}  // namespace
}  // namespace dezede::freebolt
