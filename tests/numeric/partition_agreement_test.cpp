#include "numeric/partition_agreement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support/partition_metrics.h"

namespace orthomix {
namespace {

using Labels = std::vector<std::int32_t>;

TEST(AdjustedRandIndex, HandComputedExample) {
    // Contingency [[2, 1, 0], [0, 1, 2]]: 2 pairs together in both, 6 in the
    // first labeling, 3 in the second, of 15; expected 6 * 3 / 15 = 1.2,
    // largest (6 + 3) / 2 = 4.5, so (2 - 1.2) / (4.5 - 1.2) = 8 / 33.
    const Labels a = {0, 0, 0, 1, 1, 1};
    const Labels b = {0, 0, 1, 1, 2, 2};
    EXPECT_NEAR(adjustedRandIndex(a, b), 8.0 / 33.0, 1e-15);
    EXPECT_NEAR(adjustedRandIndex(b, a), 8.0 / 33.0, 1e-15) << "symmetric";
    // The same example with labels too far apart for a lookup table.
    const Labels spreadA = {-2000000000, -2000000000, -2000000000, 2000000000, 2000000000, 2000000000};
    const Labels spreadB = {7, 7, -900000, -900000, 123456789, 123456789};
    EXPECT_NEAR(adjustedRandIndex(spreadA, spreadB), 8.0 / 33.0, 1e-15);
    EXPECT_NEAR(adjustedRandIndex(spreadA, b), 8.0 / 33.0, 1e-15);
    // One group against a split: exactly what chance gives.
    EXPECT_NEAR(adjustedRandIndex({4, 4, 4, 4}, {0, 0, 1, 1}), 0.0, 1e-15);
    // Complete disagreement falls below chance: [[1, 1], [1, 1]] gives
    // (0 - 2 * 2 / 6) / (2 - 2 / 3) = -1 / 2.
    EXPECT_NEAR(adjustedRandIndex({0, 0, 1, 1}, {0, 1, 0, 1}), -0.5, 1e-15);
}

TEST(AdjustedRandIndex, OneForTheSamePartitionUnderAnyLabelsScatterIncluded) {
    // 3 is the scatter value of a 3-cluster run, 5 that of a 5-cluster run
    // whose other labels are permuted: the same genes left out, the same groups.
    const Labels a = {0, 0, 1, 2, 3, 1, 3, 2, 0};
    const Labels b = {4, 4, 0, 2, 5, 0, 5, 2, 4};
    EXPECT_EQ(adjustedRandIndex(a, b), 1.0);
    // Scatter is a group of its own: putting the scatter genes into cluster 0
    // is a different partition.
    Labels merged = a;
    for (std::int32_t& label : merged) {
        if (label == 3) label = 0;
    }
    EXPECT_LT(adjustedRandIndex(a, merged), 1.0);
    EXPECT_EQ(adjustedRandIndex({-1, -1, 2, 2}, {7, 7, 0, 0}), 1.0) << "unassigned genes form a group too";
}

TEST(AdjustedRandIndex, TrivialAndMismatchedInputs) {
    EXPECT_EQ(adjustedRandIndex({}, {}), 1.0);
    EXPECT_EQ(adjustedRandIndex({3}, {0}), 1.0);
    EXPECT_EQ(adjustedRandIndex({1, 1, 1}, {2, 2, 2}), 1.0) << "one group each";
    EXPECT_EQ(adjustedRandIndex({0, 1, 2}, {5, 4, 3}), 1.0) << "singletons each";
    EXPECT_TRUE(std::isnan(adjustedRandIndex({0, 1}, {0, 1, 1}))) << "different items cannot be compared";
}

TEST(AdjustedRandIndex, NearZeroForIndependentLabelsAndAgreesWithAMapBasedCount) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::int32_t> five(0, 4);
    std::uniform_int_distribution<std::int32_t> seven(-1, 5);
    Labels a(20000), b(20000);
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = five(random);
        b[i] = seven(random);
    }
    const double independent = adjustedRandIndex(a, b);
    EXPECT_LT(std::fabs(independent), 2e-3);
    EXPECT_NEAR(independent, testing::adjustedRandIndex({a.begin(), a.end()}, {b.begin(), b.end()}), 1e-12);

    // Half the labels copied: clearly related, and again the same as the map count.
    for (std::size_t i = 0; i < b.size(); i += 2) b[i] = a[i];
    const double related = adjustedRandIndex(a, b);
    EXPECT_GT(related, 0.1);
    EXPECT_LT(related, 0.9);
    EXPECT_NEAR(related, testing::adjustedRandIndex({a.begin(), a.end()}, {b.begin(), b.end()}), 1e-12);
}

}  // namespace
}  // namespace orthomix
