// The log densities of the fast mode: agreement with the exact density, and
// both kernels and any block of genes giving the same values.
#include "model/log_densities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "model/densities.h"
#include "model/log_domain_test_data.h"

namespace orthomix {
namespace {

using testing::logDensitiesOf;
using testing::randomClusters;

TEST(LogDensities, LogDensitiesAgreeWithTheDensity) {
    std::mt19937_64 random(11);
    const ClusterParameters parameters = randomClusters(random, 5, 7);
    std::vector<DensityForm> forms;
    prepareDensityForms(parameters, forms);
    const std::vector<double> x = {0.3, 9.0, -1.1, 0.0, 2.2, -0.5, 1.7};
    const std::vector<double> logs = logDensitiesOf(x, parameters);
    for (int c = 0; c < 5; ++c) {
        EXPECT_NEAR(logs[c], std::log(density(x.data(), forms[c], true)), 1e-12) << "cluster " << c;
    }
}

TEST(LogDensities, EveryKernelGivesTheSameLogDensitiesWhateverTheBlockOfGenes) {
    // Cluster counts around whole vectors of four and of eight and around
    // register blocks, a last vector half full among them; gene counts
    // around the kernel's groups of four; one cluster with tiny variances,
    // which is evaluated without the expansion.
    std::mt19937_64 random(23);
    std::normal_distribution<double> value(0.0, 2.0);
    for (const int k : {1, 3, 4, 5, 12, 13, 20, 40, 50}) {
        for (const std::size_t geneCount : {1u, 3u, 4u, 7u, 10u, 33u}) {
            constexpr int kColumns = 9;
            ClusterParameters parameters = randomClusters(random, k, kColumns);
            for (int i = 0; i < kColumns; ++i) parameters.variances[i] = i == 1 ? 0.0 : 1e-9;
            ExpressionMatrix expression(0, kColumns);
            std::vector<std::uint32_t> genes;
            for (std::size_t g = 0; g < geneCount; ++g) {
                std::vector<double> x(kColumns);
                for (double& v : x) v = value(random);
                expression.appendRow(x.data());
                genes.push_back(static_cast<std::uint32_t>(g));
            }
            GeneFeatures features;
            features.build(expression, genes);
            LogDensityForms forms;
            prepareLogDensityForms(parameters, features, forms);
            ASSERT_FALSE(forms.squaredClusters.empty()) << "cluster 0 should be evaluated without the expansion";
            const std::size_t cells = geneCount * static_cast<std::size_t>(k);
            std::vector<double> best(cells), fourLanes(cells), portable(cells), pieces(cells, -1.0);
            logDensities(features, 0, geneCount, forms, best.data(), VectorKernel::Best);
            logDensities(features, 0, geneCount, forms, fourLanes.data(), VectorKernel::FourLanes);
            logDensities(features, 0, geneCount, forms, portable.data(), VectorKernel::Portable);
            // The same genes in blocks of 1, 2 and the rest: every density bit for bit.
            const std::size_t first = std::min<std::size_t>(1, geneCount), second = std::min<std::size_t>(3, geneCount);
            logDensities(features, 0, first, forms, pieces.data());
            logDensities(features, first, second, forms, pieces.data() + first * k);
            logDensities(features, second, geneCount, forms, pieces.data() + second * k);
            const std::string context = "k = " + std::to_string(k) + ", " + std::to_string(geneCount) + " genes";
            EXPECT_EQ(pieces, best) << context;
            // Eight lanes or four: the same sums in the same order.
            EXPECT_EQ(fourLanes, best) << context;
            for (std::size_t cell = 0; cell < cells; ++cell) {
                ASSERT_TRUE(std::isfinite(best[cell])) << context;
                EXPECT_NEAR(best[cell], portable[cell], 1e-12 * std::max(1.0, std::fabs(portable[cell])))
                    << context << ", cell " << cell;
            }
            // The cluster with tiny variances: as it stands, in both kernels.
            for (std::size_t g = 0; g < geneCount; ++g) EXPECT_EQ(best[g * k], portable[g * k]) << context;
        }
    }
}

}  // namespace
}  // namespace orthomix
