#include "engine/index_page.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/error_codes.h"
#include "index_test_support.h"

namespace dezede {
namespace {

using index_test::ExpectEngineError;

// One integer field, not unique: K = 5 + 4.
constexpr TIndexShape IntShape{.PageSize = 4096, .KeySize = 9, .Unique = false};

std::vector<uint8_t> IntKey(int32_t value, int32_t recordId) {
    std::vector<uint8_t> key(9);
    index_test::PutIntField(key.data(), value);
    index_test::PutSuffix(key.data() + 5, recordId);
    return key;
}

TEST(IndexPage, CapacitiesForOneIntegerKeyOn4096BytePages) {
    EXPECT_EQ(TPage::InnerCapacity(IntShape), 240);
    EXPECT_EQ(TPage::LeafCapacity(IntShape), 314);
    TIndexShape noStats = IntShape;
    noStats.NoKeyStats = true;
    EXPECT_EQ(TPage::InnerCapacity(noStats), 314);

    struct Case {
        uint8_t type;
        int capacity;
    };
    for (const Case c : {Case{ptInner, 240}, Case{ptLeaf, 314}}) {
        TPage page(IntShape, "T");
        page.Clear(c.type);
        for (int i = 0; i < c.capacity; ++i) page.Insert(i, IntKey(i, i).data(), static_cast<uint32_t>(i + 1), 1);
        EXPECT_FALSE(page.OverCapacity());
        std::vector<uint8_t> image(4096);
        page.SaveToImage(image.data());  // a full page fits its image
        page.Insert(c.capacity, IntKey(c.capacity, 0).data(), 1, 1);
        EXPECT_TRUE(page.OverCapacity());
    }
}

TEST(IndexPage, KeySizeLimits) {
    struct Case {
        uint32_t pageSize;
        uint16_t keySize;
        uint16_t expected;  // 0: accepted
    };
    const Case cases[] = {
        {16384, 4107, DEZEDE_INVALIDKEY}, {16384, 4106, 0}, {1024, 338, DEZEDE_INVALIDKEY}, {1024, 337, 0},
        {4096, 0, DEZEDE_INVALIDKEY},     {1023, 9, DEZEDE_INDEXLIMIT}, {16385, 9, DEZEDE_INDEXLIMIT},
    };
    for (const Case& c : cases) {
        const TIndexShape shape{.PageSize = c.pageSize, .KeySize = c.keySize};
        if (c.expected == 0)
            EXPECT_NO_THROW(ValidateIndexShape(shape, "T")) << c.keySize;
        else
            ExpectEngineError(c.expected, "T", [&] { ValidateIndexShape(shape, "T"); });
    }
}

TEST(IndexPage, DuplicateByteEntryStoresOnlyTheDifferingTail) {
    const TIndexShape shape{.PageSize = 1024, .KeySize = 30, .Unique = true, .Compression = icDuplicateByte};
    std::vector<uint8_t> a(30, 0x41), b(30, 0x41);
    for (int i = 20; i < 30; ++i) b[i] = static_cast<uint8_t>(0x50 + i);
    TPage page(shape, "T");
    page.Clear(ptRootLeaf);
    page.Insert(0, a.data(), 7, 0);
    page.Insert(1, b.data(), 0x01020304, 0);
    EXPECT_EQ(page.Duplicate(1), 20);
    EXPECT_EQ(page.PackedEntrySize(1), 30u - 15u);
    EXPECT_EQ(page.CompressedSize(), (30u + 5u) + (30u - 15u));

    std::vector<uint8_t> image(1024);
    page.SaveToImage(image.data());
    EXPECT_EQ(image[11] | (image[12] << 8), 50);
    const uint8_t* second = image.data() + 13 + 35;
    EXPECT_EQ(second[0], 20);
    EXPECT_TRUE(std::equal(b.begin() + 20, b.end(), second + 1));
    EXPECT_EQ(std::vector<uint8_t>(second + 11, second + 15), (std::vector<uint8_t>{4, 3, 2, 1}));
}

// Exact images of two non-unique keys (K = 10: a 6-byte field, then the suffix) per mode.
TEST(IndexPage, LeafImagesPerCompressionMode) {
    const std::vector<uint8_t> a{1, 0x41, 0x42, 0, 0, 0, 0x80, 0, 0, 5};
    const std::vector<uint8_t> b{1, 0x41, 0x43, 0, 0, 0, 0x80, 0, 0, 6};
    struct Case {
        uint8_t mode;
        std::vector<uint8_t> entries;  // both entries as stored, record numbers 1 and 2
    };
    const Case cases[] = {
        {icNone, {1, 0x41, 0x42, 0, 0, 0, 0x80, 0, 0, 5, 1, 0, 0, 0, 1, 0x41, 0x43, 0, 0, 0, 0x80, 0, 0, 6, 2, 0, 0, 0}},
        {icDuplicateByte, {0, 1, 0x41, 0x42, 0, 0, 0, 0x80, 0, 0, 5, 1, 0, 0, 0, 2, 0x43, 0, 0, 0, 0x80, 0, 0, 6, 2, 0, 0, 0}},
        {icTrailingByte, {3, 1, 0x41, 0x42, 0x80, 0, 0, 5, 1, 0, 0, 0, 3, 1, 0x41, 0x43, 0x80, 0, 0, 6, 2, 0, 0, 0}},
        {icFull, {0, 3, 1, 0x41, 0x42, 0x80, 0, 0, 5, 1, 0, 0, 0, 2, 3, 0x43, 0x80, 0, 0, 6, 2, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const TIndexShape shape{.PageSize = 1024, .KeySize = 10, .Unique = false, .Compression = c.mode};
        TPage page(shape, "T");
        page.Clear(ptLeaf);
        page.Insert(0, b.data(), 2, 0);
        page.Insert(0, a.data(), 1, 0);
        page.Previous = 0x11;
        page.Next = 0x2233;
        std::vector<uint8_t> image(1024, 0xEE);
        page.SaveToImage(image.data());
        const std::vector<uint8_t> header{2, 2, 0, 0x11, 0, 0, 0, 0x33, 0x22, 0, 0};
        EXPECT_TRUE(std::equal(header.begin(), header.end(), image.begin())) << int(c.mode);
        const uint16_t stored = static_cast<uint16_t>(image[11] | (image[12] << 8));
        EXPECT_EQ(stored, c.mode == icNone ? 0u : c.entries.size()) << int(c.mode);
        EXPECT_TRUE(std::equal(c.entries.begin(), c.entries.end(), image.begin() + 13)) << int(c.mode);
        EXPECT_TRUE(std::all_of(image.begin() + 13 + static_cast<long>(c.entries.size()), image.end(),
                                [](uint8_t x) { return x == 0; }));

        TPage back(shape, "T");
        back.LoadFromImage(image.data());
        ASSERT_EQ(back.Count(), 2);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), back.Key(0)));
        EXPECT_TRUE(std::equal(b.begin(), b.end(), back.Key(1)));
        EXPECT_EQ(back.Pointer(1), 2u);
        EXPECT_EQ(back.CompressedSize(), page.CompressedSize());
        EXPECT_EQ(back.Next, 0x2233u);
    }
}

// Random keys with shared prefixes and trailing zeros: the packed size kept through inserts
// and removals equals the size of the image, which loads back to the same entries.
TEST(IndexPage, CompressedSizeStaysExactThroughChanges) {
    std::mt19937 rng(7);
    for (uint8_t mode = icDuplicateByte; mode <= icFull; ++mode) {
        for (const bool unique : {true, false}) {
            const TIndexShape shape{.PageSize = 16384, .KeySize = 300, .Unique = unique, .Compression = mode};
            TPage page(shape, "T");
            page.Clear(ptRootLeaf);
            for (int step = 0; step < 400; ++step) {
                if (page.Count() > 0 && rng() % 3 == 0) {
                    page.Remove(static_cast<int>(rng() % page.Count()));
                } else {
                    std::vector<uint8_t> key(300, 0);
                    const size_t len = rng() % 300;  // long shared runs, then zeros
                    for (size_t i = 0; i < len; ++i) key[i] = static_cast<uint8_t>(i < 260 ? 'A' : 'A' + rng() % 3);
                    if (!unique) index_test::PutSuffix(key.data() + 296, static_cast<int32_t>(rng() % 5));
                    page.Insert(page.Count() == 0 ? 0 : static_cast<int>(rng() % (page.Count() + 1)), key.data(), step, 0);
                }
                while (page.OverCapacity()) page.Remove(0);
                uint32_t sum = 0;
                for (int i = 0; i < page.Count(); ++i) sum += page.PackedEntrySize(i);
                ASSERT_EQ(sum, page.CompressedSize());
            }
            std::vector<uint8_t> image(16384);
            page.SaveToImage(image.data());
            TPage back(shape, "T");
            back.LoadFromImage(image.data());
            ASSERT_EQ(back.Count(), page.Count());
            EXPECT_EQ(back.CompressedSize(), page.CompressedSize());
            for (int i = 0; i < page.Count(); ++i) {
                EXPECT_TRUE(std::equal(page.Key(i), page.Key(i) + 300, back.Key(i)));
                EXPECT_EQ(back.Pointer(i), page.Pointer(i));
            }
        }
    }
}

TEST(IndexPage, DamagedImagesAreIndexCorrupt) {
    const TIndexShape full{.PageSize = 1024, .KeySize = 10, .Unique = false, .Compression = icFull};
    const TIndexShape plain{.PageSize = 1024, .KeySize = 10, .Unique = false};
    auto image = [](std::initializer_list<uint8_t> head) {
        std::vector<uint8_t> img(1024, 0);
        std::copy(head.begin(), head.end(), img.begin());
        return img;
    };
    struct Case {
        const char* what;
        TIndexShape shape;
        std::vector<uint8_t> image;
    };
    const Case cases[] = {
        {"unknown type", plain, image({5})},
        {"inner entries overrun", plain, image({1, 60, 0})},     // 60 x 18 > 1011
        {"leaf entries overrun", plain, image({2, 0x49, 0})},    // 73 x 14 > 1011
        {"huge count", full, image({2, 0xFF, 0xFF})},
        {"packed entries overrun", full, image({2, 150, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 3})},
        {"first entry with D", full, image({2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 14, 0, 3, 0})},
        {"D + T beyond the key", full, image({2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 10})},
        {"size field disagrees", full, image({2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 15, 0, 0, 0})},  // entry is 16
        {"D of 255", full, image({2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 18, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 0, 0, 0, 255})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TPage page(c.shape, "Employee");
        ExpectEngineError(DEZEDE_INDEXCORRUPT, "Employee", [&] { page.LoadFromImage(c.image.data()); });
    }
    // A freed page: no entries, the next free page, and whatever size field it had.
    TPage page(full, "Employee");
    page.LoadFromImage(image({2, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0xF0, 3}).data());
    EXPECT_EQ(page.Count(), 0);
    EXPECT_EQ(page.Next, 9u);
}

}  // namespace
}  // namespace dezede
