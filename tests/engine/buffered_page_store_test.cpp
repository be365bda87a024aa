#include "engine/buffered_page_store.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <vector>

#include "engine/error_codes.h"
#include "engine/file_registry.h"
#include "engine/index_checker.h"
#include "engine/index_tree.h"
#include "index_test_support.h"
#include "support/endian.h"
#include "../helpers/temp_dir.h"

namespace dezede {
namespace {

constexpr uint32_t PageSize = 1024;
constexpr uint64_t FirstPageAt = 25088;

// An index file kind of the tests' own: pages after the header and descriptor area, a cache of
// six pages, so that pages keep going to the file and coming back.
class TTestIndexFile : public TBufferedFile {
public:
    using TBufferedFile::TBufferedFile;
    ~TTestIndexFile() override { Close(); }
    uint32_t DiskBufferSize() const override { return PageSize; }
    uint32_t MemoryBufferSize() const override { return PageSize; }
    uint64_t DataStart() const override { return FirstPageAt; }
    int32_t LastBufferNumber() const override { return Last; }
    void AdvanceLastBufferNumber() override { ++Last; }
    uint32_t CacheCapacity() const override { return 6; }
    uint32_t ScanDepth() const override { return 2; }
    uint32_t GrowthStep() const override { return 4; }
    uint16_t CorruptionCode() const override { return DEZEDE_INDEXCORRUPT; }
    std::unique_ptr<TBuffer> NewBuffer() override { return std::make_unique<TPageBuffer>(*this); }
    void ReadHeader() override {}
    bool WriteHeader(bool) override { return false; }
    void MarkHeaderChanged() override {}
    int32_t Last = 0;
};

// One index's root and auxiliary page; pages allocated and freed on the file's free chain by
// their raw images, as the index file does.
class TTestPages : public TIndexPageFile {
public:
    TTestPages(TTestIndexFile& file, uint32_t& firstFree) : File_(file), FirstFree_(firstFree) {}
    uint32_t RootPage() const override { return Root; }
    void SetRootPage(uint32_t page) override { Root = page; }
    uint32_t AuxPage() const override { return Aux; }
    void SetAuxPage(uint32_t page) override { Aux = page; }
    uint32_t AllocatePage(uint8_t type) override {
        uint32_t n = FirstFree_;
        if (n != 0) {
            TPageBuffer& b = Get(n);
            FirstFree_ = LoadLE32(b.Data() + 7);
            File_.ReleaseBuffer(&b);
        } else {
            n = static_cast<uint32_t>(File_.Last + 1);
        }
        TPageBuffer& b = Get(n);
        b.Clear(0);
        b.Data()[0] = type;
        b.Dirty = true;
        File_.ReleaseBuffer(&b);
        return n;
    }
    void FreePage(uint32_t page) override {
        TPageBuffer& b = Get(page);
        StoreLE32(b.Data() + 7, FirstFree_);
        StoreLE16(b.Data() + 1, 0);
        b.Dirty = true;
        File_.ReleaseBuffer(&b);
        FirstFree_ = page;
    }
    uint32_t Root = 0;
    uint32_t Aux = 0;

private:
    TPageBuffer& Get(uint32_t n) {
        TBuffer* b = nullptr;
        EXPECT_TRUE(File_.GetBuffer(nullptr, 0, &b, kReadAheadNone, false, static_cast<int32_t>(n)));
        auto& page = dynamic_cast<TPageBuffer&>(*b);
        page.SyncImage();
        return page;
    }
    TTestIndexFile& File_;
    uint32_t& FirstFree_;
};

std::vector<uint8_t> IntKey(int32_t value, int32_t recordId, bool unique) {
    std::vector<uint8_t> key(unique ? 5 : 9);
    index_test::PutIntField(key.data(), value);
    if (!unique) index_test::PutSuffix(key.data() + 5, recordId);
    return key;
}

// Two indexes of different shapes share one file: their pages go through the cache and the
// file, and read back sound after the cache is dropped.
TEST(BufferedPageStore, TwoIndexesInOneFileThroughTheCache) {
    test::TTempDir dir;
    TFileRegistry registry;
    const std::string path = dir.File("t.idx");
    TTestIndexFile file(registry, path);
    file.Create();

    uint32_t firstFree = 0;
    TTestPages primaryHeader(file, firstFree), secondaryHeader(file, firstFree);
    const TIndexShape primaryShape{.PageSize = PageSize, .KeySize = 5, .Unique = true};
    const TIndexShape secondaryShape{.PageSize = PageSize, .KeySize = 9, .Unique = false, .Compression = icFull};
    TBufferedPageStore primary(file, primaryHeader, primaryShape, "Employee", 0);
    TBufferedPageStore secondary(file, secondaryHeader, secondaryShape, "Employee", 1);
    const TKeyCompare compare = index_test::MakeCompare({{5}, {false}});
    TIndexTree primaryTree(primary, compare), secondaryTree(secondary, compare);

    std::mt19937 rng(5);
    constexpr int32_t Records = 3000;
    for (int32_t r = 1; r <= Records; ++r) {
        ASSERT_TRUE(primaryTree.Insert(IntKey(r, r, true).data(), static_cast<uint32_t>(r)));
        ASSERT_TRUE(secondaryTree.Insert(IntKey(static_cast<int32_t>(rng() % 100), r, false).data(),
                                         static_cast<uint32_t>(r)));
    }
    // Deleting most primary keys frees its pages, which the other index then reuses.
    for (int32_t r = 1; r <= 2400; ++r) ASSERT_TRUE(primaryTree.Delete(IntKey(r, r, true).data()));
    const uint32_t pages = primary.LastPageNumber();
    ASSERT_NE(firstFree, 0u);
    for (int32_t r = Records + 1; r <= Records + 500; ++r)
        ASSERT_TRUE(secondaryTree.Insert(IntKey(r % 100, r, false).data(), static_cast<uint32_t>(r)));

    file.FlushBuffers(false);
    file.DiscardBuffers();
    const TIndexCheckResult a = CheckIndex(primary, compare, Records);
    EXPECT_TRUE(a.Sound) << a.Problem;
    EXPECT_EQ(a.KeyCount, 600u);
    const TIndexCheckResult b = CheckIndex(secondary, compare, Records + 500);
    EXPECT_TRUE(b.Sound) << b.Problem;
    EXPECT_EQ(b.KeyCount, 3500u);
    EXPECT_EQ(secondary.LastPageNumber(), pages);  // every new page came from the free chain

    // The root page as stored in the file.
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(FirstPageAt + (secondaryHeader.Root - 1) * PageSize));
    EXPECT_EQ(in.get(), ptRootInner);
}

TEST(BufferedPageStore, PageNumbersBeyondTheFileAreIndexCorrupt) {
    test::TTempDir dir;
    TFileRegistry registry;
    TTestIndexFile file(registry, dir.File("t.idx"));
    file.Create();
    uint32_t firstFree = 0;
    TTestPages header(file, firstFree);
    TBufferedPageStore store(file, header, {.PageSize = PageSize, .KeySize = 5}, "Employee", 0);
    NewPage(store, ptRootLeaf);
    for (const uint32_t number : {0u, 2u, 1000u})
        index_test::ExpectEngineError(DEZEDE_INDEXCORRUPT, "Employee", [&] { PinPage(store, number); });
    EXPECT_EQ(file.LastBufferNumber(), 1);  // nothing appended by the bad requests
    index_test::ExpectEngineError(DEZEDE_INDEXLIMIT, "Employee", [&] {
        TBufferedPageStore wrong(file, header, {.PageSize = 2048, .KeySize = 5}, "Employee", 0);
    });
}

}  // namespace
}  // namespace dezede
