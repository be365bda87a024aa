#include "engine/memory_file.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "engine/engine_error.h"
#include "engine/engine_file.h"
#include "engine/file_registry.h"

namespace dezede {
namespace {

TEST(MemoryFileTest, TransfersAcrossChunkBoundaries) {
    TMemoryFile f("mem");
    const int32_t h = f.CreateFile();
    ASSERT_GT(h, 0);
    std::vector<uint8_t> data(3 * kMemoryChunkSize + 10);
    std::iota(data.begin(), data.end(), uint8_t{7});
    f.SeekFile(h, kSeekFromStart, kMemoryChunkSize - 5);
    ASSERT_EQ(f.WriteData(h, data.data(), static_cast<uint32_t>(data.size())), data.size());
    EXPECT_EQ(f.GetSize(), kMemoryChunkSize - 5 + data.size());
    EXPECT_EQ(f.AllocatedSize(), 5ull * kMemoryChunkSize);

    std::vector<uint8_t> back(data.size() + 100, 0xEE);
    f.SeekFile(h, kSeekFromStart, kMemoryChunkSize - 5);
    EXPECT_EQ(f.ReadData(h, back.data(), static_cast<uint32_t>(back.size())), data.size()) << "stops at the end";
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
    std::vector<uint8_t> hole(10, 0xEE);
    f.SeekFile(h, kSeekFromStart, 0);
    ASSERT_EQ(f.ReadData(h, hole.data(), 10), 10u);
    EXPECT_EQ(hole, std::vector<uint8_t>(10, 0)) << "never written bytes read as zero";
    EXPECT_EQ(f.ReadData(h, hole.data(), 0), 0u);
    f.SeekFile(h, kSeekFromEnd, 0);
    EXPECT_EQ(f.ReadData(h, hole.data(), 10), 0u) << "a read at the end returns nothing";
}

TEST(MemoryFileTest, ZeroByteWriteTruncatesAndEachHandleHasItsPosition) {
    TMemoryFile f("mem");
    const int32_t a = f.CreateFile();
    const int32_t b = f.OpenFile();
    std::vector<uint8_t> data(2 * kMemoryChunkSize, 0xAB);
    f.WriteData(a, data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_EQ(f.SeekFile(b, kSeekFromCurrent, 0), 0u) << "b did not move";
    EXPECT_EQ(f.SeekFile(b, kSeekFromEnd, 100), data.size() - 100);
    f.SeekFile(a, kSeekFromStart, 100);
    EXPECT_EQ(f.WriteData(a, nullptr, 0), 0u);
    EXPECT_EQ(f.GetSize(), 100u);
    EXPECT_EQ(f.AllocatedSize(), uint64_t{kMemoryChunkSize});
    // Growing again shows zeros, not the old bytes.
    f.SeekFile(a, kSeekFromStart, 200);
    const uint8_t one = 1;
    f.WriteData(a, &one, 1);
    uint8_t mid[100];
    f.SeekFile(b, kSeekFromStart, 100);
    ASSERT_EQ(f.ReadData(b, mid, 100), 100u);
    EXPECT_EQ(std::count(mid, mid + 100, 0), 100);
    // A zero-byte write past the end extends the file.
    f.SeekFile(a, kSeekFromStart, 3 * kMemoryChunkSize);
    f.WriteData(a, nullptr, 0);
    EXPECT_EQ(f.GetSize(), 3ull * kMemoryChunkSize);
    EXPECT_EQ(f.ReadData(99, mid, 1), 0u) << "unknown handle";
}

TEST(MemoryFileTest, RegionListDecidesLocks) {
    TMemoryFile f("mem");
    EXPECT_TRUE(f.LockRegion(4294967295ull, 1));
    EXPECT_TRUE(f.LockRegion((uint64_t{1} << 63) - 2, 1));
    EXPECT_FALSE(f.LockRegion(4294967290ull, 10));
    EXPECT_FALSE(f.UnlockRegion(4294967295ull, 2));
    EXPECT_TRUE(f.UnlockRegion(4294967295ull, 1));
    EXPECT_FALSE(f.UnlockRegion(4294967295ull, 1));
    EXPECT_TRUE(f.LockRegion(4294967290ull, 10));
}

TEST(MemoryFileTest, RegisteredMemoryFilesOutliveTheirHandles) {
    TFileRegistry registry;
    {
        TEngineFile f(registry, "Mem/Orders.dat", true);
        EXPECT_THROW(f.Open(), EDEZEDEEngineError) << "not registered yet";
        f.Create();
        f.Write("hello", 5);
    }
    TEngineFile again(registry, " mem/ORDERS.DAT ", true);
    again.Open();
    char buf[5];
    again.Seek(kSeekFromStart, 0);
    again.Read(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(registry.Delete("mem/orders.dat", true), DEZEDE_OSEACCES) << "still open";
    again.Close();
    EXPECT_EQ(registry.Rename("mem/orders.dat", "mem/old.dat", true), 0);
    EXPECT_FALSE(registry.Exists("mem/orders.dat", true));
    EXPECT_EQ(registry.Delete("MEM/OLD.DAT", true), 0);
    EXPECT_EQ(registry.Count(true), 0u);

    TEngineFile kept(registry, "mem/kept.dat", true), open(registry, "mem/open.dat", true);
    kept.Create();
    kept.Close();
    open.Create();
    registry.Clear();
    EXPECT_FALSE(registry.Exists("mem/kept.dat", true));
    EXPECT_TRUE(registry.Exists("mem/open.dat", true)) << "a file in use stays";
    open.Close();

    TEngineFile temp(registry, "mem/t.tat", true);
    temp.Temporary = true;
    temp.Create();
    temp.Close();
    EXPECT_FALSE(registry.Exists("mem/t.tat", true));
}

}  // namespace
}  // namespace dezede
