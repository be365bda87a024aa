#include "engine/data_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "engine/data_engine.h"

namespace dezede {
namespace {

TEST(DataSession, PrivateDirIsTrimmedWithTrailingSeparator) {
    TDataEngine engine;
    TDataSession& session = *engine.CreateSession();
    const std::pair<const char*, const char*> cases[] = {
        {"  /data/tmp  ", "/data/tmp/"}, {"/data/tmp/", "/data/tmp/"}, {"C:\\Quintora\\Temp", "C:/Quintora/Temp/"},
        {"relative", "relative/"},        {"   ", ""},                   {"", ""},
    };
    for (const auto& [given, stored] : cases) {
        session.SetPrivateDir(given);
        EXPECT_EQ(session.PrivateDir(), stored) << given;
    }
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(session.GetPrivateDir(), std::string(cwd) + (std::string(cwd) == "/" ? "" : "/"));
    session.SetPrivateDir("/x");
    EXPECT_EQ(session.GetPrivateDir(), "/x/");
}

TEST(DataSession, PrivateDirDefaultsToTheTemporaryDirectory) {
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old != nullptr ? old : "";
    setenv("TMPDIR", "/var/tmp/dezede-test", 1);
    TDataEngine engine;
    EXPECT_EQ(engine.CreateSession()->PrivateDir(), "/var/tmp/dezede-test/");
    if (old != nullptr)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST(DataSession, PasswordsAndTheirPool) {
    TDataEngine engine;
    TDataSession& session = *engine.CreateSession();
    session.AddPassword("");
    session.AddPassword("abc");
    session.AddPassword("abc");
    session.AddPassword("secret");
    EXPECT_EQ(session.PasswordTexts(), (std::vector<std::string>{"abc", "secret"}));

    const TPasswordDigest abc = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                 0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    const TTablePassword* found = session.FindPassword(abc);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Text(), "abc");

    session.DelPassword("abc");
    session.DelPassword("unknown");
    EXPECT_EQ(session.FindPassword(abc), nullptr);
    EXPECT_EQ(session.PooledPasswordCount(), 1u);
    session.AddPassword("abc");  // comes back from the pool
    EXPECT_EQ(session.FindPassword(abc), found);
    EXPECT_EQ(session.PooledPasswordCount(), 0u);

    session.DelAllPasswords();
    EXPECT_TRUE(session.PasswordTexts().empty());
    EXPECT_EQ(session.PooledPasswordCount(), 2u);
}

}  // namespace
}  // namespace dezede
