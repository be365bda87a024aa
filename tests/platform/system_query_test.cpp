// The version query, the folders and the profile-file lookup.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/os_version.h"
#include "platform/profile_file.h"
#include "platform/system_paths.h"
#include "tests/platform/temp_dir.h"

namespace dezede {
namespace {

TEST(OSVersion, ReportsTenUnlessAValidOverrideIsSet) {
    struct Case { const char* env; uint32_t major; };
    for (Case c : {Case{nullptr, 10}, Case{"5", 5}, Case{"6", 6}, Case{"", 10}, Case{"5x", 10},
                   Case{"-1", 10}, Case{"99999999999", 10}}) {
        test::TScopedEnv env("QUINTORA_OS_MAJOR", c.env);
        EXPECT_EQ(OSMajorVersion(), c.major) << (c.env ? c.env : "(unset)");
    }
    TOSVersionInfo wrongSize;
    wrongSize.dwOSVersionInfoSize = 156;
    EXPECT_FALSE(GetVersionEx(wrongSize));
}

TEST(SystemPaths, FoldersComeFromTheEnvironmentOrDefaults) {
    {
        test::TScopedEnv w("QUINTORA_WINDIR", "/opt/win");
        EXPECT_EQ(WindowsDirectory(), "/opt/win");
    }
    test::TScopedEnv w("QUINTORA_WINDIR", nullptr);
    EXPECT_EQ(WindowsDirectory(), "/etc");

    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    std::string self(exe, static_cast<size_t>(n));
    EXPECT_EQ(ProgramFolder(), self.substr(0, self.rfind('/') + 1));
}

TEST(ProfileFile, LooksInTheWindowsDirectoryIgnoringCase) {
    test::TTempDir dir;
    test::TScopedEnv w("QUINTORA_WINDIR", dir.Path().c_str());
    EXPECT_EQ(GetPrivateProfileString("Initialization", "QuintoraDataDir", "dflt", "Vodozedo3.ini"), "dflt");
    dir.Write("VODOZEDO3.INI", "[INITIALIZATION]\nQuintoraDataDir=/from/ini\n");
    EXPECT_EQ(ProfileFilePath("Vodozedo3.ini"), dir.File("VODOZEDO3.INI"));
    EXPECT_EQ(GetPrivateProfileString("Initialization", "QuintoraDataDir", "", "Vodozedo3.ini"), "/from/ini");
    EXPECT_EQ(GetPrivateProfileString("Initialization", "Missing", "d", "Vodozedo3.ini"), "d");
    dir.Write("Vodozedo3.ini", "[Initialization]\nQuintoraDataDir=/exact\n");  // the exact name wins
    EXPECT_EQ(GetPrivateProfileString("Initialization", "QuintoraDataDir", "", "Vodozedo3.ini"), "/exact");
    EXPECT_EQ(GetPrivateProfileString("Initialization", "QuintoraDataDir", "", dir.File("VODOZEDO3.INI")),
              "/from/ini");
}

}  // namespace
}  // namespace dezede
