#include "engine/record_number_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace dezede {
namespace {

// Numbers spread over many blocks and packed into a few, against a model.
TEST(RecordNumberSet, AgreesWithAModel) {
    TRecordNumberSet set;
    std::set<uint32_t> model;
    std::mt19937 rng(9);
    for (int step = 0; step < 30000; ++step) {
        const uint32_t n = rng() % 2 == 0 ? rng() % 10000 : rng();
        if (rng() % 2 == 0)
            ASSERT_EQ(set.insert(n), model.insert(n).second) << n;
        else
            ASSERT_EQ(set.erase(n), model.erase(n) == 1) << n;
        ASSERT_EQ(set.contains(n), model.count(n) == 1) << n;
        ASSERT_EQ(set.size(), model.size());
    }
    EXPECT_EQ(set.Numbers(), std::vector<uint32_t>(model.begin(), model.end()));
    for (uint32_t n : model) set.erase(n);
    EXPECT_TRUE(set.empty());
    EXPECT_TRUE(set.Numbers().empty());
    EXPECT_TRUE(set.insert(UINT32_MAX));
    EXPECT_EQ(set.Numbers(), std::vector<uint32_t>{UINT32_MAX});
}

}  // namespace
}  // namespace dezede
