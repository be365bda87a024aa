#include "platform/region_list.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace dezede {
namespace {

// Each case starts from the regions [100, 109] and [200, 200].
struct TRegionCase {
    const char* Name;
    bool Lock;  // lock (Add) or unlock (Remove)
    uint64_t Offset;
    uint64_t Length;
    bool Expected;
};

class RegionListTest : public ::testing::TestWithParam<TRegionCase> {};

TEST_P(RegionListTest, AddAndRemoveFollowWindowsRules) {
    const TRegionCase& c = GetParam();
    TRegionList list;
    ASSERT_TRUE(list.Add(100, 10));
    ASSERT_TRUE(list.Add(200, 1));
    EXPECT_EQ(c.Lock ? list.Add(c.Offset, c.Length) : list.Remove(c.Offset, c.Length), c.Expected) << c.Name;
    // The list stays sorted and free of overlaps whatever happened.
    const auto& r = list.Regions();
    for (size_t i = 1; i < r.size(); ++i) EXPECT_GT(r[i].Start, r[i - 1].End);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionListTest,
    ::testing::Values(TRegionCase{"before, touching", true, 90, 10, true},
                      TRegionCase{"after, touching", true, 110, 90, true},
                      TRegionCase{"overlaps start", true, 95, 6, false},
                      TRegionCase{"overlaps end", true, 109, 1, false},
                      TRegionCase{"inside", true, 102, 2, false},
                      TRegionCase{"covers two", true, 50, 200, false},
                      TRegionCase{"same one-byte region", true, 200, 1, false},
                      TRegionCase{"empty region", true, 300, 0, false},
                      TRegionCase{"runs past 2^64-1", true, UINT64_MAX, 2, false},
                      TRegionCase{"last byte of 2^64", true, UINT64_MAX, 1, true},
                      TRegionCase{"unlock exact", false, 100, 10, true},
                      TRegionCase{"unlock shorter", false, 100, 5, false},
                      TRegionCase{"unlock inner start", false, 101, 9, false},
                      TRegionCase{"unlock not held", false, 300, 1, false}),
    [](const auto& info) {
        std::string n = info.param.Name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

}  // namespace
}  // namespace dezede
