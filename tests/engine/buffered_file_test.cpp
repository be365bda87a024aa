#include "engine/buffered_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/engine_error.h"
#include "engine/file_registry.h"
#include "platform/fault_injection.h"
#include "support/table_cipher.h"
#include "../helpers/temp_dir.h"
#include "test_errors.h"

namespace dezede {
namespace {

using test::ErrorOf;

using test::TTempDir;

// A small file kind of the tests' own: buffers of DiskSize bytes after a
// header of DataStartAt bytes; buffer n is filled with the byte n on disk.
struct TKindParams {
    uint32_t DiskSize = 16;
    uint32_t MemorySize = 16;
    uint64_t DataStartAt = 32;
    uint32_t Capacity = 4;
    uint32_t ReadAhead = 4;
    uint32_t Depth = 2;
    uint32_t Growth = 2;
    uint16_t Corruption = DEZEDE_INDEXCORRUPT;
    bool RecordLimit = false;
};

class TTestFile : public TBufferedFile {
public:
    TTestFile(TFileRegistry& registry, const std::string& name, TKindParams p, bool inMemory = false)
        : TBufferedFile(registry, name, inMemory), P(p) {}
    ~TTestFile() override { Close(); }

    uint32_t DiskBufferSize() const override { return P.DiskSize; }
    uint32_t MemoryBufferSize() const override { return P.MemorySize; }
    uint64_t DataStart() const override { return P.DataStartAt; }
    int32_t LastBufferNumber() const override { return Last; }
    void AdvanceLastBufferNumber() override { ++Last; }
    uint32_t CacheCapacity() const override { return P.Capacity; }
    uint32_t ReadAheadLimit() const override { return P.ReadAhead; }
    uint32_t ScanDepth() const override { return P.Depth; }
    uint32_t GrowthStep() const override { return P.Growth; }
    uint16_t CorruptionCode() const override { return P.Corruption; }
    bool LimitsRecordNumber() const override { return P.RecordLimit; }
    std::unique_ptr<TBuffer> NewBuffer() override { return std::make_unique<TBuffer>(*this); }
    void ReadHeader() override {}
    bool WriteHeader(bool) override { return false; }
    void MarkHeaderChanged() override {}

    TKindParams P;
    int32_t Last = 0;
};

class TTestTable : public TBufferTable {
public:
    std::string TableName() const override { return "orders"; }
    bool InTransaction() const override { return InTrans; }
    bool WrittenSinceOpened() const override { return Written; }
    void MarkWritten() override { Written = true; }
    bool ForceBufferFlush() const override { return false; }
    bool StrictChangeDetection() const override { return Strict; }
    bool CheckForChanges() override {
        ++Checks;
        return ChangeFound;
    }
    bool InTrans = false;
    bool Written = false;
    bool Strict = false;
    bool ChangeFound = false;
    int Checks = 0;
};

class BufferedFileTest : public ::testing::Test {
protected:
    TFileRegistry Registry;
    TTempDir Dir;
    TTestTable Table;
    std::string Path = Dir.File("t.idx");

    // A file whose buffers 1..count hold the byte n each, opened with these parameters.
    std::unique_ptr<TTestFile> Make(int32_t count, TKindParams p = {}) {
        std::vector<uint8_t> bytes(p.DataStartAt, 0xEE);
        for (int32_t n = 1; n <= count; ++n) bytes.insert(bytes.end(), p.DiskSize, static_cast<uint8_t>(n));
        std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
        auto f = std::make_unique<TTestFile>(Registry, Path, p);
        f->SetTable(&Table);
        f->Open();
        f->Last = count;
        return f;
    }

    std::vector<uint8_t> OnDisk() {
        std::ifstream in(Path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    uint8_t DiskByteOf(int32_t n, uint32_t at = 0, const TKindParams& p = {}) {
        return OnDisk().at(p.DataStartAt + static_cast<uint64_t>(n - 1) * p.DiskSize + at);
    }

    // Gets buffer n, checks that it arrived, and releases it again.
    TBuffer* Touch(TTestFile& f, int32_t n, TReadAheadDirection dir = kReadAheadNone, uint32_t ahead = 0) {
        TCursorHints hints{.ReadAheadCount = ahead};
        TBuffer* b = nullptr;
        EXPECT_TRUE(f.GetBuffer(&hints, 0, &b, dir, dir != kReadAheadNone, n));
        EXPECT_NE(b, nullptr);
        if (b) f.ReleaseBuffer(b);
        return b;
    }
    // Appends a buffer filled with `fill`, released and dirty.
    void Append(TTestFile& f, uint8_t fill) {
        TBuffer* b = nullptr;
        ASSERT_TRUE(f.GetBuffer(nullptr, 0, &b, kReadAheadNone, false, f.Last + 1));
        std::vector<uint8_t> data(b->Size(), fill);
        b->SetData(data.data(), b->Size());
        f.ReleaseBuffer(b);
    }
};

TEST_F(BufferedFileTest, LookupEvictsTheLeastRecentlyUsedCleanBuffer) {
    auto f = Make(8);
    for (int32_t n : {1, 2, 3, 4}) EXPECT_EQ(Touch(*f, n)->Data()[0], n);
    EXPECT_EQ(f->RecentlyUsedNumbers(), (std::vector<int32_t>{4, 3, 2, 1}));
    Touch(*f, 1);  // a hit beyond the scan depth comes from the lookup by number
    EXPECT_EQ(f->RecentlyUsedNumbers(), (std::vector<int32_t>{1, 4, 3, 2}));
    TBuffer* pinned = nullptr;
    ASSERT_TRUE(f->GetBuffer(nullptr, 0, &pinned, kReadAheadNone, false, 2));  // 2 pinned: not a victim
    f->CachedBuffer(3)->Dirty = true;                                         // 3 dirty: not a victim
    Touch(*f, 5);
    EXPECT_EQ(f->CachedBuffer(4), nullptr) << "4 was the least recent clean unpinned buffer";
    for (int32_t n : {1, 2, 3, 5}) EXPECT_NE(f->CachedBuffer(n), nullptr) << n;
    f->ReleaseBuffer(pinned);
    f->ReleaseBuffer(pinned);
    EXPECT_EQ(pinned->PinCount, 0) << "never below zero";
    const auto& s = f->Statistics();
    EXPECT_EQ(s.BufferRequests, 7u);
    EXPECT_EQ(s.ReadCalls, 5u);
    EXPECT_EQ(s.BytesRead, 5u * 16);
}

TEST_F(BufferedFileTest, BatchReadsFollowTheDirectionAndStayInTheFile) {
    struct TCase {
        int32_t Number;
        TReadAheadDirection Direction;
        uint32_t Proposed;
        std::vector<int32_t> Cached;
    };
    const TCase cases[] = {
        {2, kReadAheadForward, 3, {2, 3, 4}},
        {7, kReadAheadForward, 3, {7, 8}},         // the last buffer ends the batch
        {6, kReadAheadBackward, 3, {4, 5, 6}},
        {2, kReadAheadBackward, 4, {1, 2}},        // never below buffer 1
        {3, kReadAheadForward, 99, {3, 4, 5, 6}},  // the read-ahead limit caps the proposal
        {5, kReadAheadNone, 3, {5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Number);
        auto f = Make(8);
        Touch(*f, c.Number, c.Direction, c.Proposed);
        std::vector<int32_t> cached;
        for (int32_t n = 1; n <= 8; ++n)
            if (TBuffer* b = f->CachedBuffer(n)) {
                cached.push_back(n);
                EXPECT_EQ(b->Data()[0], n);
            }
        EXPECT_EQ(cached, c.Cached);
        EXPECT_EQ(f->Statistics().ReadCalls, 1u);
        EXPECT_EQ(f->RecentlyUsedNumbers().front(), c.Number);
        f->Close();
    }
}

TEST_F(BufferedFileTest, DirtyBufferInsideABatchKeepsItsContents) {
    auto f = Make(8);
    TBuffer* b = nullptr;
    ASSERT_TRUE(f->GetBuffer(nullptr, 0, &b, kReadAheadNone, false, 3));
    const std::vector<uint8_t> mine(16, 0x77);
    b->SetData(mine.data(), 16);
    f->ReleaseBuffer(b);
    Touch(*f, 2, kReadAheadForward, 4);  // reads 2..5 over the dirty 3
    EXPECT_TRUE(f->CachedBuffer(3)->SameAsData(mine.data()));
    EXPECT_TRUE(f->CachedBuffer(3)->Dirty);
    EXPECT_EQ(f->CachedBuffer(4)->Data()[0], 4);
}

TEST_F(BufferedFileTest, FlushWritesRunsOfConsecutiveBuffersOnce) {
    auto f = Make(10, {.Capacity = 16});
    for (int32_t n : {2, 3, 4, 7, 9, 10}) {
        TBuffer* b = f->CachedBuffer(n) ? f->CachedBuffer(n) : Touch(*f, n);
        const std::vector<uint8_t> data(16, static_cast<uint8_t>(0x80 + n));
        b->SetData(data.data(), 16);
    }
    EXPECT_TRUE(f->FlushBuffers(false));
    EXPECT_EQ(f->Statistics().WriteCalls, 3u) << "runs 2-4, 7 and 9-10";
    for (int32_t n = 1; n <= 10; ++n) {
        const bool changed = n == 2 || n == 3 || n == 4 || n == 7 || n == 9 || n == 10;
        EXPECT_EQ(DiskByteOf(n, 15), changed ? 0x80 + n : n) << n;
    }
    EXPECT_TRUE(Table.Written);
    EXPECT_FALSE(f->FlushBuffers(false)) << "nothing dirty is left";
}

TEST_F(BufferedFileTest, DirtyPinnedBufferIsTheKindsCorruptionUnlessEvicting) {
    auto f = Make(4);
    TBuffer* b = nullptr;
    ASSERT_TRUE(f->GetBuffer(nullptr, 0, &b, kReadAheadNone, false, 1));
    b->Dirty = true;
    EXPECT_FALSE(f->FlushBuffers(true));
    EXPECT_EQ(ErrorOf([&] { f->FlushBuffers(false); }), DEZEDE_INDEXCORRUPT);
    EXPECT_EQ(TErrorContextStore::Instance().Last().ErrorTableName, "orders");
    f->ReleaseBuffer(b);
    TBuffer* none = nullptr;
    EXPECT_EQ(ErrorOf([&] { f->GetBuffer(nullptr, 0, &none, kReadAheadNone, false, 0); }), DEZEDE_INDEXCORRUPT);
    EXPECT_EQ(ErrorOf([&] { f->GetBuffer(nullptr, 0, &none, kReadAheadNone, false, -3); }), DEZEDE_INDEXCORRUPT);
}

// The victim search sets aside the dirty and pinned buffers it passes; they
// must still be evicted in recently-used order once they can be again.
TEST_F(BufferedFileTest, BuffersPassedOverByTheVictimSearchKeepTheirPlace) {
    auto f = Make(8);
    TBuffer* pinned = nullptr;
    ASSERT_TRUE(f->GetBuffer(nullptr, 0, &pinned, kReadAheadNone, false, 1));
    for (int32_t n : {2, 3, 4}) Touch(*f, n);
    f->CachedBuffer(2)->Dirty = true;
    f->CachedBuffer(3)->Dirty = true;
    Touch(*f, 5);  // passes 1 (pinned), 2 and 3 (dirty), evicts 4
    EXPECT_EQ(f->RecentlyUsedNumbers(), (std::vector<int32_t>{5, 3, 2, 1}));
    f->ReleaseBuffer(pinned);
    Touch(*f, 6);
    EXPECT_EQ(f->RecentlyUsedNumbers(), (std::vector<int32_t>{6, 5, 3, 2})) << "1 was the oldest once released";
    Touch(*f, 7);
    EXPECT_EQ(f->RecentlyUsedNumbers(), (std::vector<int32_t>{7, 6, 3, 2}));
    Touch(*f, 2);  // a hit brings a set-aside buffer to the front
    EXPECT_EQ(f->RecentlyUsedNumbers(), (std::vector<int32_t>{2, 7, 6, 3}));
    EXPECT_TRUE(f->FlushBuffers(false));
    Touch(*f, 8);
    EXPECT_EQ(f->RecentlyUsedNumbers(), (std::vector<int32_t>{8, 2, 7, 6})) << "3, written, was the oldest";
}

TEST_F(BufferedFileTest, CacheGrowsInsideATransactionAndTrimsAfter) {
    auto f = Make(0, {.Capacity = 4, .Growth = 3});
    Table.InTrans = true;
    for (int i = 1; i <= 9; ++i) Append(*f, static_cast<uint8_t>(i));
    EXPECT_EQ(f->BufferCount(), 9u);
    EXPECT_EQ(f->CacheListCapacity(), 10u) << "4 grown twice by 3";
    EXPECT_EQ(f->Statistics().WriteCalls, 0u) << "nothing is written inside a transaction";
    EXPECT_EQ(OnDisk().size(), 32u);

    Table.InTrans = false;  // commit
    EXPECT_TRUE(f->FlushBuffers(false));
    EXPECT_EQ(f->Statistics().WriteCalls, 1u);
    f->TrimBuffers();
    EXPECT_EQ(f->BufferCount(), 4u);
    EXPECT_EQ(f->CacheListCapacity(), 4u);
    EXPECT_EQ(OnDisk().size(), 32u + 9 * 16);
    EXPECT_EQ(DiskByteOf(9), 9);
}

TEST_F(BufferedFileTest, EveryBufferDirtyOutsideATransactionFlushesInsteadOfGrowing) {
    auto f = Make(0, {.Capacity = 2});
    for (int i = 1; i <= 5; ++i) Append(*f, static_cast<uint8_t>(i));
    EXPECT_EQ(f->CacheListCapacity(), 2u);
    EXPECT_LE(f->BufferCount(), 2u);
    f->FlushBuffers(false);
    for (int32_t n = 1; n <= 5; ++n) EXPECT_EQ(DiskByteOf(n), n);
}

TEST_F(BufferedFileTest, ForwardBatchPastThePhysicalEnd) {
    struct TCase {
        const char* Name;
        bool InTransaction;
        bool Exclusive;
        bool Written;
        uint16_t Expected;
    };
    const TCase cases[] = {
        {"transaction with unwritten appends", true, false, true, 0},
        {"exclusive with unwritten appends", false, true, true, 0},
        {"transaction, nothing written yet", true, false, false, DEZEDE_READERR},
        {"outside a transaction", false, false, true, DEZEDE_READERR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Table = {};
        auto f = Make(4);
        f->Close();
        f->Exclusive = c.Exclusive;
        f->Open();
        Table.InTrans = true;
        Append(*f, 0x55);  // buffers 5 and 6 exist only in the cache
        Append(*f, 0x66);
        Table.InTrans = c.InTransaction;
        Table.Written = c.Written;
        TBuffer* b = nullptr;
        TCursorHints hints{.ReadAheadCount = 4};
        const uint16_t err = ErrorOf([&] { f->GetBuffer(&hints, 0, &b, kReadAheadForward, true, 3); });
        EXPECT_EQ(err, c.Expected);
        if (err == DEZEDE_READERR) {
            EXPECT_EQ(TErrorContextStore::Instance().Last().ErrorTableName, Path) << "names the file";
            EXPECT_EQ(f->CachedBuffer(3), nullptr);
        } else {
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->Data()[0], 3);
            EXPECT_EQ(f->CachedBuffer(4)->Data()[0], 4);
            EXPECT_EQ(f->CachedBuffer(5)->Data()[0], 0x55) << "the unwritten buffer is untouched";
            f->ReleaseBuffer(b);
            EXPECT_EQ(f->Statistics().BytesRead, 2u * 16) << "the bytes present";
        }
        f->Close();
    }
}

TEST_F(BufferedFileTest, AppendStopsAtTheSizeLimits) {
    struct TCase {
        const char* Name;
        TFileLimits Limits;
        bool RecordLimit;
        int32_t Last;
        uint16_t Expected;
    };
    // Buffers of 1024 bytes after 512: the next end is 512 + (last + 1) * 1024.
    const TCase cases[] = {
        {"ends at the limit", TFileLimits::Standard(), false, 3906248, 0},
        {"ends past 4,000,000,000", TFileLimits::Standard(), false, 3906249, DEZEDE_TABLEFULL},
        {"large files go further", TFileLimits::Large(), false, 3906249, 0},
        {"record number below the limit", TFileLimits::Large(), true, 199'999'999, DEZEDE_TABLEFULL},
        {"record number limit", {UINT64_MAX, 200'000'000}, true, 199'999'999, 0},
        {"record number reached", {UINT64_MAX, 200'000'000}, true, 200'000'000, DEZEDE_TABLEFULL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto f = Make(0, {.DiskSize = 1024, .MemorySize = 1024, .DataStartAt = 512, .RecordLimit = c.RecordLimit});
        f->SetLimits(c.Limits);
        f->Last = c.Last;
        TBuffer* b = nullptr;
        EXPECT_EQ(ErrorOf([&] { f->GetBuffer(nullptr, 0, &b, kReadAheadNone, false, c.Last + 1); }), c.Expected);
        EXPECT_EQ(f->Last, c.Expected ? c.Last : c.Last + 1);
        if (b) f->ReleaseBuffer(b);
        f->DiscardBuffers();
        f->Close();
    }
}

TEST_F(BufferedFileTest, FullDiskLosesNothing) {
    auto f = Make(6, {.Capacity = 8});
    for (int32_t n : {1, 2, 5, 6}) {
        TBuffer* b = Touch(*f, n);
        const std::vector<uint8_t> data(16, static_cast<uint8_t>(0xA0 + n));
        b->SetData(data.data(), 16);
    }
    {
        TFaultScope faults;
        faults.Arm({.Kind = TFault::DiskFull, .PathPart = "t.idx", .Skip = 1});  // the second run
        EXPECT_EQ(ErrorOf([&] { f->FlushBuffers(false); }), DEZEDE_WRITEERR);
    }
    EXPECT_FALSE(f->CachedBuffer(1)->Dirty) << "the first run was written";
    EXPECT_TRUE(f->CachedBuffer(5)->Dirty);
    EXPECT_TRUE(f->CachedBuffer(6)->Dirty) << "the failed run stays dirty";
    EXPECT_TRUE(f->FlushBuffers(false));
    for (int32_t n = 1; n <= 6; ++n) EXPECT_EQ(DiskByteOf(n, 7), (n == 1 || n == 2 || n == 5 || n == 6) ? 0xA0 + n : n);
}

TEST_F(BufferedFileTest, FailedBatchReadLeavesTheCacheAsItWas) {
    auto f = Make(8, {.Capacity = 8});
    Touch(*f, 1);
    {
        TFaultScope faults;
        faults.Arm({.Kind = TFault::FailedRead});
        TBuffer* b = nullptr;
        EXPECT_EQ(ErrorOf([&] { f->GetBuffer(nullptr, 0, &b, kReadAheadForward, true, 3); }), DEZEDE_READERR);
        EXPECT_EQ(b, nullptr);
    }
    EXPECT_EQ(f->BufferCount(), 1u);
    // The read window was cleared: a dirty buffer in the range that failed is flushed normally.
    TBuffer* one = Touch(*f, 1);
    const std::vector<uint8_t> data(16, 0x99);
    one->SetData(data.data(), 16);
    EXPECT_TRUE(f->FlushBuffers(false));
    EXPECT_EQ(Touch(*f, 3, kReadAheadForward, 2)->Data()[0], 3);
}

TEST_F(BufferedFileTest, ChangeDetectionOnAMissOnly) {
    auto f = Make(4);
    Touch(*f, 1);
    EXPECT_EQ(Table.Checks, 1);
    Touch(*f, 1);
    EXPECT_EQ(Table.Checks, 1) << "no check on a hit";
    TCursorHints exclusive{.OpenedExclusively = true};
    TBuffer* b = nullptr;
    ASSERT_TRUE(f->GetBuffer(&exclusive, 0, &b, kReadAheadNone, false, 2));
    f->ReleaseBuffer(b);
    Table.Strict = true;
    Touch(*f, 3);
    EXPECT_EQ(Table.Checks, 1) << "not for an exclusive cursor nor with strict detection";
    Table.Strict = false;
    Table.ChangeFound = true;
    EXPECT_FALSE(f->GetBuffer(nullptr, 0, &b, kReadAheadNone, false, 4));
    EXPECT_EQ(b, nullptr);
}

TEST_F(BufferedFileTest, PrefetchReadsWhatIsMissingAfterOneCheck) {
    auto f = Make(10, {.Capacity = 8});
    Touch(*f, 6);
    const uint64_t reads = f->Statistics().ReadCalls;
    Table.Checks = 0;
    const std::vector<int32_t> wanted{8, 2, 7, 6, 11, 0, 7};
    ASSERT_TRUE(f->Prefetch(nullptr, 0, wanted));
    EXPECT_EQ(Table.Checks, 1);
    EXPECT_EQ(f->Statistics().ReadCalls - reads, 2u) << "buffer 2, then 7 and 8 together";
    for (int32_t n : {2, 6, 7, 8}) {
        ASSERT_NE(f->CachedBuffer(n), nullptr) << n;
        EXPECT_EQ(f->CachedBuffer(n)->PinCount, 0) << n;
        EXPECT_EQ(f->CachedBuffer(n)->Data()[0], n) << n;
    }
    EXPECT_EQ(f->CachedBuffer(11), nullptr) << "beyond the file";

    ASSERT_TRUE(f->Prefetch(nullptr, 0, wanted));
    EXPECT_EQ(Table.Checks, 1) << "all cached: no check";
    Table.ChangeFound = true;
    const std::vector<int32_t> more{9, 10};
    EXPECT_FALSE(f->Prefetch(nullptr, 0, more));
    EXPECT_EQ(f->CachedBuffer(9), nullptr) << "nothing read after a change";
}

TEST_F(BufferedFileTest, DiscardKeepsPinnedBuffersAliveForTheirHolders) {
    auto f = Make(4);
    TPinnedBuffer held;
    {
        TBuffer* b = nullptr;
        ASSERT_TRUE(f->GetBuffer(nullptr, 0, &b, kReadAheadNone, false, 2));
        held = TPinnedBuffer(*f, b);
    }
    Touch(*f, 3);
    f->DiscardBuffers();
    EXPECT_EQ(f->BufferCount(), 0u);
    EXPECT_EQ(held->Data()[0], 2);  // still valid memory
    held.Release();
    EXPECT_EQ(Touch(*f, 2)->Data()[0], 2);
}

TEST_F(BufferedFileTest, EncipheredPageKeepsItsTailInClear) {
    const TKindParams p{.DiskSize = 1030, .MemorySize = 1030, .DataStartAt = 25088};
    auto f = Make(0, p);
    const auto cipher = std::make_shared<TTableCipher>(TTableCipher::FromPassword("secret"));
    size_t lastLength = 0;
    f->SetCipher({[cipher, &lastLength](uint8_t* d, size_t n) {
                      lastLength = n;
                      cipher->Encrypt(d, n);
                  },
                  [cipher](uint8_t* d, size_t n) { cipher->Decrypt(d, n); }});
    std::vector<uint8_t> page(1030);
    for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 7 + 1);
    TBuffer* b = nullptr;
    ASSERT_TRUE(f->GetBuffer(nullptr, 0, &b, kReadAheadNone, false, 1));
    b->SetData(page.data(), 1030);
    f->ReleaseBuffer(b);
    f->FlushBuffers(false);
    EXPECT_EQ(lastLength, 1024u) << "128 whole blocks";
    const auto disk = OnDisk();
    ASSERT_EQ(disk.size(), 25088u + 1030);
    EXPECT_FALSE(std::equal(page.begin(), page.begin() + 1024, disk.begin() + 25088));
    EXPECT_TRUE(std::equal(page.begin() + 1024, page.end(), disk.begin() + 25088 + 1024)) << "the last 6 bytes stay clear";
    f->DiscardBuffers();
    EXPECT_TRUE(Touch(*f, 1)->SameAsData(page.data())) << "deciphered on the way in";
}

TEST_F(BufferedFileTest, MemoryFileCache) {
    auto f = std::make_unique<TTestFile>(Registry, "mem/t.idx", TKindParams{}, true);
    f->SetTable(&Table);
    f->Create();
    for (int i = 1; i <= 6; ++i) Append(*f, static_cast<uint8_t>(i));
    f->FlushBuffers(false);
    f->DiscardBuffers();
    EXPECT_EQ(Touch(*f, 5, kReadAheadBackward, 3)->Data()[0], 5);
    EXPECT_EQ(f->CachedBuffer(3)->Data()[0], 3);
    EXPECT_EQ(f->GetFileSize(), 32u + 6 * 16);
    f->EmptyFile();
    EXPECT_EQ(f->GetFileSize(), 32u);
    EXPECT_EQ(f->BufferCount(), 0u);
}

}  // namespace
}  // namespace dezede
