#include "engine/index_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/error_codes.h"
#include "engine/index_checker.h"
#include "engine/memory_page_store.h"
#include "index_test_support.h"
#include "support/endian.h"

namespace dezede {
namespace {

using Key = std::vector<uint8_t>;

// Operations per randomised run: DEZEDE_BTREE_OPS, else 100,000 (fewer in sanitizer builds).
int RandomOps() {
    if (const char* env = std::getenv("DEZEDE_BTREE_OPS")) return std::max(100, std::atoi(env));
#if defined(__SANITIZE_ADDRESS__)
    return 10000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return 10000;
#endif
#endif
    return 100000;
}

struct TreeCase {
    const char* name;
    uint8_t compression;
    bool descending;
    bool caseInsensitive;
    bool unique;
    bool noKeyStats;
};

// Keys of a string field (presence byte + 11 characters) and an integer field, then the record
// ID for an index that is not unique; small alphabets make shared prefixes, trailing zeros,
// nulls and, for unique indexes, repeated keys common.
class RandomTree : public ::testing::TestWithParam<TreeCase> {
protected:
    static constexpr size_t StringWidth = 12;

    RandomTree()
        : Case_(GetParam()),
          Shape_{.PageSize = 1024,
                 .KeySize = static_cast<uint16_t>(StringWidth + 5 + (Case_.unique ? 0 : 4)),
                 .Unique = Case_.unique,
                 .Compression = Case_.compression,
                 .NoKeyStats = Case_.noKeyStats},
          Compare_(index_test::MakeCompare({{StringWidth, 5}, {Case_.descending, Case_.descending}})),
          Store_(Shape_, "Employee", 16),
          Tree_(Store_, Compare_),
          Rng_(1234) {}

    Key MakeKey(uint32_t recordId) {
        Key key(Shape_.KeySize, 0);
        std::string text;
        const size_t length = Rng_() % 8;
        for (size_t i = 0; i < length; ++i) text.push_back("aAbB"[Rng_() % 4]);
        if (Case_.caseInsensitive)
            for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        key[0] = text.empty() ? 0 : 1;
        std::copy(text.begin(), text.end(), key.begin() + 1);
        index_test::PutIntField(key.data() + StringWidth, static_cast<int32_t>(Rng_() % 200) - 100);
        if (!Case_.unique) index_test::PutSuffix(key.data() + StringWidth + 5, static_cast<int32_t>(recordId));
        return key;
    }

    bool Less(const Key& a, const Key& b) const { return Compare_(a.data(), b.data(), a.size()) < 0; }
    size_t ModelRank(const Key& key) const {
        return static_cast<size_t>(std::lower_bound(Model_.begin(), Model_.end(), key,
                                                    [this](const Key& a, const Key& b) { return Less(a, b); }) -
                                   Model_.begin());
    }

    void CheckWhole() {
        const TIndexCheckResult check = CheckIndex(Store_, Compare_);
        ASSERT_TRUE(check.Sound) << check.Problem;
        ASSERT_EQ(check.KeyCount, Model_.size());
        ASSERT_EQ(Tree_.KeyCount(), Model_.size());
        // Walk forwards and backwards along the leaves.
        TIndexPosition pos;
        Key key(Shape_.KeySize);
        uint32_t record = 0;
        size_t i = 0;
        for (bool more = Tree_.First(pos); more; more = Tree_.Next(pos), ++i) {
            ASSERT_LT(i, Model_.size());
            Tree_.ReadPosition(pos, key.data(), record);
            ASSERT_EQ(key, Model_[i]);
            ASSERT_EQ(record, Records_[i]);
        }
        ASSERT_EQ(i, Model_.size());
        for (bool more = Tree_.Last(pos); more; more = Tree_.Prior(pos)) {
            ASSERT_GT(i, 0u);
            Tree_.ReadPosition(pos, key.data(), record);
            ASSERT_EQ(key, Model_[--i]);
        }
        ASSERT_EQ(i, 0u);
        // Ordinal positions and counts between two keys.
        for (int probe = 0; probe < 20 && !Model_.empty(); ++probe) {
            const size_t n = Rng_() % Model_.size();
            ASSERT_TRUE(Tree_.GotoOrdinal(n, pos));
            Tree_.ReadPosition(pos, key.data(), record);
            ASSERT_EQ(key, Model_[n]);
            ASSERT_EQ(Tree_.OrdinalOf(pos), n);
            const Key low = MakeKey(0), high = MakeKey(0xFFFFFFFF);
            const size_t first = ModelRank(low);
            const size_t end = static_cast<size_t>(
                std::upper_bound(Model_.begin(), Model_.end(), high, [this](const Key& a, const Key& b) { return Less(a, b); }) -
                Model_.begin());
            ASSERT_EQ(Tree_.CountKeysBetween(low.data(), high.data()), Less(high, low) || end < first ? 0 : end - first);
            ASSERT_EQ(Tree_.FindAtOrAfter(low.data(), pos), first < Model_.size());
            if (first < Model_.size()) {
                Tree_.ReadPosition(pos, key.data(), record);
                ASSERT_EQ(key, Model_[first]);
            }
        }
        ASSERT_FALSE(Tree_.GotoOrdinal(Model_.size(), pos));
    }

    void Step(int op, int ops) {
        const bool growing = (op / std::max(1, ops / 4)) % 2 == 0;
        const bool insert = Model_.empty() || Rng_() % 10 < (growing ? 7u : 3u);
        if (insert) {
            const uint32_t record = ++LastRecord_;
            const Key key = MakeKey(record);
            const size_t rank = ModelRank(key);
            const bool present = rank < Model_.size() && Model_[rank] == key;
            ASSERT_EQ(Tree_.Insert(key.data(), record), !present);
            if (!present) {
                Model_.insert(Model_.begin() + static_cast<long>(rank), key);
                Records_.insert(Records_.begin() + static_cast<long>(rank), record);
            }
            if (!Case_.noKeyStats) {
                ASSERT_EQ(Tree_.KeysBefore(key.data()), rank);
            }
        } else {
            const bool existing = Rng_() % 10 != 0;
            const Key key = existing ? Model_[Rng_() % Model_.size()] : MakeKey(LastRecord_ + 1);
            const size_t rank = ModelRank(key);
            const bool present = rank < Model_.size() && Model_[rank] == key;
            ASSERT_EQ(Tree_.Delete(key.data()), present);
            if (present) {
                Model_.erase(Model_.begin() + static_cast<long>(rank));
                Records_.erase(Records_.begin() + static_cast<long>(rank));
            }
            if (!Case_.noKeyStats) {
                ASSERT_EQ(Tree_.KeysBefore(key.data()), rank);
            }
        }
    }

    TreeCase Case_;
    TIndexShape Shape_;
    TKeyCompare Compare_;
    TMemoryPageStore Store_;
    TIndexTree Tree_;
    std::mt19937 Rng_;
    std::vector<Key> Model_;
    std::vector<uint32_t> Records_;
    uint32_t LastRecord_ = 0;
};

TEST_P(RandomTree, InsertsAndDeletesAgainstASortedModel) {
    const int ops = RandomOps();
    size_t deepest = 0;
    for (int op = 0; op < ops; ++op) {
        ASSERT_NO_FATAL_FAILURE(Step(op, ops)) << "operation " << op;
        deepest = std::max(deepest, Model_.size());
        if (op % 2500 == 0) {
            ASSERT_NO_FATAL_FAILURE(CheckWhole()) << "operation " << op;
        }
    }
    ASSERT_NO_FATAL_FAILURE(CheckWhole());
    EXPECT_GT(deepest, static_cast<size_t>(ops / 20));  // the run grew a tree of several levels

    // Deleting every key leaves an empty index with every page on the free chain.
    while (!Model_.empty()) {
        const size_t i = Rng_() % Model_.size();
        ASSERT_TRUE(Tree_.Delete(Model_[i].data()));
        Model_.erase(Model_.begin() + static_cast<long>(i));
        Records_.erase(Records_.begin() + static_cast<long>(i));
    }
    EXPECT_EQ(Store_.RootPage(), 0u);
    uint32_t freePages = 0;
    for (uint32_t page = Store_.FirstFreePage(); page != 0 && freePages <= Store_.LastPageNumber(); ++freePages) {
        TPinnedPage pinned = PinPage(Store_, page);
        page = pinned->Next;
    }
    EXPECT_EQ(freePages, Store_.LastPageNumber());
}

INSTANTIATE_TEST_SUITE_P(
    PerCompressionMode, RandomTree,
    ::testing::Values(TreeCase{"None_Unique", icNone, false, false, true, false},
                      TreeCase{"None_DescendingCaseInsensitive", icNone, true, true, false, false},
                      TreeCase{"DuplicateByte_DescendingUnique", icDuplicateByte, true, false, true, false},
                      TreeCase{"DuplicateByte_CaseInsensitive", icDuplicateByte, false, true, false, false},
                      TreeCase{"TrailingByte_CaseInsensitiveUnique", icTrailingByte, false, true, true, false},
                      TreeCase{"TrailingByte_Descending", icTrailingByte, true, false, false, false},
                      TreeCase{"Full_DescendingCaseInsensitiveUnique", icFull, true, true, true, false},
                      TreeCase{"Full", icFull, false, false, false, false},
                      TreeCase{"Full_NoKeyStatistics", icFull, false, false, false, true}),
    [](const ::testing::TestParamInfo<TreeCase>& info) { return std::string(info.param.name); });

// A small tree of integer keys on 1024-byte pages, kept in images so that tests can damage them.
class DamagedTree : public ::testing::Test {
protected:
    DamagedTree() : Store_(Shape_, "Employee", 4), Tree_(Store_, Compare_) {
        for (int32_t i = 0; i < 600; ++i) Tree_.Insert(IntKey(i * 7 % 600).data(), static_cast<uint32_t>(i + 1));
        Store_.Flush();
    }
    static Key IntKey(int32_t v) {
        Key key(9);
        index_test::PutIntField(key.data(), v);
        index_test::PutSuffix(key.data() + 5, v);
        return key;
    }
    uint8_t* PageImage(uint32_t page) { return Store_.Image().data() + (page - 1) * 1024; }
    uint32_t FirstChild(uint32_t page) {
        return LoadLE32(PageImage(page) + 13 + 9);
    }

    TIndexShape Shape_{.PageSize = 1024, .KeySize = 9, .Unique = false};
    TKeyCompare Compare_ = index_test::MakeCompare({{5}, {false}});
    TMemoryPageStore Store_;
    TIndexTree Tree_;
};

TEST_F(DamagedTree, StructuralFaultsAreIndexCorrupt) {
    const Key probe = IntKey(300);
    TIndexPath path;
    ASSERT_TRUE(Tree_.Locate(probe.data(), path));
    ASSERT_GE(path.Depth, 2);
    const uint32_t root = Store_.RootPage();

    struct Fault {
        const char* what;
        std::function<void()> damage;
    };
    const Fault faults[] = {
        {"root of leaf type", [&] { PageImage(root)[0] = ptLeaf; }},
        {"root without entries", [&] { PageImage(root)[1] = PageImage(root)[2] = 0; }},
        {"child beyond the file", [&] { PageImage(root)[13 + 9] = 0xF0; }},
        {"child of root type", [&] { PageImage(FirstChild(root))[0] = ptRootInner; }},
        {"child without entries", [&] { PageImage(FirstChild(root))[1] = PageImage(FirstChild(root))[2] = 0; }},
        {"child pointing to its parent",
         [&] {
             StoreLE32(PageImage(root) + 13 + 9, root);
         }},
    };
    const std::vector<uint8_t> sound = Store_.Image();
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.what);
        Store_.LoadImage(sound);
        Store_.SetRootPage(root);
        f.damage();
        index_test::ExpectEngineError(DEZEDE_INDEXCORRUPT, "Employee", [&] {
            TIndexPosition pos;
            Tree_.First(pos);
            Tree_.Locate(probe.data(), path);
        });
        EXPECT_FALSE(CheckIndex(Store_, Compare_).Sound);
    }
}

TEST_F(DamagedTree, PathDeeperThan64LevelsIsIndexCorrupt) {
    TMemoryPageStore store(Shape_, "Employee");
    const Key key = IntKey(1);
    for (uint32_t n = 1; n <= 70; ++n) {
        TPinnedPage page = NewPage(store, n == 1 ? ptRootInner : ptInner);
        page->Insert(0, key.data(), n + 1, 1);
    }
    store.SetRootPage(1);
    TIndexTree tree(store, Compare_);
    TIndexPath path;
    index_test::ExpectEngineError(DEZEDE_INDEXCORRUPT, "Employee", [&] { tree.Locate(key.data(), path); });
    const TIndexCheckResult check = CheckIndex(store, Compare_);
    EXPECT_FALSE(check.Sound);

    // Two inner pages that lead to each other.
    TPinnedPage(PinPage(store, 3))->SetPointer(0, 2);
    index_test::ExpectEngineError(DEZEDE_INDEXCORRUPT, "Employee", [&] { tree.Locate(key.data(), path); });
    EXPECT_FALSE(CheckIndex(store, Compare_).Sound);
}

TEST_F(DamagedTree, LoopingLeafLinksAreReportedNotWalked) {
    TIndexPosition first, pos;
    ASSERT_TRUE(Tree_.First(first));
    Tree_.Last(pos);
    const uint32_t lastLeaf = pos.Page;
    // The last leaf leads back to the first.
    {
        TPinnedPage leaf = PinPage(Store_, lastLeaf);
        leaf->Next = first.Page;
        leaf.Dirty();
    }
    index_test::ExpectEngineError(DEZEDE_INDEXCORRUPT, "Employee", [&] {
        TIndexPosition walk = first;
        for (int steps = 0; steps < 100000 && Tree_.Next(walk); ++steps) {
        }
    });
    // The first leaf's back link points at the last one: walking backwards.
    {
        TPinnedPage leaf = PinPage(Store_, lastLeaf);
        leaf->Next = 0;
        TPinnedPage head = PinPage(Store_, first.Page);
        head->Previous = lastLeaf;
    }
    index_test::ExpectEngineError(DEZEDE_INDEXCORRUPT, "Employee", [&] {
        TIndexPosition walk = first;
        for (int steps = 0; steps < 100000 && Tree_.Prior(walk); ++steps) {
        }
    });
    EXPECT_FALSE(CheckIndex(Store_, Compare_).Sound);
}

TEST_F(DamagedTree, CheckerNamesTheFault) {
    ASSERT_TRUE(CheckIndex(Store_, Compare_).Sound);
    const uint32_t root = Store_.RootPage();
    struct Fault {
        const char* expected;
        std::function<void(TPage& root, TPage& child)> damage;
    };
    const Fault faults[] = {
        {"first key differs",
         [](TPage& r, TPage&) {
             Key k(r.Key(1), r.Key(1) + 9);
             k[8] ^= 1;  // still between its neighbours
             r.ReplaceKey(1, k.data());
         }},
        {"key count differs", [](TPage& r, TPage&) { r.SetKeyCount(0, r.KeyCount(0) + 1); }},
        {"neighbour links", [](TPage&, TPage& c) { c.Next = 0; }},
        {"reached twice", [](TPage& r, TPage&) { r.SetPointer(1, r.Pointer(0)); }},
        {"keys out of order", [](TPage&, TPage& c) { c.ReplaceKey(c.Count() - 1, IntKey(-1).data()); }},
        {"beyond the file", [](TPage& r, TPage&) { r.SetPointer(1, 5000); }},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.expected);
        const std::vector<uint8_t> sound = Store_.Image();
        {
            TPinnedPage r = PinPage(Store_, root);
            TPinnedPage c = PinPage(Store_, r->Pointer(0));
            f.damage(*r, *c);
            r.Dirty();
            c.Dirty();
        }
        const TIndexCheckResult check = CheckIndex(Store_, Compare_);
        EXPECT_FALSE(check.Sound);
        EXPECT_NE(check.Problem.find(f.expected), std::string::npos) << check.Problem;
        Store_.LoadImage(sound);
    }
}

// A compressed leaf whose halves by entry count do not fit: the split moves entries across
// until both halves fit their pages.
TEST(IndexTree, CompressedLeafSplitBalancesBytes) {
    const TIndexShape shape{.PageSize = 1024, .KeySize = 300, .Unique = true, .Compression = icFull};
    const TKeyCompare compare = index_test::MakeCompare({{300}, {false}});
    TMemoryPageStore store(shape, "T");
    TIndexTree tree(store, compare);
    auto small = [](uint8_t tail) {  // long shared prefix and trailing zeros: 7 bytes packed
        Key key(300, 0);
        std::fill_n(key.begin(), 254, 'Z');
        key[254] = tail;
        return key;
    };
    auto big = [](uint8_t first) {  // nothing shared, no zeros: 306 bytes packed
        Key key(300, static_cast<uint8_t>(first + 1));
        key[0] = first;
        return key;
    };
    std::vector<Key> keys;
    for (uint8_t i = 1; i <= 7; ++i) keys.push_back(small(i));
    for (uint8_t c : {'a', 'b', 'c'}) keys.push_back(big(c));
    for (size_t i = 0; i < keys.size(); ++i) ASSERT_TRUE(tree.Insert(keys[i].data(), static_cast<uint32_t>(i + 1)));

    TIndexPosition first;
    ASSERT_TRUE(tree.First(first));
    TPinnedPage left = PinPage(store, first.Page);
    ASSERT_NE(left->Next, 0u);
    TPinnedPage right = PinPage(store, left->Next);
    EXPECT_EQ(left->Count(), 7);  // an even split by count would have left 5 and 5
    EXPECT_EQ(right->Count(), 3);
    EXPECT_EQ(right->CompressedSize(), 3u * 306u);
    left.Reset();
    right.Reset();
    const TIndexCheckResult check = CheckIndex(store, compare);
    EXPECT_TRUE(check.Sound) << check.Problem;
    EXPECT_EQ(check.KeyCount, 10u);
}

TEST(IndexTree, RecordNumbersOutOfRangeAreFaults) {
    const TIndexShape shape{.PageSize = 1024, .KeySize = 5};
    const TKeyCompare compare = index_test::MakeCompare({{5}, {false}});
    TMemoryPageStore store(shape, "T");
    TIndexTree tree(store, compare);
    Key key(5);
    index_test::PutIntField(key.data(), 1);
    tree.Insert(key.data(), 12);
    EXPECT_TRUE(CheckIndex(store, compare, 12).Sound);
    EXPECT_FALSE(CheckIndex(store, compare, 11).Sound);
}

TEST(IndexTree, DeletingAMissingKeyChangesNoCount) {
    const TIndexShape shape{.PageSize = 1024, .KeySize = 5};
    const TKeyCompare compare = index_test::MakeCompare({{5}, {false}});
    TMemoryPageStore store(shape, "T");
    TIndexTree tree(store, compare);
    Key key(5);
    for (int32_t i = 0; i < 1000; i += 2) {
        index_test::PutIntField(key.data(), i);
        tree.Insert(key.data(), static_cast<uint32_t>(i + 1));
    }
    index_test::PutIntField(key.data(), 501);
    EXPECT_FALSE(tree.Delete(key.data()));
    EXPECT_EQ(tree.KeyCount(), 500u);
    EXPECT_TRUE(CheckIndex(store, compare).Sound);
    index_test::PutIntField(key.data(), 500);
    EXPECT_FALSE(tree.Insert(key.data(), 9));  // already there
    EXPECT_EQ(tree.KeyCount(), 500u);
}

}  // namespace
}  // namespace dezede
