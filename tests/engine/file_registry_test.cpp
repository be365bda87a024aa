#include "engine/file_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "engine/engine_error.h"
#include "engine/engine_file.h"
#include "../helpers/helper_process.h"
#include "../helpers/temp_dir.h"
#include "test_errors.h"

namespace dezede {
namespace {

using test::ErrorOf;

using test::THelperProcess;
using test::TTempDir;

void Touch(const std::string& path, const std::string& text = "data") { std::ofstream(path, std::ios::binary) << text; }

class FileRegistryTest : public ::testing::Test {
protected:
    TFileRegistry Registry;
    TTempDir Dir;
    std::unique_ptr<TEngineFile> File(const std::string& name, bool exclusive = false) {
        auto f = std::make_unique<TEngineFile>(Registry, name);
        f->Exclusive = exclusive;
        return f;
    }
};

TEST_F(FileRegistryTest, OpensShareOneFileObjectAcrossNamesAndCase) {
    Touch(Dir.File("ORDERS.DAT"));
    auto a = File(Dir.File("orders.dat"));
    auto b = File("  " + Dir.File("Orders.Dat") + " ");
    a->Open();
    b->Open();
    EXPECT_EQ(a->BaseFile(), b->BaseFile());
    EXPECT_EQ(a->BaseFile()->HandleCount(), 2);
    EXPECT_EQ(a->BaseFile()->FileName(), Dir.File("ORDERS.DAT"));
    EXPECT_EQ(Registry.Count(false), 1u);
    auto reader = File(Dir.File("orders.dat"));
    reader->ReadOnly = true;
    reader->Open();
    EXPECT_TRUE(reader->EffectiveReadOnly()) << "also when it shares a read-write descriptor";
    EXPECT_FALSE(a->EffectiveReadOnly());
    EXPECT_EQ(ErrorOf([&] { reader->Write("x", 1); }), DEZEDE_WRITEERR);
    reader->Close();
    a->Close();
    EXPECT_EQ(Registry.Count(false), 1u);
    b->Close();
    EXPECT_EQ(Registry.Count(false), 0u);
}

TEST_F(FileRegistryTest, ExclusivityInsideTheProcess) {
    Touch(Dir.File("t.dat"));
    auto shared = File(Dir.File("t.dat"));
    shared->Open();
    EXPECT_EQ(ErrorOf([&] { File(Dir.File("t.dat"), true)->Open(); }), DEZEDE_OSEACCES);
    shared->Close();

    auto exclusive = File(Dir.File("t.dat"), true);
    exclusive->Open();
    EXPECT_EQ(ErrorOf([&] { File(Dir.File("t.dat"))->Open(); }), DEZEDE_OSEACCES);
    EXPECT_EQ(ErrorOf([&] { File(Dir.File("t.dat"))->Create(); }), DEZEDE_OSEACCES);
    EXPECT_EQ(ErrorOf([&] { File(Dir.File("t.dat"))->Delete(); }), DEZEDE_OSEACCES);
    EXPECT_EQ(ErrorOf([&] { File(Dir.File("t.dat"))->Rename(Dir.File("u.dat")); }), DEZEDE_OSEACCES);
    exclusive->Close();

    auto created = File(Dir.File("new.dat"));
    created->Create();
    EXPECT_EQ(ErrorOf([&] { File(Dir.File("new.dat"))->Open(); }), DEZEDE_OSEACCES)
        << "a created file stays exclusive until its creator closes it";
    created->Close();
    auto again = File(Dir.File("new.dat"));
    again->Open();
    File(Dir.File("new.dat"))->Open();  // shared opens work again
}

TEST_F(FileRegistryTest, MissingFilesAndNameOperations) {
    auto missing = File(Dir.File("none.dat"));
    EXPECT_EQ(ErrorOf([&] { missing->Open(); }), DEZEDE_OSENOENT);
    EXPECT_EQ(TErrorContextStore::Instance().Last().ErrorTableName, Dir.File("none.dat"));
    EXPECT_FALSE(Registry.Exists(Dir.File("none.dat"), false));

    Touch(Dir.File("a.dat"));
    Touch(Dir.File("b.dat"));
    EXPECT_EQ(Registry.Rename(Dir.File("a.dat"), Dir.File("B.DAT"), false), DEZEDE_OSEACCES)
        << "an existing target is refused";
    EXPECT_EQ(Registry.Rename(Dir.File("A.DAT"), Dir.File("c.dat"), false), 0);
    EXPECT_TRUE(Registry.Exists(Dir.File("C.Dat"), false));
    EXPECT_EQ(Registry.Delete(Dir.File("c.dat"), false), 0);
    EXPECT_EQ(Registry.Delete(Dir.File("c.dat"), false), DEZEDE_OSENOENT);
}

// A new-only create of an existing file (on disk, or a memory file kept
// after its last close) fails and leaves the existing bytes alone.
TEST_F(FileRegistryTest, NewOnlyCreateKeepsAnExistingFile) {
    for (const bool inMemory : {false, true}) {
        SCOPED_TRACE(inMemory ? "memory" : "disk");
        const std::string name = Dir.File("dezede.lck");
        {
            TEngineFile first(Registry, name, inMemory);
            first.NewOnly = true;
            first.Create();
            first.Write("winner", 6);
        }
        TEngineFile second(Registry, name, inMemory);
        second.NewOnly = true;
        EXPECT_EQ(ErrorOf([&] { second.Create(); }), DEZEDE_OSEACCES);
        second.Open();
        char bytes[8] = {};
        EXPECT_EQ(second.Read(bytes, sizeof bytes, true), 6u);
        EXPECT_EQ(std::string(bytes, 6), "winner");
    }
}

TEST_F(FileRegistryTest, TemporaryFileGoesWithItsLastHandle) {
    auto t = File(Dir.File("tmp.tat"));
    t->Temporary = true;
    t->Create();
    t->Close();
    EXPECT_FALSE(std::filesystem::exists(Dir.File("tmp.tat")));
}

TEST_F(FileRegistryTest, ReadOnlyAttributeOpensReadOnlyEvenForRoot) {
    Touch(Dir.File("ro.dat"));
    ASSERT_EQ(chmod(Dir.File("ro.dat").c_str(), 0444), 0);
    auto f = File(Dir.File("ro.dat"));
    f->Open();
    EXPECT_TRUE(f->EffectiveReadOnly());
    EXPECT_TRUE(f->ReadOnlyOnDisk());
    char c = 'x';
    EXPECT_EQ(ErrorOf([&] { f->Write(&c, 1); }), DEZEDE_WRITEERR);
}

// Across processes the share lock and the kernel's region locks decide.
class FileRegistryProcessTest : public FileRegistryTest {
protected:
    THelperProcess Helper{std::string(DEZEDE_HELPER_DIR) + "/file_lock_helper"};
};

TEST_F(FileRegistryProcessTest, SharingBetweenProcesses) {
    const std::string path = Dir.File("t.dat");
    Touch(path);
    ASSERT_EQ(Helper.Ask("open " + path + " shared"), "ok");
    EXPECT_EQ(ErrorOf([&] { File(path, true)->Open(); }), DEZEDE_OSEACCES);
    EXPECT_EQ(ErrorOf([&] { File(path)->Create(); }), DEZEDE_OSEACCES);
    auto shared = File(path);
    shared->Open();
    shared->Close();
    ASSERT_EQ(Helper.Ask("close"), "ok");

    auto exclusive = File(path, true);
    exclusive->Open();
    EXPECT_EQ(Helper.Ask("open " + path + " shared"), "err " + std::to_string(DEZEDE_OSEACCES));
    EXPECT_EQ(Helper.Ask("open " + path + " readonly"), "err " + std::to_string(DEZEDE_OSEACCES));
    exclusive->Close();
    EXPECT_EQ(Helper.Ask("open " + path + " shared"), "ok");
}

TEST_F(FileRegistryProcessTest, RegionLocks) {
    const std::string path = Dir.File("t.dat");
    Touch(path);
    auto a = File(path);
    auto b = File(path);
    a->Open();
    b->Open();
    ASSERT_EQ(Helper.Ask("open " + path + " shared"), "ok");
    const uint64_t near63 = (uint64_t{1} << 63) - 2;
    for (const uint64_t off : {uint64_t{4294967295}, near63}) {
        SCOPED_TRACE(off);
        ASSERT_TRUE(a->LockRegion(off, 1, true));
        EXPECT_FALSE(b->LockRegion(off, 1, true)) << "the same process";
        EXPECT_FALSE(a->LockRegion(off, 1, true));
        EXPECT_EQ(Helper.Ask("lock " + std::to_string(off) + " 1"), "fail") << "another process";
        EXPECT_FALSE(a->LockRegion(off, 2, false)) << "unlock must name the region exactly";
        EXPECT_TRUE(b->LockRegion(off, 1, false)) << "any handle of the file may unlock it";
        EXPECT_FALSE(a->LockRegion(off, 1, false)) << "no longer held";
        EXPECT_EQ(Helper.Ask("lock " + std::to_string(off) + " 1"), "ok");
        EXPECT_FALSE(a->LockRegion(off, 1, true));
        EXPECT_EQ(Helper.Ask("unlock " + std::to_string(off) + " 1"), "ok");
    }
    // Overlapping regions of one process fail without asking the kernel.
    ASSERT_TRUE(a->LockRegion(1000, 100, true));
    EXPECT_FALSE(a->LockRegion(1050, 100, true));
    EXPECT_TRUE(a->LockRegion(1100, 100, true));
    // Locks vanish with the process's last handle.
    a->Close();
    b->Close();
    EXPECT_EQ(Helper.Ask("lock 1000 200"), "ok");
}

}  // namespace
}  // namespace dezede
