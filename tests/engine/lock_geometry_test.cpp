#include <gtest/gtest.h>

#include "engine/lock_geometry.h"

namespace dezede::test {
namespace {

// The offsets are the protocol between processes: every one is pinned here.
TEST(LockGeometry, OffsetsOfBothSettings) {
    constexpr TLockGeometry off = TLockGeometry::For(false);
    constexpr TLockGeometry on = TLockGeometry::For(true);
    const struct {
        const char* what;
        TLockRegion got;
        TLockRegion want;
    } cases[] = {
        {"lock-file read s=1", off.LockFileReadByte(1), {4294901760ull, 1}},
        {"lock-file read s=65534", off.LockFileReadByte(65534), {4294967293ull, 1}},
        {"lock-file write", off.LockFileWriteRegion(), {4294901760ull, 65535}},
        {"trans slot 1", off.TransByte(1), {4294901759ull, 1}},
        {"trans slot 4096", off.TransByte(4096), {4294897664ull, 1}},
        {"all trans", off.AllTransRegion(), {4294897664ull, 4096}},
        {"table write slot 1", off.TableWriteRegion(1), {4294832129ull, 65535}},
        {"table read slot 1 s=65534", off.TableReadByte(1, 65534), {4294897662ull, 1}},
        {"table write slot 4096", off.TableWriteRegion(4096), {4026466304ull, 65535}},
        {"all write", off.AllWriteRegion(), {4026466304ull, 268431360ull}},
        {"record 1", off.RecordByte(1), {4294967294ull, 1}},
        {"record 200000000", off.RecordByte(200000000), {4094967295ull, 1}},
        {"whole table", off.AllRecordsRegion(), {4094967295ull, 200000000ull}},
        {"semaphore 1", off.SemaphoreByte(1), {4094967294ull, 1}},
        {"semaphore 1024", off.SemaphoreByte(1024), {4094966271ull, 1}},
        {"lfs lock-file write", on.LockFileWriteRegion(), {9223372036854775807ull - 65535, 65535}},
        {"lfs trans slot 1", on.TransByte(1), {9223372036854775807ull - 65536, 1}},
        {"lfs record 1", on.RecordByte(1), {9223372036854775806ull, 1}},
        {"lfs whole table", on.AllRecordsRegion(), {9223372036854775807ull - 1000000000ull, 1000000000ull}},
        {"lfs semaphore 1024", on.SemaphoreByte(1024), {9223372036854775807ull - 1000000000ull - 1024, 1}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

// The regions nest as the protocol relies on, and no protocol region
// meets the share-mode byte at 2^62.
TEST(LockGeometry, RegionsNest) {
    for (bool lfs : {false, true}) {
        const TLockGeometry g = TLockGeometry::For(lfs);
        for (uint32_t slot : {1u, 2u, 4095u, 4096u}) {
            EXPECT_TRUE(g.AllTransRegion().Contains(g.TransByte(slot).Offset));
            EXPECT_TRUE(g.AllWriteRegion().Contains(g.TableWriteRegion(slot).Offset));
            EXPECT_TRUE(g.AllWriteRegion().Contains(g.TableWriteRegion(slot).Last()));
            EXPECT_TRUE(g.TableWriteRegion(slot).Contains(g.TableReadByte(slot, 1).Offset));
            EXPECT_TRUE(g.TableWriteRegion(slot).Contains(g.TableReadByte(slot, 65534).Offset));
        }
        EXPECT_EQ(g.AllWriteRegion().Last() + 1, g.AllTransRegion().Offset);
        EXPECT_EQ(g.AllTransRegion().Last() + 1, g.LockFileWriteRegion().Offset);
        EXPECT_EQ(g.LockFileWriteRegion().Last(), g.LockBase - 1);
        EXPECT_EQ(g.AllRecordsRegion().Last(), g.RecordByte(1).Offset);
        EXPECT_EQ(g.AllRecordsRegion().Offset, g.RecordByte(static_cast<uint32_t>(g.RecordLockSpan)).Offset);
        EXPECT_EQ(g.SemaphoreByte(1).Offset + 1, g.AllRecordsRegion().Offset);
        const uint64_t share = uint64_t{1} << 62;
        EXPECT_FALSE(share >= g.AllWriteRegion().Offset && share < g.LockBase);
        EXPECT_FALSE(share >= g.AllSemaphoresRegion().Offset && share < g.LockBase);
    }
}

}  // namespace
}  // namespace dezede::test
