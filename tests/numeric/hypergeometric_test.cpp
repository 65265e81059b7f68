#include "numeric/hypergeometric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace orthomix {
namespace {

// Exact binomial coefficients by Pascal's rule, up to n = 40 (C(40, 20) < 2^38).
std::vector<std::vector<std::uint64_t>> pascalTriangle(int size) {
    std::vector<std::vector<std::uint64_t>> c(static_cast<std::size_t>(size) + 1);
    for (int n = 0; n <= size; ++n) {
        c[n].assign(static_cast<std::size_t>(n) + 1, 1);
        for (int k = 1; k < n; ++k) c[n][k] = c[n - 1][k - 1] + c[n - 1][k];
    }
    return c;
}

TEST(HypergeometricUpperTail, EqualsTheExactRatioOfBinomialCoefficients) {
    // For every small population, every split and every count, the tail as
    // one exact integer numerator over C(N, n), rounded once.
    const int largest = 30;
    const auto c = pascalTriangle(largest);
    for (int N = 0; N <= largest; ++N) {
        for (int K = 0; K <= N; ++K) {
            for (int n = 0; n <= N; ++n) {
                std::uint64_t numerator = 0;
                for (int x = n; x >= -1; --x) {
                    const double exact = static_cast<double>(numerator) / static_cast<double>(c[N][n]);
                    // `numerator` holds the terms above x, so this is P(X >= x + 1).
                    const double tail = hypergeometricUpperTail({N, K, n}, x + 1);
                    ASSERT_NEAR(tail, exact, 1e-12 * exact + 1e-15)
                        << "N = " << N << ", K = " << K << ", n = " << n << ", x = " << x + 1;
                    if (x >= 0 && x <= K && n - x <= N - K) numerator += c[K][x] * c[N - K][n - x];
                }
            }
        }
    }
}

TEST(HypergeometricUpperTail, EdgesOfTheSupport) {
    const Hypergeometric h{100, 30, 80};  // at least 10 successes among 80 draws
    EXPECT_EQ(hypergeometricUpperTail(h, 10), 1.0) << "the lowest possible count is certain";
    EXPECT_EQ(hypergeometricUpperTail(h, -3), 1.0);
    EXPECT_EQ(hypergeometricUpperTail(h, 31), 0.0) << "more than all successes is impossible";
    EXPECT_GT(hypergeometricUpperTail(h, 30), 0.0);
    EXPECT_EQ(hypergeometricUpperTail({0, 0, 0}, 0), 1.0) << "an empty population";
    EXPECT_EQ(hypergeometricUpperTail({0, 0, 0}, 1), 0.0);
    EXPECT_TRUE(std::isnan(hypergeometricUpperTail({10, 11, 3}, 1))) << "more successes than items";
    EXPECT_TRUE(std::isnan(hypergeometricUpperTail({10, 3, -1}, 1)));
    EXPECT_EQ(hypergeometricLogProbability(h, 9), -INFINITY);
}

// Every term of the tail summed to the end of the support with the library's
// log gamma: slow, but shares nothing with the code under test.
double tailByLibrary(std::int64_t N, std::int64_t K, std::int64_t n, std::int64_t x) {
    const auto logChoose = [](double a, double b) {
        return std::lgamma(a + 1.0) - std::lgamma(b + 1.0) - std::lgamma(a - b + 1.0);
    };
    double sum = 0.0;
    for (std::int64_t y = std::min(K, n); y >= x; --y) {
        sum += std::exp(logChoose(K, y) + logChoose(N - K, n - y) - logChoose(N, n));
    }
    return sum;
}

TEST(HypergeometricUpperTail, LargePopulationsAgreeWithDirectSummationAndSymmetries) {
    struct Case {
        std::int64_t N, K, n;
    };
    for (const Case& c : {Case{20000, 500, 400}, Case{20000, 9000, 12000}, Case{18000, 60, 15000}, Case{5000, 1, 1}}) {
        const Hypergeometric h{c.N, c.K, c.n};
        const Hypergeometric swapped{c.N, c.n, c.K};      // successes and draws trade places
        const Hypergeometric failures{c.N, c.N - c.K, c.n};  // counts the failures among the draws
        const double mean = static_cast<double>(c.K) * static_cast<double>(c.n) / static_cast<double>(c.N);
        const double spread = std::sqrt(mean) + 1.0;
        for (const double offset : {-3.0, -1.0, 0.0, 1.0, 2.0, 5.0, 10.0}) {
            const auto x = static_cast<std::int64_t>(std::floor(mean + offset * spread));
            if (x < 0 || x > std::min(c.K, c.n)) continue;
            const double tail = hypergeometricUpperTail(h, x);
            const double reference = tailByLibrary(c.N, c.K, c.n, x);
            EXPECT_NEAR(tail, reference, 1e-8 * reference) << "N = " << c.N << ", K = " << c.K << ", x = " << x;
            EXPECT_NEAR(hypergeometricUpperTail(swapped, x), tail, 1e-8 * tail);
            // X >= x exactly when the failures are at most n - x.
            const double complement = 1.0 - hypergeometricUpperTail(failures, c.n - x + 1);
            EXPECT_NEAR(complement, tail, 1e-9) << "x = " << x;
        }
    }
}

TEST(HypergeometricUpperTail, KeepsTailsDownToTheSmallestDoubles) {
    // All 120 draws from the 120 successes among 20000: P = 1 / C(20000, 120),
    // about 1e-317, a subnormal double.
    const std::int64_t N = 20000;
    const auto logInverseChoose = [N](std::int64_t n) {
        long double logChoose = 0.0L;
        for (std::int64_t i = 0; i < n; ++i) {
            logChoose += std::log(static_cast<long double>(N - i)) - std::log(static_cast<long double>(n - i));
        }
        return -static_cast<double>(logChoose);
    };
    const double expected = std::exp(logInverseChoose(120));
    ASSERT_GT(expected, 0.0);
    ASSERT_LT(expected, 1e-308);
    const double tail = hypergeometricUpperTail({N, 120, 120}, 120);
    EXPECT_GT(tail, 0.0);
    EXPECT_NEAR(tail, expected, 1e-5 * expected);
    // One draw short of all: the tail is two terms, the smaller one last.
    EXPECT_GT(hypergeometricUpperTail({N, 120, 121}, 120), tail);
    EXPECT_EQ(hypergeometricUpperTail({N, 140, 140}, 140), 0.0) << "about 1e-365: below every double";
    // A normal-range tiny value, checked to full precision.
    const double small = hypergeometricUpperTail({N, 60, 60}, 60);
    EXPECT_NEAR(small, std::exp(logInverseChoose(60)), 1e-9 * small);
}

}  // namespace
}  // namespace orthomix
