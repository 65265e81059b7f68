#include "model/log_domain_estep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "model/densities.h"

namespace orthomix {
namespace {

using Kind = PairLabels::Kind;

ClusterParameters randomClusters(std::mt19937_64& random, int k, int columns) {
    std::uniform_real_distribution<double> meanDraw(-2.0, 2.0), varianceDraw(0.2, 3.0);
    ClusterParameters parameters;
    parameters.resize(static_cast<std::size_t>(k), static_cast<std::size_t>(columns));
    for (int c = 0; c < k; ++c) {
        for (int i = 0; i < columns; ++i) {
            parameters.means[c * columns + i] = meanDraw(random);
            parameters.variances[c * columns + i] = i == 1 ? 0.0 : varianceDraw(random);  // one ignored column
        }
    }
    return parameters;
}

// The outputs of one pair's E-step, filled with values it must overwrite.
struct StepOutput {
    std::vector<double> rowSums, columnSums, posterior;
    PairLogScratch scratch;
    PairLabels labels{Kind::Cell, 5, 6};
    StepOutput(int kHm, int kMs)
        : rowSums(static_cast<std::size_t>(kHm), -1.0),
          columnSums(static_cast<std::size_t>(kMs), -1.0),
          posterior(static_cast<std::size_t>(kHm * kMs), -1.0) {}
};

PairTable tableOf(int kHm, int kMs, std::vector<double> cells) {
    PairTable table;
    table.reset(kHm, kMs);
    table.cells = std::move(cells);
    return table;
}

double runLog(const PairTable& table, const double* f, const double* g, double scatterTerm, StepOutput& out) {
    out.scratch.prepare(table);
    return pairLogEStep(table, f, g, ScatterTerm::of(scatterTerm), out.rowSums.data(), out.columnSums.data(),
                        out.scratch, out.labels, out.posterior.data());
}

// Log densities of a single gene through the matrix product.
std::vector<double> logDensitiesOf(const std::vector<double>& x, const ClusterParameters& parameters) {
    ExpressionMatrix gene(0, x.size());
    gene.appendRow(x.data());
    GeneFeatures features;
    features.build(gene, {0});
    LogDensityForms forms;
    prepareLogDensityForms(parameters, features, forms);
    std::vector<double> out(forms.clusterCount);
    logDensities(features, 0, 1, forms, out.data());
    return out;
}

TEST(LogDomainEStep, ExpMatchesTheLibraryToAFewUnitsInTheLastPlace) {
    for (double x = -707.5; x <= 0.0; x += 0.37) {
        EXPECT_NEAR(expNonPositive(x), std::exp(x), 4e-16 * std::exp(x)) << x;
    }
    EXPECT_EQ(expNonPositive(0.0), 1.0);
    EXPECT_EQ(expNonPositive(-1000.0), 0.0);
    EXPECT_EQ(expNonPositive(-std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_TRUE(std::isnan(expNonPositive(std::nan(""))));
}

TEST(LogDomainEStep, LogDensitiesAgreeWithTheDensity) {
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

TEST(LogDomainEStep, BothKernelsGiveTheSameLogDensitiesWhateverTheBlockOfGenes) {
    // Cluster counts around whole vectors and register blocks; gene counts
    // around the kernel's groups of four; one cluster with tiny variances,
    // which is evaluated without the expansion.
    std::mt19937_64 random(23);
    std::normal_distribution<double> value(0.0, 2.0);
    for (const int k : {1, 3, 4, 5, 12, 13, 20, 50}) {
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
            std::vector<double> best(cells), portable(cells), pieces(cells, -1.0);
            logDensities(features, 0, geneCount, forms, best.data(), LogDensityKernel::Best);
            logDensities(features, 0, geneCount, forms, portable.data(), LogDensityKernel::Portable);
            // The same genes in blocks of 1, 2 and the rest: every density bit for bit.
            const std::size_t first = std::min<std::size_t>(1, geneCount), second = std::min<std::size_t>(3, geneCount);
            logDensities(features, 0, first, forms, pieces.data());
            logDensities(features, first, second, forms, pieces.data() + first * k);
            logDensities(features, second, geneCount, forms, pieces.data() + second * k);
            const std::string context = "k = " + std::to_string(k) + ", " + std::to_string(geneCount) + " genes";
            EXPECT_EQ(pieces, best) << context;
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

TEST(LogDomainEStep, AgreesWithTheExactStepWhereNothingUnderflows) {
    std::mt19937_64 random(5);
    const int kHm = 4, kMs = 3;
    const ClusterParameters humanParameters = randomClusters(random, kHm, 6);
    const ClusterParameters mouseParameters = randomClusters(random, kMs, 5);
    PairTable table;
    table.reset(kHm, kMs);
    for (double& cell : table.cells) cell = std::uniform_real_distribution<double>(0.01, 0.1)(random);
    std::vector<DensityForm> humanForms, mouseForms;
    prepareDensityForms(humanParameters, humanForms);
    prepareDensityForms(mouseParameters, mouseForms);
    // Scatter terms over several orders of magnitude, so that some pairs go to scatter and some do not.
    std::uniform_real_distribution<double> logScatterDensity(std::log(1e-8), std::log(1e-3));
    const double s = 0.02;

    std::normal_distribution<double> value(0.0, 1.5);
    int scatterPairs = 0;
    for (int trial = 0; trial < 200; ++trial) {
        const double uh = std::exp(logScatterDensity(random));
        const double um = std::exp(logScatterDensity(random));
        std::vector<double> h(6), m(5);
        for (double& v : h) v = value(random);
        for (double& v : m) v = value(random);
        std::vector<double> f(kHm), g(kMs);
        for (int c = 0; c < kHm; ++c) f[c] = density(h.data(), humanForms[c], true);
        for (int c = 0; c < kMs; ++c) g[c] = density(m.data(), mouseForms[c], true);
        const std::vector<double> logF = logDensitiesOf(h, humanParameters);
        const std::vector<double> logG = logDensitiesOf(m, mouseParameters);

        StepOutput exact(kHm, kMs), fast(kHm, kMs);
        std::vector<double> joint(kHm * kMs);
        const double total = pairEStep(table, f.data(), g.data(), (s * uh) * um, exact.rowSums.data(),
                                       exact.columnSums.data(), joint.data(), exact.labels, exact.posterior.data());
        const double logTotal = runLog(table, logF.data(), logG.data(), (s * uh) * um, fast);
        ASSERT_GT(total, 0.0);
        EXPECT_NEAR(logTotal, std::log(total), 1e-12) << "trial " << trial;
        for (int c = 0; c < kHm * kMs; ++c) EXPECT_NEAR(fast.posterior[c], exact.posterior[c], 1e-12);
        for (int c = 0; c < kHm; ++c) EXPECT_NEAR(fast.rowSums[c], exact.rowSums[c], 1e-12);
        for (int c = 0; c < kMs; ++c) EXPECT_NEAR(fast.columnSums[c], exact.columnSums[c], 1e-12);
        EXPECT_EQ(fast.labels.kind, exact.labels.kind) << "trial " << trial;
        EXPECT_EQ(fast.labels.row, exact.labels.row) << "trial " << trial;
        EXPECT_EQ(fast.labels.column, exact.labels.column) << "trial " << trial;
        if (exact.labels.kind == Kind::Scatter) ++scatterPairs;
    }
    EXPECT_GT(scatterPairs, 0) << "the trials should include pairs that go to scatter";
    EXPECT_LT(scatterPairs, 200) << "and pairs that do not";
}

TEST(LogDomainEStep, FarPairKeepsItsTrueLogDensityAndTiesFollowTheExactRules) {
    // Every density underflows in the linear domain; the log domain still ranks the cells.
    const PairTable halves = tableOf(1, 2, {0.5, 0.5});
    const double f[] = {-2000.0};
    const double g[] = {-1500.0, -1490.0};
    StepOutput far(1, 2);
    const double logTotal = runLog(halves, f, g, 0.0, far);
    EXPECT_NEAR(logTotal, -2000.0 + std::log(0.5) + -1490.0 + std::log1p(std::exp(-10.0)), 1e-9);
    EXPECT_EQ(far.labels.kind, Kind::Cell);
    EXPECT_EQ(far.labels.row, 0);
    EXPECT_EQ(far.labels.column, 1);
    EXPECT_NEAR(far.columnSums[1], 1.0 / (1.0 + std::exp(-10.0)), 1e-15);

    // All terms zero: labels stay, no weight anywhere, the pair adds ln 1.
    const PairTable noTable = tableOf(1, 2, {0.0, 0.0});
    StepOutput none(1, 2);
    EXPECT_EQ(runLog(noTable, f, g, 0.0, none), 0.0);
    EXPECT_EQ(none.labels.kind, Kind::Unchanged);
    EXPECT_EQ(none.rowSums, (std::vector<double>{0.0}));
    EXPECT_EQ(none.columnSums, (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(none.posterior, (std::vector<double>{0.0, 0.0}));

    // A cell tying with scatter wins; two tying cells: the first.
    const PairTable even = tableOf(1, 2, {0.25, 0.25});
    const double zero[] = {0.0};
    const double zeros[] = {0.0, 0.0};
    StepOutput tie(1, 2);
    runLog(even, zero, zeros, 0.25, tie);
    EXPECT_EQ(tie.labels.kind, Kind::Cell);
    EXPECT_EQ(tie.labels.row, 0);
    EXPECT_EQ(tie.labels.column, 0);

    // The scatter term dominating sends the pair to scatter.
    StepOutput scatter(1, 2);
    runLog(even, zero, zeros, 0.9, scatter);
    EXPECT_EQ(scatter.labels.kind, Kind::Scatter);
}

TEST(LogDomainEStep, NanLogDensitySendsThePairToScatterAsInTheExactStep) {
    const PairTable table = tableOf(1, 2, {0.5, 0.4});
    const double f[] = {std::nan("")};
    const double g[] = {0.0, 0.0};
    StepOutput out(1, 2);
    runLog(table, f, g, 0.1, out);
    EXPECT_EQ(out.labels.kind, Kind::Scatter);
}

}  // namespace
}  // namespace orthomix
