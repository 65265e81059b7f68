#include "model/densities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "model/pair_estep.h"

namespace orthomix {
namespace {

TEST(GaussianDensity, UsesTheToolsConstantAndSkipsZeroVariances) {
    const double atMean = gaussianDensity({0.0}, {0.0}, {1.0});
    EXPECT_EQ(atMean, 1.0 / std::sqrt(6.2831852));
    EXPECT_GT(atMean, 1.0 / std::sqrt(2.0 * M_PI)) << "the constant is slightly below 2 pi";
    EXPECT_EQ(gaussianDensity({1.0}, {0.0}, {1.0}), std::exp(-0.5) / std::sqrt(6.2831852));
    // At the mean: the product of the normalising constants of the non-zero variances.
    EXPECT_DOUBLE_EQ(gaussianDensity({1.0, 2.0, 3.0}, {1.0, 2.0, 3.0}, {2.0, 0.0, 0.5}),
                     1.0 / std::sqrt(6.2831852 * 2.0) / std::sqrt(6.2831852 * 0.5));
    EXPECT_EQ(gaussianDensity({5.0, -7.0}, {0.0, 0.0}, {0.0, 0.0}), 1.0) << "all variances zero";
    EXPECT_EQ(gaussianDensity({1e6}, {0.0}, {1.0}), 0.0) << "far from the mean the density underflows";
}

TEST(GaussianDensity, PreparedFormGivesTheSameBits) {
    const std::vector<ClusterParameters> params = {{{0.3, -1.2, 4.0, 0.0}, {0.7, 0.0, 2.5, 1e-3}}};
    std::vector<ClusterDensityForm> forms;
    prepareDensityForms(params, forms);
    for (const std::vector<double>& x :
         {std::vector<double>{0.1, 5.0, 3.3, 0.02}, std::vector<double>{-2.0, 0.0, 9.0, -0.01}}) {
        EXPECT_EQ(preparedDensity(x.data(), forms[0]), gaussianDensity(x, params[0].mean, params[0].variance));
    }
}

TEST(GaussianDensityDeathTest, MeanAndVarianceOfDifferentLengthIsFatalWithoutWaitingForInput) {
    EXPECT_EXIT(gaussianDensity({1.0}, {1.0, 2.0}, {1.0}), ::testing::ExitedWithCode(1),
                " a vector's mean and var must have same length");
}

TEST(EuclideanDistance, BasicValues) {
    EXPECT_EQ(euclideanDistance({}, {}), 0.0);
    EXPECT_EQ(euclideanDistance({1.5, -2.0}, {1.5, -2.0}), 0.0);
    EXPECT_EQ(euclideanDistance({0.0, 0.0}, {3.0, 4.0}), 5.0);
}

TEST(ScatterDensities, SquareRootOfTheInverseBoxVolume) {
    GeneRecord a({0.0, 2.0}, "a");
    GeneRecord b({2.0, 0.0}, "b");
    GeneRecord c({1.0, 1.0}, "c");
    const std::vector<GeneRecord*> human = {&a, &b, &c};
    GeneRecord far1({-3e7, 5e7}, "far1");
    GeneRecord far2({3e7, 1e7}, "far2");
    const std::vector<GeneRecord*> mouse = {&far1, &far2};
    const auto [uHuman, uMouse] = scatterDensities(human, mouse);
    EXPECT_EQ(uHuman, 0.5) << "values over [0, 2] in two columns";
    // Values beyond +-1e7 still give the true bounds.
    EXPECT_DOUBLE_EQ(uMouse, std::sqrt(1.0 / 6e7 / 4e7));
}

TEST(ScatterDensities, ConstantColumnsAreLeftOut) {
    GeneRecord a({5.0, 0.0}, "a");
    GeneRecord b({5.0, 4.0}, "b");
    EXPECT_EQ(scatterDensity({&a, &b}), 0.5) << "only the second column spans a width";
    GeneRecord single({1.0, 2.0}, "single");
    EXPECT_EQ(scatterDensity({&single}), 1.0) << "a single gene: every column constant, no infinity";
    EXPECT_TRUE(std::isfinite(scatterDensity({&single})));
}

}  // namespace
}  // namespace orthomix
