#include "platform/registry.h"

#include <gtest/gtest.h>

#include "tests/platform/temp_dir.h"

namespace dezede {
namespace {

constexpr const char* kKey = "Software\\Brindlecot\\Quintora 3\\Folders";

class RegistryTest : public ::testing::Test {
protected:
    test::TTempDir Dir;
    test::TScopedEnv Hkcu{"QUINTORA_HKCU", Dir.File("hkcu/registry.ini").c_str()};
    test::TScopedEnv Hklm{"QUINTORA_HKLM", Dir.File("hklm.ini").c_str()};
};

TEST_F(RegistryTest, HivePathsFollowTheEnvironment) {
    EXPECT_EQ(HivePath(HKEY_CURRENT_USER), Dir.File("hkcu/registry.ini"));
    EXPECT_EQ(HivePath(HKEY_LOCAL_MACHINE), Dir.File("hklm.ini"));
    test::TScopedEnv noHkcu("QUINTORA_HKCU", nullptr), noHklm("QUINTORA_HKLM", nullptr);
    test::TScopedEnv xdg("XDG_CONFIG_HOME", "/x/conf"), home("HOME", "/home/u");
    EXPECT_EQ(HivePath(HKEY_CURRENT_USER), "/x/conf/quintora/registry.ini");
    EXPECT_EQ(HivePath(HKEY_LOCAL_MACHINE), "/etc/quintora/registry.ini");
    test::TScopedEnv noXdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(HivePath(HKEY_CURRENT_USER), "/home/u/.config/quintora/registry.ini");
}

TEST_F(RegistryTest, ReadOnlyOpenFailsLikeAMissingKeyAndCreatesNothing) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKeyReadOnly(kKey));  // no file
    EXPECT_EQ(reg.Access, KEY_READ);
    Dir.Write("hklm.ini", "[Software\\Other]\nx=1\n");
    reg.RootKey = HKEY_LOCAL_MACHINE;
    EXPECT_FALSE(reg.OpenKeyReadOnly(kKey));  // no section
    EXPECT_EQ(reg.ReadString("QuintoraDataDir"), "");
    EXPECT_FALSE(std::filesystem::exists(Dir.File("hkcu")));
}

TEST_F(RegistryTest, KeysAndValuesMatchWithoutCaseAndParentsExist) {
    Dir.Write("hklm.ini", "[SOFTWARE\\brindlecot\\Quintora 3\\FOLDERS]\nquintoradatadir=/srv/q\\\n");
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
    EXPECT_TRUE(reg.ValueExists("QuintoraDataDir"));
    EXPECT_EQ(reg.ReadString("QuintoraDataDir"), "/srv/q\\");
    EXPECT_FALSE(reg.ValueExists("AppTempFolder"));
    EXPECT_TRUE(reg.OpenKeyReadOnly("\\Software\\Brindlecot\\"));
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Brind"));
}

TEST_F(RegistryTest, WriteNeedsWriteAccessAndCreatesTheKey) {
    TRegistry reg;
    reg.Access = KEY_READ;
    EXPECT_FALSE(reg.OpenKey(kKey, true));  // cannot create with read access
    EXPECT_THROW(reg.WriteString("QuintoraDataDir", "x"), ERegistryException);

    reg.Access = KEY_ALL_ACCESS;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("QuintoraDataDir", "/data dir/");
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
    EXPECT_EQ(reg.ReadString("QuintoraDataDir"), "/data dir/");
    EXPECT_THROW(reg.WriteString("QuintoraDataDir", "y"), ERegistryException);  // opened read-only
}

TEST_F(RegistryTest, WriteKeepsChangesMadeSinceTheKeyWasOpened) {
    TRegistry a, b;
    ASSERT_TRUE(a.OpenKey(kKey, true));
    ASSERT_TRUE(b.OpenKey(kKey, true));
    a.WriteString("AppTempFolder", "/tmp/q");
    b.WriteString("QuintoraDataDir", "/d");
    TRegistry r;
    ASSERT_TRUE(r.OpenKeyReadOnly(kKey));
    EXPECT_EQ(r.ReadString("AppTempFolder"), "/tmp/q");
    EXPECT_EQ(r.ReadString("QuintoraDataDir"), "/d");
}

TEST_F(RegistryTest, UnreadableHiveIsNeverOverwritten) {
    std::filesystem::create_directories(Dir.File("hkcu/registry.ini"));  // a directory stands in the way
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKeyReadOnly(kKey));
    reg.Access = KEY_ALL_ACCESS;
    EXPECT_THROW(reg.OpenKey(kKey, true), ERegistryException);
    EXPECT_TRUE(std::filesystem::is_directory(Dir.File("hkcu/registry.ini")));
}

}  // namespace
}  // namespace dezede
