// Table objects of a directory: sharing, exclusive opens, the recreated index
// file, change detection between sessions, transactions and table files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "engine/data_directory.h"
#include "engine/data_engine.h"
#include "engine/data_file.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/engine_error.h"
#include "engine/file_registry.h"
#include "engine/table_files.h"
#include "engine/table_locks.h"
#include "tests/engine/two_sessions.h"
#include "tests/helpers/temp_dir.h"
#include "test_errors.h"

namespace dezede::test {
namespace {

TTableDefinition OneInteger() {
    TTableDefinition def;
    TFieldDescriptor f;
    f.Name = "ID";
    f.Type = ftdInteger;
    def.Fields = {f};
    return def;
}

// Appends one record and writes it out under the table write lock.
void InsertOne(TDataTable& t) {
    t.BeginWrite();
    std::vector<uint8_t> record(t.DataFile()->Header().RecordSize, 0);
    t.DataFile()->InsertRecord(record);
    t.WriteChanges();
    t.EndWrite();
}

class DataTable : public TwoSessionsTest {
protected:
    void SetUp() override {
        Engine.SetTableReadLockRetryCount(0);
        Engine.SetTableWriteLockRetryCount(0);
        Engine.SetTableTransLockRetryCount(0);
        StartSessions();
        DirA->CreateTable("Orders", OneInteger());
        DirA->CreateTable("Users", OneInteger());
    }
};

TEST_F(DataTable, OpensAreSharedAndExclusiveOnesRefused) {
    TDataTable* t = DirA->OpenTable("orders", "Orders", true, false, false);
    EXPECT_EQ(DirA->OpenTable("ORDERS.dat", "", true, false, false), t);
    EXPECT_EQ(t->UserCount(), 2);
    ASSERT_NE(t->TableLocks(), nullptr);
    EXPECT_GE(t->TableLocks()->Slot(), 1u);
    EXPECT_EQ(ErrorOf([&] { DirA->OpenTable("orders", "", true, true, false); }), DEZEDE_OSEACCES);
    DirA->CloseTable(t);
    EXPECT_TRUE(DirA->TableExists("orders", false, true));
    DirA->CloseTable(t);
    EXPECT_TRUE(DirA->Tables().empty());

    TDataTable* x = DirA->OpenTable("users", "", true, true, false);
    EXPECT_EQ(x->TableLocks(), nullptr) << "an exclusive table takes no slot";
    EXPECT_EQ(ErrorOf([&] { DirA->OpenTable("users", "", true, false, false); }), DEZEDE_OSEACCES);
    EXPECT_EQ(ErrorOf([&] { DirB->OpenTable("users", "", true, false, false); }), DEZEDE_OSEACCES)
        << "another session's open of an exclusively open file";
    DirA->CloseTable(x);

    // Kept open: the last close leaves the files open; an exclusive open is refused.
    DirA->SetKeepTablesOpen(true);
    t = DirA->OpenTable("orders", "", true, false, false);
    DirA->CloseTable(t);
    EXPECT_TRUE(t->IsOpen());
    EXPECT_EQ(t->UserCount(), 0);
    EXPECT_EQ(ErrorOf([&] { DirA->OpenTable("orders", "", true, true, false); }), DEZEDE_OSEACCES);
    EXPECT_EQ(DirA->OpenTable("orders", "", true, false, false), t);
    EXPECT_EQ(ErrorOf([&] { DirB->CloseTable(t); }), DEZEDE_OSENOENT);
}

TEST_F(DataTable, OpenFailuresAndTheRecreatedIndexFile) {
    ASSERT_TRUE(std::filesystem::remove(Dir.File("Orders.idx")));
    TDataTable* t = DirA->OpenTable("orders", "", true, false, false);
    EXPECT_TRUE(t->IndexRecreated());
    EXPECT_TRUE(std::filesystem::exists(Dir.File("orders.idx"))) << "created with the table's name";
    EXPECT_EQ(ErrorOf([&] { DirA->OpenTable("missing", "", true, false, false); }), DEZEDE_OSENOENT);
    EXPECT_EQ(DirA->Tables().size(), 1u) << "a failed open leaves no table object";
}

TEST_F(DataTable, AChangeIsSeenByTheOtherSessionsNextReadLock) {
    TDataTable* a = DirA->OpenTable("orders", "", true, false, false);
    TDataTable* b = DirB->OpenTable("orders", "", true, false, false);
    EXPECT_FALSE(b->BeginRead());
    b->EndRead();
    InsertOne(*a);
    EXPECT_TRUE(b->BeginRead()) << "counter moved, caches discarded";
    EXPECT_EQ(b->DataFile()->Header().RecordCount, 1u);
    b->EndRead();
    EXPECT_FALSE(b->BeginRead());
    b->EndRead();
}

TEST_F(DataTable, RestrictedTransactionsWriteAtCommitAndForgetAtRollback) {
    TDataTable* a = DirA->OpenTable("orders", "", true, false, false);
    TDataTable* b = DirB->OpenTable("orders", "", true, false, false);
    DirA->StartTransaction({"Orders"});
    EXPECT_TRUE(a->InTransaction());
    EXPECT_TRUE(a->TableLocks()->Holds(TDataTableLocks::kTransLocked));
    EXPECT_EQ(ErrorOf([&] { b->BeginWrite(); }), DEZEDE_WRITELOCK) << "outside a transaction a writer waits";
    InsertOne(*a);  // kept in the caches
    EXPECT_FALSE(b->BeginRead());
    b->EndRead();
    a->LockRecord(1);
    a->EndRead();
    a->UnlockRecord(1);
    EXPECT_EQ(ErrorOf([&] { b->LockRecord(1); }), DEZEDE_RECLOCKFAILED) << "released at the end";
    DirA->Commit(false, true);
    EXPECT_FALSE(a->InTransaction());
    EXPECT_EQ(a->TableLocks()->Flags(), 0);
    EXPECT_TRUE(b->BeginRead());
    EXPECT_EQ(b->DataFile()->Header().RecordCount, 1u);
    b->EndRead();
    EXPECT_EQ(ErrorOf([&] { b->LockRecord(1); }), 0);
    b->EndRead();
    b->UnlockRecord(1);

    DirA->StartTransaction({"orders"});
    InsertOne(*a);
    EXPECT_EQ(a->DataFile()->Header().RecordCount, 2u);
    DirA->Rollback();
    EXPECT_EQ(a->DataFile()->Header().RecordCount, 1u) << "never written, lost";
    EXPECT_EQ(ErrorOf([&] { b->BeginWrite(); }), 0);
    b->EndWrite();
}

TEST_F(DataTable, FullTransactionsCoverEveryTable) {
    TDataTable* a = DirA->OpenTable("orders", "", true, false, false);
    DirA->StartTransaction({});
    EXPECT_TRUE(a->InTransaction());
    TDataTable* users = DirA->OpenTable("users", "", true, false, false);
    EXPECT_TRUE(users->InTransaction()) << "a table opened later joins";
    EXPECT_EQ(ErrorOf([&] { DirB->StartTransaction({}); }), DEZEDE_TRANSLOCK);
    EXPECT_FALSE(DirB->InTransaction());
    TDataTable* b = DirB->OpenTable("users", "", true, false, false);
    EXPECT_EQ(ErrorOf([&] { b->BeginWrite(); }), DEZEDE_WRITELOCK);
    InsertOne(*users);
    DirA->Commit(false, true);
    EXPECT_FALSE(users->InTransaction());
    EXPECT_TRUE(b->BeginWrite());
    b->EndWrite();
    EXPECT_EQ(b->DataFile()->Header().RecordCount, 1u);
}

TEST_F(DataTable, TableFilesOfADirectory) {
    DirA->RenameTable("users", "", "People", false);
    EXPECT_TRUE(DirA->TableExists("people", false, false));
    EXPECT_FALSE(DirA->TableExists("users", false, false));
    DirA->RenameTable("people", "", "people", true);
    EXPECT_TRUE(std::filesystem::exists(Dir.File("people.dbk")));
    TDataTable* t = DirA->OpenTable("orders", "", true, false, false);
    EXPECT_EQ(ErrorOf([&] { DirA->DeleteTable("orders"); }), DEZEDE_OSEACCES) << "in use";
    EXPECT_EQ(ErrorOf([&] { DirA->CreateTable("orders", OneInteger()); }), DEZEDE_OSEACCES);
    DirA->CloseTable(t);
    DirA->DeleteTable("orders");
    EXPECT_FALSE(DirA->TableExists("orders", false, false));

    A->CloseDataDir(DirA);
    B->CloseDataDir(DirB);
    ASSERT_EQ(chmod(Dir.File("dezede.lck").c_str(), 0444), 0);
    TDataDirectory* readOnly = Engine.CreateSession()->OpenDataDir("db", Dir.Path(), false, false);
    EXPECT_TRUE(readOnly->ReadOnly());
    EXPECT_EQ(ErrorOf([&] { readOnly->CreateTable("t", OneInteger()); }), DEZEDE_OSEACCES);
    EXPECT_EQ(ErrorOf([&] { readOnly->DeleteTable("people"); }), DEZEDE_OSEACCES);
    EXPECT_EQ(ErrorOf([&] { readOnly->RenameTable("people", "", "x", false); }), DEZEDE_OSEACCES);
}

// Tables of the "Memory" database live in the process's memory file list:
// created by one session, written and seen by another, renamed, listed and
// deleted there, and never on the disk.
TEST(MemoryDatabaseTables, AreSharedByTheSessionsAndNeverOnDisk) {
    TTempDir dir;
    TDataEngine engine;
    engine.Startup("dezede.lck");
    TDataSession* a = engine.CreateSession();
    TDataSession* b = engine.CreateSession();
    TDataDirectory* dirA = a->OpenDataDir("Memory", dir.Path(), false, false);
    TDataDirectory* dirB = b->OpenDataDir("mEMORY", dir.Path(), false, false);
    ASSERT_TRUE(dirA->InMemory());
    TTableDefinition def = OneInteger();
    TFieldDescriptor memo;
    memo.Name = "Notes";
    memo.Type = ftdBlob;
    memo.SubType = fsdMemo;
    def.Fields.push_back(memo);
    dirA->CreateTable("Orders", def);
    EXPECT_EQ(dirB->GetTableNames(false), std::vector<std::string>{"Orders"});

    TDataTable* ta = dirA->OpenTable("orders", "", true, false, false);
    TDataTable* tb = dirB->OpenTable("ORDERS", "", true, false, false);
    ASSERT_NE(tb->BlobFile(), nullptr);
    EXPECT_FALSE(tb->BeginRead());
    tb->EndRead();
    InsertOne(*ta);
    EXPECT_TRUE(tb->BeginRead());
    EXPECT_EQ(tb->DataFile()->Header().RecordCount, 1u);
    tb->EndRead();
    dirA->CloseTable(ta);
    dirB->CloseTable(tb);

    dirB->RenameTable("orders", "", "Sales", false);
    EXPECT_EQ(dirA->GetTableNames(false), std::vector<std::string>{"Sales"});
    TDataTable* sales = dirA->OpenTable("sales", "", true, false, false);
    EXPECT_EQ(sales->DataFile()->Header().RecordCount, 1u);
    EXPECT_EQ(ErrorOf([&] { dirB->DeleteTable("sales"); }), DEZEDE_OSEACCES) << "open in the other session";
    dirA->CloseTable(sales);
    dirB->DeleteTable("sales");
    EXPECT_TRUE(dirA->GetTableNames(false).empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "nothing was written to the disk";

    a->CloseDataDir(dirA);
    b->CloseDataDir(dirB);
    TFileRegistry& registry = TFileRegistry::Instance();
    registry.Delete(dir.File("dezede.lck"), true);
}

}  // namespace
}  // namespace dezede::test
