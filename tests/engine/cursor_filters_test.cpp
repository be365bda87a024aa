#include "engine/cursor_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "tests/engine/test_errors.h"

namespace dezede {
namespace {

using test::ErrorOf;

// A record is one 32-bit value; its key is the value big-endian, so keys
// compare as bytes. Slots hold nullopt when deleted.
std::vector<uint8_t> Image(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
uint32_t ValueOf(std::span<const uint8_t> r) { return uint32_t(r[0]) << 24 | uint32_t(r[1]) << 16 | r[2] << 8 | r[3]; }

class TFakeHost : public TFilterHost {
public:
    std::vector<std::optional<uint32_t>> Slots;  // index recNo - 1
    std::optional<std::pair<uint32_t, uint32_t>> Range;
    bool InIndexOrder = true;
    uint8_t Threshold = 1;
    uint16_t MaxReadLocks = 100;
    int Pauses = 0;
    std::string Name = "Staff";

    void Fill(uint32_t count, uint32_t (*value)(uint32_t recNo)) {
        Slots.clear();
        for (uint32_t r = 1; r <= count; ++r) Slots.push_back(value(r));
    }

    uint32_t RecordSlots() override { return uint32_t(Slots.size()); }
    uint32_t ActiveRecordCount() override {
        return uint32_t(std::count_if(Slots.begin(), Slots.end(), [](const auto& s) { return s.has_value(); }));
    }
    bool ReadSlot(uint32_t recNo, std::vector<uint8_t>& record) override {
        if (recNo == 0 || recNo > Slots.size() || !Slots[recNo - 1]) return false;
        record = Image(*Slots[recNo - 1]);
        return true;
    }
    void* UserData() override { return this; }
    bool RangeSet() override { return Range.has_value(); }
    void ScanRange(TRecordsBitmap& b) override {
        for (uint32_t r = 1; r <= Slots.size(); ++r)
            if (Slots[r - 1] && InRange(*Slots[r - 1])) b.Set(r);
    }
    bool KeyInRange(std::span<const uint8_t> record) override { return InRange(ValueOf(record)); }
    bool IndexOrder() override { return InIndexOrder; }
    int CurrentIndex() override { return InIndexOrder ? 0 : 255; }
    size_t KeySize() override { return 4; }
    void BuildKey(std::span<const uint8_t> record, std::span<uint8_t> key) override {
        std::memcpy(key.data(), record.data(), 4);
    }
    int CompareKeys(const uint8_t* a, const uint8_t* b) override { return std::memcmp(a, b, 4); }
    void PauseReadLock() override { ++Pauses; }
    uint8_t FilterIndexThreshold() override { return Threshold; }
    uint16_t MaxReadLockCount() override { return MaxReadLocks; }
    const std::string& TableName() override { return Name; }

private:
    bool InRange(uint32_t v) const { return v >= Range->first && v <= Range->second; }
};

// A callback filter keeping the records whose value satisfies `keep`, counting its calls.
struct TCountingFilter {
    std::function<bool(uint32_t value)> Keep;
    int Calls = 0;

    TFilter* AddTo(TCursorFilters& filters, bool afterOthers = false) {
        return filters.AddCallbackFilter(
            [](void* context, void*, std::span<const uint8_t> record, uint32_t) {
                auto* self = static_cast<TCountingFilter*>(context);
                ++self->Calls;
                return self->Keep(ValueOf(record));
            },
            this, afterOthers);
    }
};

std::vector<uint32_t> SetBits(const TRecordsBitmap& b) {
    std::vector<uint32_t> bits;
    for (uint32_t r = b.FindNext(0); r != 0; r = b.FindNext(r)) bits.push_back(r);
    return bits;
}

std::vector<uint32_t> ListRecNos(const TCursorFilters& filters) {
    std::vector<uint32_t> recNos;
    for (const TSortedKey& e : *filters.KeyList()) recNos.push_back(e.RecNo);
    return recNos;
}

class CursorFiltersTest : public ::testing::Test {
protected:
    CursorFiltersTest() { host.Fill(100, [](uint32_t r) { return r; }); }
    TFakeHost host;
    TCursorFilters filters{host};
};

TEST_F(CursorFiltersTest, CombinesActiveFiltersAndCountsThroughActivateDeactivateDrop) {
    host.Slots[3] = std::nullopt;  // record 4 deleted: never passes
    TCountingFilter even{[](uint32_t v) { return v % 2 == 0; }};
    TCountingFilter low{[](uint32_t v) { return v <= 10; }};
    TFilter* e = even.AddTo(filters);
    TFilter* l = low.AddTo(filters);
    EXPECT_FALSE(filters.InUse());
    EXPECT_EQ(filters.FilteredCount(), 99u);

    filters.Activate(nullptr);
    EXPECT_TRUE(e->Active() && l->Active());
    EXPECT_EQ(SetBits(filters.Combined()), (std::vector<uint32_t>{2, 6, 8, 10}));
    EXPECT_EQ(filters.FilteredCount(), 4u);
    EXPECT_EQ(even.Calls, 99);  // deleted slot not judged

    filters.Deactivate(l);
    EXPECT_FALSE(l->Active());
    EXPECT_EQ(filters.FilteredCount(), 49u);
    EXPECT_EQ(even.Calls, 99);  // deactivating evaluates nothing

    filters.Drop(e);
    EXPECT_EQ(filters.Filters().size(), 1u);
    EXPECT_FALSE(filters.InUse());
    EXPECT_EQ(filters.FilteredCount(), 99u);  // no active filter: the table's active record count
    EXPECT_EQ(filters.KeyList(), nullptr);

    filters.Activate(l);
    EXPECT_EQ(filters.FilteredCount(), 9u);
    filters.DropAll();
    EXPECT_TRUE(filters.Filters().empty());
    EXPECT_EQ(filters.FilteredCount(), 99u);
}

TEST_F(CursorFiltersTest, ListOrderLimitAndUnknownFilters) {
    auto keepAll = [](void*, void*, std::span<const uint8_t>, uint32_t) { return true; };
    TFilter* a = filters.AddCallbackFilter(keepAll, nullptr, true);
    TFilter* b = filters.AddCallbackFilter(keepAll, nullptr, false);
    TFilter* c = filters.AddCallbackFilter(keepAll, nullptr, true);
    TFilter* d = filters.AddCallbackFilter(keepAll, nullptr, false);
    std::vector<TFilter*> order;
    for (const auto& f : filters.Filters()) order.push_back(f.get());
    EXPECT_EQ(order, (std::vector<TFilter*>{b, d, a, c}));
    EXPECT_EQ(a->Level(), FilterLevelUnoptimized);
    EXPECT_EQ(a->Kind(), TFilterKind::fkCallback);

    EXPECT_EQ(ErrorOf([&] { filters.AddCallbackFilter(nullptr, nullptr, false); }), DEZEDE_INVALIDFILTER);
    while (filters.Filters().size() < TCursorFilters::MaxFilters) filters.AddCallbackFilter(keepAll, nullptr, false);
    EXPECT_EQ(ErrorOf([&] { filters.AddCallbackFilter(keepAll, nullptr, false); }), DEZEDE_INTERNALLIMIT);
    EXPECT_EQ(TErrorContextStore::Instance().Last().ErrorTableName, "Staff");

    TFakeHost otherHost;
    TCursorFilters other(otherHost);
    TFilter* foreign = other.AddCallbackFilter(keepAll, nullptr, false);
    for (auto op : {&TCursorFilters::Activate, &TCursorFilters::Deactivate, &TCursorFilters::Drop}) {
        EXPECT_EQ(ErrorOf([&] { (filters.*op)(foreign); }), DEZEDE_NOSUCHFILTER);
        EXPECT_EQ(TErrorContextStore::Instance().Last().ErrorTableName, "Staff");
    }
    EXPECT_EQ(filters.Filters().size(), TCursorFilters::MaxFilters);
}

TEST_F(CursorFiltersTest, AfterOthersFilterJudgesOnlyEarlierSurvivors) {
    TCountingFilter late{[](uint32_t v) { return v > 50; }};
    TCountingFilter even{[](uint32_t v) { return v % 2 == 0; }};
    TFilter* l = late.AddTo(filters, true);
    TFilter* e = even.AddTo(filters);  // goes before the after-others filter

    filters.Activate(l);  // nothing active before it: every record judged
    EXPECT_EQ(late.Calls, 100);
    filters.Activate(e);
    late.Calls = 0;
    filters.Activate(l);
    EXPECT_EQ(late.Calls, 50);
    EXPECT_EQ(filters.FilteredCount(), 25u);

    late.Calls = even.Calls = 0;
    filters.Reevaluate();
    EXPECT_EQ(even.Calls, 100);
    EXPECT_EQ(late.Calls, 50);
}

TEST_F(CursorFiltersTest, VanishedRecordDropsOutOtherErrorsPropagate) {
    auto flaky = [](void* context, void*, std::span<const uint8_t> record, uint32_t) {
        const uint32_t failing = *static_cast<uint32_t*>(context);
        if (ValueOf(record) == 7) RaiseError(failing, {.Table = "Staff"});
        return true;
    };
    uint32_t code = DEZEDE_KEYORRECDELETED;
    TFilter* f = filters.AddCallbackFilter(flaky, &code, false);
    filters.Activate(f);
    EXPECT_FALSE(filters.Combined().Test(7));
    EXPECT_EQ(filters.FilteredCount(), 99u);

    filters.Deactivate(f);
    code = DEZEDE_READERR;
    EXPECT_EQ(ErrorOf([&] { filters.Activate(f); }), DEZEDE_READERR);
    EXPECT_FALSE(f->Active());  // a failed activation leaves the filter inactive
    EXPECT_FALSE(filters.InUse());
    EXPECT_EQ(filters.FilteredCount(), 100u);
}

TEST_F(CursorFiltersTest, RangeBitmapIsIntersectedAndTestedRecordsFollowTheRange) {
    host.Range = {{20, 60}};
    TCountingFilter even{[](uint32_t v) { return v % 2 == 0; }};
    even.AddTo(filters);
    filters.Activate(nullptr);
    EXPECT_EQ(even.Calls, 41);  // candidates start from the range
    EXPECT_EQ(filters.FilteredCount(), 21u);
    EXPECT_EQ(filters.Combined().FindNext(0), 20u);
    EXPECT_EQ(filters.KeyList(), nullptr);  // never with a range

    // A record moved out of the range (by another session, seen on landing) fails and drops.
    host.Slots[29] = 90;
    EXPECT_FALSE(filters.TestRecord(30, Image(90), false));
    EXPECT_EQ(filters.FilteredCount(), 20u);
    EXPECT_TRUE(filters.TestRecord(32, Image(32), false));
    EXPECT_FALSE(filters.TestRecord(34, Image(34), true));
    EXPECT_EQ(filters.FilteredCount(), 19u);

    host.Range.reset();
    filters.Reevaluate();
    EXPECT_EQ(filters.FilteredCount(), 50u);
}

TEST_F(CursorFiltersTest, SortedKeyListOnlyUnderTheThreshold) {
    // Values fall as record numbers rise, so key order reverses record order.
    host.Fill(1000, [](uint32_t r) { return 5000 - r; });
    struct TCase {
        uint32_t kept;
        bool indexOrder;
        bool list;
    };
    for (const TCase c : {TCase{5, true, true}, TCase{10, true, true}, TCase{11, true, false}, TCase{5, false, false}}) {
        SCOPED_TRACE(c.kept);
        host.InIndexOrder = c.indexOrder;
        const uint32_t kept = c.kept;
        TCountingFilter first{[kept](uint32_t v) { return v > 5000 - 1 - kept; }};  // records 1..kept
        TCursorFilters set(host);
        set.Activate(first.AddTo(set));
        EXPECT_EQ(set.FilteredCount(), kept);
        ASSERT_EQ(set.KeyList() != nullptr, c.list);
        if (!c.list) continue;
        std::vector<uint32_t> expected;
        for (uint32_t r = kept; r >= 1; --r) expected.push_back(r);
        EXPECT_EQ(ListRecNos(set), expected);
        EXPECT_EQ(set.KeyListLowerBound(Image(5000 - 3)), kept - 3);
    }
}

TEST_F(CursorFiltersTest, UpkeepAfterOwnChangesPatchesWithoutReevaluating) {
    TCountingFilter small{[](uint32_t v) { return v < 1000; }};
    host.Fill(1000, [](uint32_t r) { return r <= 4 ? 100 * r : 5000 + r; });  // passing: 1..4, values 100..400
    filters.Activate(small.AddTo(filters));
    ASSERT_NE(filters.KeyList(), nullptr);
    EXPECT_EQ(ListRecNos(filters), (std::vector<uint32_t>{1, 2, 3, 4}));

    small.Calls = 0;
    host.Slots[1].reset();
    filters.AfterDelete(2);
    EXPECT_EQ(small.Calls, 0);
    EXPECT_EQ(filters.FilteredCount(), 3u);
    EXPECT_EQ(ListRecNos(filters), (std::vector<uint32_t>{1, 3, 4}));

    host.Slots[0] = 450;  // record 1's key moves past record 4's
    filters.AfterWrite(1, Image(450));
    EXPECT_EQ(ListRecNos(filters), (std::vector<uint32_t>{3, 4, 1}));
    EXPECT_EQ(filters.FilteredCount(), 3u);

    host.Slots[2] = 7000;  // record 3 no longer passes
    filters.AfterWrite(3, Image(7000));
    EXPECT_EQ(ListRecNos(filters), (std::vector<uint32_t>{4, 1}));
    EXPECT_EQ(filters.FilteredCount(), 2u);

    host.Slots.push_back(50);  // an append that passes, first in key order
    filters.AfterWrite(1001, Image(50));
    EXPECT_EQ(ListRecNos(filters), (std::vector<uint32_t>{1001, 4, 1}));
    EXPECT_EQ(filters.FilteredCount(), 3u);
    EXPECT_TRUE(filters.Combined().Test(1001));
    EXPECT_EQ(small.Calls, 3);  // only the three written records were judged
}

TEST_F(CursorFiltersTest, LongEvaluationsPauseTheReadLockAboutMaxReadLockCountTimes) {
    host.Fill(1000, [](uint32_t r) { return r; });
    TCountingFilter all{[](uint32_t) { return true; }};
    TFilter* f = all.AddTo(filters);
    filters.Activate(f);
    EXPECT_GE(host.Pauses, 95);
    EXPECT_LE(host.Pauses, 100);

    host.Pauses = 0;
    host.MaxReadLocks = 0;  // taken as one opening at most, never a division by zero
    filters.Reevaluate();
    EXPECT_LE(host.Pauses, 1);
    EXPECT_EQ(filters.FilteredCount(), 1000u);
}

}  // namespace
}  // namespace dezede
