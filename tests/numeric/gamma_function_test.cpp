#include "numeric/gamma_function.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orthomix {
namespace {

TEST(LogGamma, AgreesWithTheLibraryAndWithFactorials) {
    for (const double x : {1e-6, 0.1, 0.5, 1.0, 1.5, 2.0, 3.7, 9.99, 14.9, 15.0, 15.1, 100.25, 1e4, 1e6, 1e9}) {
        const double expected = std::lgamma(x);
        EXPECT_NEAR(logGamma(x), expected, 1e-14 * std::max(1.0, std::fabs(expected))) << "x = " << x;
    }
    EXPECT_NEAR(logGamma(0.5), 0.5 * std::log(std::acos(-1.0)), 1e-15) << "Gamma(1/2) = sqrt(pi)";
    double logFactorialSum = 0.0;
    for (int n = 1; n <= 170; ++n) {
        logFactorialSum += std::log(static_cast<double>(n));
        EXPECT_NEAR(logFactorial(n), logFactorialSum, 1e-13 * std::max(1.0, logFactorialSum)) << "n = " << n;
    }
    EXPECT_EQ(logFactorial(0), 0.0);
    EXPECT_TRUE(std::isnan(logGamma(0.0)));
    EXPECT_TRUE(std::isnan(logGamma(-2.5))) << "outside its domain, not a silent number";
}

TEST(UpperRegularisedGamma, MatchesClosedFormsOnBothSidesOfTheSwitch) {
    // Q(n, x) = e^-x sum_{k<n} x^k / k! for whole n; the series serves
    // x < n + 1, the continued fraction the rest.
    for (const int n : {1, 2, 5, 12}) {
        for (const double x : {0.01, 0.5, 1.0, 3.0, 5.9, 6.1, 12.0, 40.0, 300.0}) {
            double term = 1.0;
            double sum = 1.0;
            for (int k = 1; k < n; ++k) {
                term *= x / k;
                sum += term;
            }
            const double expected = std::exp(-x) * sum;
            EXPECT_NEAR(upperRegularisedGamma(n, x), expected, 1e-13 * expected) << "a = " << n << ", x = " << x;
        }
    }
    EXPECT_EQ(upperRegularisedGamma(3.0, 0.0), 1.0);
    EXPECT_EQ(upperRegularisedGamma(3.0, INFINITY), 0.0);
    EXPECT_TRUE(std::isnan(upperRegularisedGamma(0.0, 1.0)));
    EXPECT_TRUE(std::isnan(upperRegularisedGamma(2.0, -1.0)));
}

TEST(ChiSquareUpperTail, KnownValuesAndFarTails) {
    // Two degrees of freedom: exp(-x / 2) exactly.
    for (const double x : {0.1, 1.0, 2.0, 5.0, 10.0, 50.0, 100.0, 1000.0, 1400.0}) {
        EXPECT_NEAR(chiSquareUpperTail(x, 2), std::exp(-x / 2.0), 1e-13 * std::exp(-x / 2.0)) << "x = " << x;
    }
    // One degree of freedom: erfc(sqrt(x / 2)).
    for (const double x : {0.01, 0.5, 1.0, 2.0, 3.841458820694124, 10.0, 30.0}) {
        const double expected = std::erfc(std::sqrt(x / 2.0));
        EXPECT_NEAR(chiSquareUpperTail(x, 1), expected, 1e-12 * expected) << "x = " << x;
    }
    // Table values at the 5% point.
    EXPECT_NEAR(chiSquareUpperTail(3.841458820694124, 1), 0.05, 1e-10);
    EXPECT_NEAR(chiSquareUpperTail(18.307038053275146, 10), 0.05, 1e-10);
    EXPECT_NEAR(chiSquareUpperTail(124.3421, 100), 0.05, 1e-6);

    // exp(-740) is subnormal: kept, not flushed to 0.
    const double farTail = chiSquareUpperTail(1480.0, 2);
    EXPECT_GT(farTail, 0.0);
    EXPECT_NEAR(farTail, std::exp(-740.0), 1e-3 * std::exp(-740.0));
    EXPECT_EQ(chiSquareUpperTail(4000.0, 2), 0.0) << "exp(-2000) is below every double";

    EXPECT_EQ(chiSquareUpperTail(0.0, 4), 1.0);
    EXPECT_EQ(chiSquareUpperTail(-1.0, 4), 1.0);
    EXPECT_TRUE(std::isnan(chiSquareUpperTail(1.0, 0)));
    EXPECT_TRUE(std::isnan(chiSquareUpperTail(NAN, 3)));
}

TEST(ChiSquareUpperTail, FallsAsTheStatisticGrowsForLargeDegreesOfFreedom) {
    // Around the mean of a large table's test both expansions meet; the tail
    // must not jump there.
    for (const double df : {99.0, 2500.0, 9801.0}) {
        double previous = 1.0;
        for (double x = 0.5 * df; x < 1.5 * df; x += df / 200.0) {
            const double p = chiSquareUpperTail(x, df);
            ASSERT_LE(p, previous) << "df = " << df << ", x = " << x;
            previous = p;
        }
        EXPECT_NEAR(chiSquareUpperTail(df, df), 0.5, 0.5 / std::sqrt(df)) << "about half at the mean";
    }
}

}  // namespace
}  // namespace orthomix
