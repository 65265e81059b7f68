#include "numeric/multiple_testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

namespace orthomix {
namespace {

void expectQValues(const std::vector<double>& p, const std::vector<double>& expected) {
    const std::vector<double> q = benjaminiHochbergQValues(p);
    ASSERT_EQ(q.size(), expected.size());
    for (std::size_t i = 0; i < q.size(); ++i) {
        if (std::isnan(expected[i])) {
            EXPECT_TRUE(std::isnan(q[i])) << "entry " << i;
        } else {
            EXPECT_NEAR(q[i], expected[i], 1e-15) << "entry " << i;
        }
    }
}

TEST(BenjaminiHochberg, HandComputedFamilies) {
    // Ranks 4, 2, 3, 1: p * m / rank = 0.04, 0.02, 0.04, 0.02, returned in input order.
    expectQValues({0.04, 0.01, 0.03, 0.005}, {0.04, 0.02, 0.04, 0.02});
    // 0.04 * 2 / 1 = 0.08 exceeds the next rank's 0.041: the running minimum wins.
    expectQValues({0.04, 0.041}, {0.041, 0.041});
    // Raw values 2.4 and 1.35 above 1 come down to the largest p.
    expectQValues({0.9, 0.8, 0.95}, {0.95, 0.95, 0.95});
    // Three tied p-values share one q: 0.02 * 4 / 3.
    expectQValues({0.02, 0.5, 0.02, 0.02}, {0.08 / 3.0, 0.5, 0.08 / 3.0, 0.08 / 3.0});
    // A NaN is left out of the family: m = 2.
    expectQValues({NAN, 0.01, 0.02}, {NAN, 0.02, 0.02});
    expectQValues({1.0}, {1.0});
    EXPECT_TRUE(benjaminiHochbergQValues({}).empty());
}

TEST(BenjaminiHochberg, QValuesAreCappedMonotoneAndNeverBelowP) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> p(500);
    for (double& value : p) value = std::pow(uniform(random), 4.0);  // many small p-values
    p[10] = p[20] = p[30];                                          // and a tie
    const std::vector<double> q = benjaminiHochbergQValues(p);
    std::vector<std::size_t> order(p.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return p[a] < p[b]; });
    for (std::size_t r = 0; r < order.size(); ++r) {
        const std::size_t i = order[r];
        EXPECT_GE(q[i], p[i]);
        EXPECT_LE(q[i], 1.0);
        EXPECT_LE(q[i], p[i] * static_cast<double>(p.size()) / static_cast<double>(r + 1) * (1.0 + 1e-15));
        if (r > 0) {
            EXPECT_LE(q[order[r - 1]], q[i]) << "a smaller p never has a larger q";
        }
    }
    EXPECT_EQ(q[10], q[30]);
    EXPECT_EQ(q[20], q[30]);
}

}  // namespace
}  // namespace orthomix
