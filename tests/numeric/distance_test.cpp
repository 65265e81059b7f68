#include "numeric/distance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace orthomix {
namespace {

TEST(EuclideanDistance, MeasuresOnlyTheFirstLengthColumns) {
    const std::vector<double> a = {1.0, 2.0, 100.0};
    const std::vector<double> b = {4.0, 6.0, -100.0};
    EXPECT_EQ(euclideanDistance(a.data(), b.data(), 2), 5.0) << "3-4-5, the third column left out";
    EXPECT_EQ(euclideanDistance(b.data(), a.data(), 2), 5.0) << "symmetric";
    EXPECT_EQ(euclideanDistance(a.data(), a.data(), 3), 0.0);
    EXPECT_EQ(euclideanDistance(a.data(), b.data(), 0), 0.0) << "no columns, no distance";
    EXPECT_EQ(euclideanDistance(a.data(), b.data(), 3), std::sqrt(9.0 + 16.0 + 40000.0));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> missing = {nan, 2.0};
    EXPECT_TRUE(std::isnan(euclideanDistance(missing.data(), b.data(), 2))) << "a NaN value is not hidden";
}

TEST(EuclideanDistance, SumsTheSquaresInColumnOrder) {
    // 1 followed by sixteen squares of 2^-54 each: added one at a time after
    // the 1, every one is below half an ulp and vanishes, so the distance is
    // exactly 1. Any other grouping (pairwise, reversed, vectorised partial
    // sums) first collects 2^-50 and gives sqrt(1 + 2^-50) > 1.
    std::vector<double> a(17, std::ldexp(1.0, -27));
    a[0] = 1.0;
    const std::vector<double> zero(17, 0.0);
    EXPECT_EQ(euclideanDistance(a.data(), zero.data(), a.size()), 1.0);

    std::vector<double> reversed(a.rbegin(), a.rend());
    EXPECT_GT(euclideanDistance(reversed.data(), zero.data(), reversed.size()), 1.0)
        << "with the 1 last the small squares count; the order is what decides";
}

}  // namespace
}  // namespace orthomix
