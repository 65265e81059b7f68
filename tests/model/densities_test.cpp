#include "model/densities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <limits>
#include <vector>

#include "model/cluster_parameters.h"
#include "model_test_data.h"

namespace orthomix {
namespace {

using testing::matrixOf;

ClusterParameters parametersOf(const std::vector<std::vector<double>>& means,
                               const std::vector<std::vector<double>>& variances) {
    ClusterParameters parameters;
    parameters.resize(means.size(), means.front().size());
    for (std::size_t c = 0; c < means.size(); ++c) {
        for (std::size_t i = 0; i < parameters.columns; ++i) {
            parameters.means[c * parameters.columns + i] = means[c][i];
            parameters.variances[c * parameters.columns + i] = variances[c][i];
        }
    }
    return parameters;
}

// The density of x under a single Gaussian, through a freshly prepared form.
double densityOf(const std::vector<double>& x, const std::vector<double>& mean, const std::vector<double>& variance,
                 bool xFinite = true) {
    const ClusterParameters parameters = parametersOf({mean}, {variance});
    std::vector<DensityForm> forms;
    prepareDensityForms(parameters, forms);
    return density(x.data(), forms[0], xFinite);
}

TEST(Density, UsesTheToolsConstantAndSkipsZeroVariances) {
    const double atMean = densityOf({0.0}, {0.0}, {1.0});
    EXPECT_EQ(atMean, 1.0 / std::sqrt(6.2831852));
    EXPECT_GT(atMean, 1.0 / std::sqrt(2.0 * M_PI)) << "the constant is slightly below 2 pi";
    EXPECT_EQ(densityOf({1.0}, {0.0}, {1.0}), std::exp(-0.5) / std::sqrt(6.2831852));
    // At the mean: the product of the normalising constants of the non-zero variances.
    EXPECT_DOUBLE_EQ(densityOf({1.0, 2.0, 3.0}, {1.0, 2.0, 3.0}, {2.0, 0.0, 0.5}),
                     1.0 / std::sqrt(6.2831852 * 2.0) / std::sqrt(6.2831852 * 0.5));
    EXPECT_EQ(densityOf({5.0, -7.0}, {0.0, 0.0}, {0.0, 0.0}), 1.0) << "all variances zero";
    EXPECT_EQ(densityOf({1e6}, {0.0}, {1.0}), 0.0) << "far from the mean the density underflows";
}

TEST(Density, ColumnByColumnProductToTheLastBit) {
    // The product of the factors in increasing column order, as the E-step's
    // results depend on it bit for bit; the early stop must not change a value.
    const std::vector<double> mean = {0.3, -1.2, 4.0, 0.0, 2.0};
    const std::vector<double> variance = {0.7, 0.0, 2.5, 1e-3, 0.3};
    const ClusterParameters parameters = parametersOf({mean}, {variance});
    std::vector<DensityForm> forms;
    prepareDensityForms(parameters, forms);
    EXPECT_EQ(forms[0].activeColumns, (std::vector<std::size_t>{0, 2, 3, 4}));
    EXPECT_TRUE(forms[0].finite);
    for (const std::vector<double>& x : {std::vector<double>{0.1, 5.0, 3.3, 0.02, 1.9},
                                         std::vector<double>{-2.0, 0.0, 9.0, -0.01, 2.5},
                                         std::vector<double>{0.3, 1.0, 4.0, 0.05, 2.0},
                                         std::vector<double>{40.0, 0.0, 4.0, 0.0, 2.0}}) {
        double expected = 1.0;
        for (std::size_t i = 0; i < mean.size(); ++i) {
            if (variance[i] == 0.0) continue;
            const double d = x[i] - mean[i];
            expected *= std::exp((d * d) / (-2.0 * variance[i])) / std::sqrt(6.2831852 * variance[i]);
        }
        EXPECT_EQ(density(x.data(), forms[0], true), expected) << "x[0] = " << x[0];
        EXPECT_EQ(density(x.data(), forms[0], false), expected) << "x[0] = " << x[0];
    }
}

TEST(Density, NanIsNotHiddenByAnEarlyZero) {
    // The first factor underflows to 0; a NaN later on must still come through
    // unless the caller vouched that every value is finite.
    EXPECT_TRUE(std::isnan(densityOf({1e6, std::nan("")}, {0.0, 0.0}, {1.0, 1.0}, false)));
    EXPECT_EQ(densityOf({1e6, 2.0}, {0.0, 0.0}, {1.0, 1.0}, true), 0.0);

    // Parameters that are not finite disable the early stop whatever x is.
    const ClusterParameters bad =
        parametersOf({{0.0, std::nan("")}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}},
                     {{1.0, 1.0}, {1.0, std::numeric_limits<double>::infinity()}, {1.0, -1.0}, {1.0, 0.0}});
    std::vector<DensityForm> forms;
    prepareDensityForms(bad, forms);
    EXPECT_FALSE(forms[0].finite) << "NaN mean";
    EXPECT_FALSE(forms[1].finite) << "infinite variance";
    EXPECT_FALSE(forms[2].finite) << "negative variance";
    EXPECT_TRUE(forms[3].finite) << "a zero variance only drops its column";
    const double far[] = {1e6, 0.0};
    EXPECT_TRUE(std::isnan(density(far, forms[0], true)));
    EXPECT_TRUE(std::isnan(density(far, forms[2], true))) << "sqrt of a negative variance";
}

TEST(Density, ReusedFormsMatchFreshOnes) {
    // Forms prepared for three clusters with all columns active, then reused
    // for two clusters with zero variances, must not keep stale columns.
    const ClusterParameters wide = parametersOf({{1.0, 2.0, 3.0}, {0.0, 0.0, 0.0}, {5.0, 5.0, 5.0}},
                                                {{1.0, 1.0, 1.0}, {2.0, 2.0, 2.0}, {3.0, 3.0, 3.0}});
    const ClusterParameters narrow =
        parametersOf({{1.0, 2.0, 3.0}, {0.5, 0.5, 0.5}}, {{0.0, 1.5, 0.0}, {std::nan(""), 0.0, 0.25}});
    std::vector<DensityForm> reused, fresh;
    prepareDensityForms(wide, reused);
    prepareDensityForms(narrow, reused);
    prepareDensityForms(narrow, fresh);
    ASSERT_EQ(reused.size(), 2u);
    const double x[] = {0.7, 1.1, 0.4};
    for (std::size_t c = 0; c < 2; ++c) {
        EXPECT_EQ(reused[c].activeColumns, fresh[c].activeColumns) << "cluster " << c;
        EXPECT_EQ(reused[c].finite, fresh[c].finite) << "cluster " << c;
        EXPECT_EQ(reused[c].mean, narrow.mean(c)) << "forms point at the parameters' means";
    }
    EXPECT_EQ(density(x, reused[0], true), density(x, fresh[0], true));
    const double d = 1.1 - 2.0;  // the one active column of cluster 0
    EXPECT_EQ(density(x, reused[0], true), std::exp((d * d) / -3.0) / std::sqrt(6.2831852 * 1.5));
    EXPECT_TRUE(std::isnan(density(x, reused[1], true)));
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Density, AllClustersSideBySideGiveTheOneByOneBits) {
    // Tight and wide clusters, zero variances, products that underflow to 0
    // early and products that overflow, then values that are not finite.
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> meanDraw(-3.0, 3.0), logVariance(std::log(1e-4), std::log(20.0));
    const std::size_t k = 9, d = 40;
    ClusterParameters parameters;
    parameters.resize(k, d);
    for (std::size_t c = 0; c < k; ++c) {
        for (std::size_t i = 0; i < d; ++i) {
            parameters.means[c * d + i] = meanDraw(random);
            parameters.variances[c * d + i] = (i + c) % 7 == 0 ? 0.0 : std::exp(logVariance(random));
        }
    }
    for (std::size_t i = 0; i < d; ++i) {
        // Cluster 6 so tight that its product overflows at its mean.
        if (parameters.variances[6 * d + i] != 0.0) parameters.variances[6 * d + i] = 1e-22;
    }
    parameters.variances[2 * d + 5] = std::numeric_limits<double>::infinity();  // cluster 2 not finite
    parameters.means[4 * d + 1] = std::nan("");                                // cluster 4 not finite
    std::vector<DensityForm> forms;
    prepareDensityForms(parameters, forms);
    ClusterDensityForms sideBySide;
    prepareClusterDensityForms(parameters, sideBySide);
    DensityScratch scratch;

    std::vector<std::vector<double>> genes;
    for (int g = 0; g < 40; ++g) {
        std::vector<double> x(d);
        const std::size_t near = static_cast<std::size_t>(g) % k;
        const double noise = near == 6 ? 0.0 : 0.01;
        for (std::size_t i = 0; i < d; ++i) x[i] = parameters.means[near * d + i] + noise * meanDraw(random);
        genes.push_back(x);
    }
    genes[3][7] = std::numeric_limits<double>::infinity();
    genes[5][0] = std::nan("");
    int zeros = 0, overflows = 0;
    for (std::size_t g = 0; g < genes.size(); ++g) {
        const bool xFinite = g != 3 && g != 5;
        std::vector<double> out(k, -1.0);
        densitiesOfGene(genes[g].data(), xFinite, sideBySide, out.data(), scratch);
        for (std::size_t c = 0; c < k; ++c) {
            const double expected = density(genes[g].data(), forms[c], xFinite);
            EXPECT_TRUE(sameBits(out[c], expected)) << "gene " << g << ", cluster " << c << ": " << out[c] << " vs "
                                                    << expected;
            zeros += expected == 0.0 ? 1 : 0;
            overflows += std::isinf(expected) ? 1 : 0;
        }
    }
    EXPECT_GT(zeros, 0) << "the case needs densities that underflow";
    EXPECT_GT(overflows, 0) << "and densities that overflow";
}

TEST(ScatterDensity, SquareRootOfTheInverseBoxVolume) {
    EXPECT_EQ(scatterDensity(matrixOf({{0.0, 2.0}, {2.0, 0.0}, {1.0, 1.0}})), 0.5)
        << "values over [0, 2] in two columns";
    // Values beyond +-1e7 still give the true bounds.
    EXPECT_DOUBLE_EQ(scatterDensity(matrixOf({{-3e7, 5e7}, {3e7, 1e7}})), std::sqrt(1.0 / 6e7 / 4e7));
}

TEST(ScatterDensity, ConstantColumnsAreLeftOut) {
    EXPECT_EQ(scatterDensity(matrixOf({{5.0, 0.0}, {5.0, 4.0}})), 0.5) << "only the second column spans a width";
    EXPECT_EQ(scatterDensity(matrixOf({{1.0, 2.0}})), 1.0) << "a single gene: every column constant, no infinity";
    EXPECT_EQ(scatterDensity(matrixOf({}, 3)), 1.0) << "no genes at all";
}

}  // namespace
}  // namespace orthomix
