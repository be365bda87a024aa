#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "engine/data_directory.h"
#include "engine/data_engine.h"
#include "engine/data_session.h"
#include "engine/engine_file.h"
#include "engine/file_registry.h"
#include "engine/table_names.h"
#include "platform/process_paths.h"
#include "platform/thread_id.h"
#include "tests/helpers/temp_dir.h"

namespace dezede::test {
namespace {

class DataDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        Engine.Startup("dezede.lck");
        Session = Engine.CreateSession();
        for (const char* name : {"Orders.dat", "users.DAT", "notes.txt"}) std::ofstream(Dir.File(name)) << "";
    }
    TTempDir Dir;
    TDataEngine Engine;
    TDataSession* Session = nullptr;
};

TEST_F(DataDirectory, OpensAreCountedPerPath) {
    TDataDirectory* a = Session->OpenDataDir("db", Dir.Path(), false, false);
    EXPECT_TRUE(a->IsLive());
    EXPECT_EQ(a->Path(), Dir.Path() + "/");
    EXPECT_EQ(a->ErrorName(), Dir.Path());
    EXPECT_FALSE(a->ReadOnly());
    EXPECT_EQ(Session->OpenDataDir("other", " " + Dir.Path() + "/ ", false, true), a) << "same path, names not matched";
    EXPECT_EQ(a->ReferenceCount(), 2);
    TDataDirectory* named = Session->OpenDataDir("other", Dir.Path(), true, false);
    EXPECT_NE(named, a) << "names matched";
    Session->CloseDataDir(a);
    EXPECT_EQ(Session->Directories().size(), 2u);
    EXPECT_EQ(a->ReferenceCount(), 1);
    Session->CloseDataDir(a);
    Session->CloseDataDir(named);
    EXPECT_TRUE(Session->Directories().empty());

    // Another session gets a directory object of its own on the same path.
    TDataSession* other = Engine.CreateSession();
    TDataDirectory* mine = Session->OpenDataDir("db", Dir.Path(), false, false);
    EXPECT_NE(other->OpenDataDir("db", Dir.Path(), false, false), mine);

    // An empty path is the current directory (moved into the test's own).
    const std::string before = CurrentDirectory();
    ASSERT_EQ(chdir(Dir.Path().c_str()), 0);
    EXPECT_EQ(Session->OpenDataDir("db", "", false, false), mine);
    ASSERT_EQ(chdir(before.c_str()), 0);
    TDataDirectory* longName = Session->OpenDataDir(std::string(70, 'n'), Dir.Path(), true, false);
    EXPECT_EQ(longName->Name(), std::string(60, 'n'));
    EXPECT_EQ(Session->OpenDataDir(std::string(61, 'n'), Dir.Path(), true, false), longName);
}

TEST_F(DataDirectory, ListsAndFindsTables) {
    TDataDirectory* d = Session->OpenDataDir("db", Dir.Path(), false, false);
    std::vector<std::string> names = d->GetTableNames(false);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Orders", "users"}));
    names = d->GetTableNames(true);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Orders.dat", "users.DAT"}));
    EXPECT_TRUE(d->TableExists("ORDERS", false, false));
    EXPECT_TRUE(d->TableExists("some/where/orders.DAT", false, false));
    EXPECT_FALSE(d->TableExists("orders", false, true)) << "not open";
    EXPECT_FALSE(d->TableExists("notes", false, false));
    Engine.SetTableDataTempExtension(".tat");
    EXPECT_FALSE(d->TableExists("orders", true, false));
    // The lock file was created with both tables.
    ASSERT_NE(d->Locks(), nullptr);
    EXPECT_EQ(d->Locks()->Entries().size(), 2u);
}

TEST_F(DataDirectory, TemporaryNamesSkipTakenOnes) {
    TDataDirectory* d = Session->OpenDataDir("db", Dir.Path(), false, false);
    const std::string base = std::to_string(CurrentThreadId()).substr(0, 5);
    std::ofstream(Dir.File(base + "0.dat")) << "";
    std::ofstream(Dir.File(base + "1.dat")) << "";
    EXPECT_EQ(d->MakeTempTableName(), base + "2");
    Engine.SetTableDataTempExtension(".tat");
    EXPECT_EQ(d->MakeTempTableNameIn(Dir.Path() + "/", false), base + "0");
    std::ofstream(Dir.File(base + "0.tat")) << "";
    EXPECT_EQ(d->MakeTempTableNameIn(Dir.Path() + "/", false), base + "1");
    EXPECT_EQ(d->TempTableDirectory(), Session->GetPrivateDir());
    Engine.SetCreateTempTablesInDatabase(true);
    EXPECT_EQ(d->TempTableDirectory(), d->Path());
}

TEST_F(DataDirectory, AMissingDirectoryIsReadOnly) {
    TDataDirectory* d = Session->OpenDataDir("db", Dir.File("missing"), false, false);
    EXPECT_TRUE(d->ReadOnly());
    EXPECT_TRUE(d->GetTableNames(false).empty());
}

TEST_F(DataDirectory, TheMemoryDatabaseIsSharedByTheProcessSessions) {
    TFileRegistry& registry = TFileRegistry::Instance();
    {
        TEngineFile table(registry, "memdir-test/Parts.dat", true);
        table.Create();
        table.Close();
    }
    TDataSession* other = Engine.CreateSession();
    TDataDirectory* a = Session->OpenDataDir("MEMORY", "memdir-test", false, false);
    TDataDirectory* b = other->OpenDataDir("memory", "memdir-test", false, false);
    EXPECT_TRUE(a->InMemory());
    EXPECT_FALSE(a->ReadOnly());
    EXPECT_FALSE(b->ReadOnly());
    EXPECT_EQ(a->GetTableNames(false), std::vector<std::string>{"Parts"});
    EXPECT_TRUE(b->TableExists("parts", false, false));
    EXPECT_TRUE(registry.Exists("memdir-test/dezede.lck", true));
    EXPECT_EQ(b->Locks()->GetTableLocks("parts").Slot(), 1u);
    Session->CloseDataDir(a);
    other->CloseDataDir(b);
    registry.Delete("memdir-test/dezede.lck", true);
    registry.Delete("memdir-test/Parts.dat", true);
}

TEST(TableNames, NormalisesAndBuildsFileNames) {
    const struct {
        const char* given;
        const char* name;
    } names[] = {
        {"Orders", "Orders"},       {" data/Orders.DAT ", "Orders"}, {"c:\\db\\x.dat", "x"},
        {"x.dat.dat", "x.dat"},     {"report.txt", "report.txt"},
    };
    for (const auto& c : names) EXPECT_EQ(NormaliseTableName(c.given, ".dat"), c.name) << c.given;
    EXPECT_EQ(NormaliseTableName(std::string(70, 'a') + ".dat", ".dat"), std::string(60, 'a'));
    EXPECT_TRUE(SameTableName(" ORDERS", "orders "));
    EXPECT_EQ(TableFileName("/d/", "Orders", ".idx"), "/d/Orders.idx");
    EXPECT_EQ(TableFileName("/d/", "Orders.IDX", ".idx"), "/d/Orders.idx");
    EXPECT_EQ(NormaliseDirectoryPath(" C:\\data "), "C:/data/");
    EXPECT_EQ(NormaliseDirectoryPath(""), "");
}

}  // namespace
}  // namespace dezede::test

namespace dezede::test {
namespace {

// Shut-down frees the registry's idle files (memory files lose their
// contents) and leaves files that somebody still holds open alone.
TEST(EngineShutdown, FreesIdleFilesOnly) {
    TFileRegistry& registry = TFileRegistry::Instance();
    TEngineFile idle(registry, "shutdown-test/idle.dat", true), held(registry, "shutdown-test/held.dat", true);
    idle.Create();
    idle.Close();
    held.Create();
    TDataEngine engine;
    engine.Startup("dezede.lck");
    engine.Shutdown();
    EXPECT_FALSE(engine.Active());
    EXPECT_FALSE(registry.Exists("shutdown-test/idle.dat", true));
    EXPECT_TRUE(registry.Exists("shutdown-test/held.dat", true));
    held.Close();
    registry.Delete("shutdown-test/held.dat", true);
}

}  // namespace
}  // namespace dezede::test
