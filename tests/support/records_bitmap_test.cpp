#include <gtest/gtest.h>

#include <set>

#include "support/records_bitmap.h"

namespace dezede {
namespace {

TRecordsBitmap Make(uint32_t size, std::initializer_list<uint32_t> bits) {
    TRecordsBitmap b(size);
    for (uint32_t r : bits) b.Set(r);
    return b;
}

std::vector<uint32_t> Bits(const TRecordsBitmap& b) {
    std::vector<uint32_t> v;
    for (uint32_t r = 1; r <= b.Size(); ++r) {
        if (b.Test(r)) v.push_back(r);
    }
    return v;
}

// Word boundaries fall after bits 32, 64, 96.
TEST(RecordsBitmap, FindsTheNthSetBitAcrossWords) {
    const TRecordsBitmap b = Make(100, {1, 31, 32, 33, 64, 65, 100});
    EXPECT_EQ(b.Count(), 7u);
    const struct {
        uint32_t from, n, next, prior;
    } cases[] = {
        {0, 1, 1, 0},      {1, 1, 31, 0},    {31, 1, 32, 1},   {32, 1, 33, 31},   {33, 1, 64, 32},
        {0, 4, 33, 0},     {0, 7, 100, 0},   {0, 8, 0, 0},     {65, 1, 100, 64},  {100, 1, 0, 65},
        {101, 1, 0, 100},  {500, 3, 0, 64},  {2, 3, 33, 0},    {99, 2, 0, 64},    {64, 0, 0, 0},
        {34, 3, 100, 31},  {100, 7, 0, 0},   {100, 6, 0, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(b.FindNext(c.from, c.n), c.next) << "after " << c.from << " n " << c.n;
        EXPECT_EQ(b.FindPrior(c.from, c.n), c.prior) << "before " << c.from << " n " << c.n;
    }
}

TEST(RecordsBitmap, SizingKeepsBitsBeyondTheSizeClear) {
    TRecordsBitmap b = Make(40, {1, 33, 40});
    b.SetSize(33);  // drops 40
    b.SetSize(70);  // 34..70 start clear
    EXPECT_EQ(Bits(b), (std::vector<uint32_t>{1, 33}));
    b.SetAll();
    EXPECT_EQ(b.Count(), 70u);
    EXPECT_FALSE(b.Test(71));
    b.SetSize(64);
    b.SetSize(96);
    EXPECT_EQ(b.Count(), 64u);
    EXPECT_EQ(b.FindNext(64), 0u);

    b.Set(130);  // grows to cover the position
    EXPECT_EQ(b.Size(), 130u);
    EXPECT_EQ(b.FindPrior(131), 130u);
    b.Clear(500);  // outside: ignored
    b.Set(0);
    EXPECT_FALSE(b.Test(0));
    EXPECT_EQ(b.Count(), 65u);
}

TEST(RecordsBitmap, SetOperations) {
    const TRecordsBitmap a = Make(70, {1, 32, 33, 64, 70});
    const TRecordsBitmap shorter = Make(40, {1, 33, 40});

    TRecordsBitmap x = a;
    x.Intersect(shorter);
    EXPECT_EQ(Bits(x), (std::vector<uint32_t>{1, 33}));
    EXPECT_EQ(x.Size(), 70u);

    x = shorter;
    x.Unite(a);
    EXPECT_EQ(x.Size(), 70u);
    EXPECT_EQ(Bits(x), (std::vector<uint32_t>{1, 32, 33, 40, 64, 70}));

    x = a;
    x.Complement();
    EXPECT_EQ(x.Count(), 65u);
    EXPECT_FALSE(x.Test(32));
    EXPECT_TRUE(x.Test(69));
    EXPECT_EQ(x.FindPrior(1000), 69u);  // nothing set beyond the size after inverting

    x.CopyFrom(shorter);
    EXPECT_EQ(x, shorter);
    x.ClearAll();
    EXPECT_EQ(x.Count(), 0u);
    EXPECT_EQ(x.Size(), 40u);
}

// Word-at-a-time searching agrees with a plain set on a random pattern.
TEST(RecordsBitmap, AgreesWithAReferenceSet) {
    TRecordsBitmap b(1000);
    std::set<uint32_t> ref;
    uint32_t seed = 12345;
    for (int i = 0; i < 300; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t r = (seed >> 8) % 1000 + 1;
        b.Set(r);
        ref.insert(r);
    }
    ASSERT_EQ(b.Count(), ref.size());
    const std::vector<uint32_t> sorted(ref.begin(), ref.end());
    for (uint32_t pos : {0u, 1u, 31u, 32u, 33u, 500u, 999u, 1000u, 1001u}) {
        for (uint32_t n : {1u, 2u, 17u, 150u}) {
            auto after = std::upper_bound(sorted.begin(), sorted.end(), pos);
            const uint32_t next = size_t(sorted.end() - after) >= n ? *(after + (n - 1)) : 0;
            EXPECT_EQ(b.FindNext(pos, n), next) << pos << " " << n;
            auto before = std::lower_bound(sorted.begin(), sorted.end(), pos);
            const uint32_t prior = size_t(before - sorted.begin()) >= n ? *(before - n) : 0;
            EXPECT_EQ(b.FindPrior(pos, n), prior) << pos << " " << n;
        }
        EXPECT_EQ(b.CountThrough(pos), size_t(std::upper_bound(sorted.begin(), sorted.end(), pos) - sorted.begin()))
            << pos;
    }
}

}  // namespace
}  // namespace dezede
