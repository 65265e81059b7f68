// The E-step of one pair in the log domain: its exp, agreement with the exact
// step, pairs far beyond the range of numbers, ties and NaN.
#include "model/log_pair_estep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "model/densities.h"
#include "model/log_domain_test_data.h"

namespace orthomix {
namespace {

using Kind = PairLabels::Kind;
using testing::logDensitiesOf;
using testing::randomClusters;

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

TEST(LogDomainEStep, ExpMatchesTheLibraryToAFewUnitsInTheLastPlace) {
    for (double x = -707.5; x <= 0.0; x += 0.37) {
        EXPECT_NEAR(expNonPositive(x), std::exp(x), 4e-16 * std::exp(x)) << x;
    }
    EXPECT_EQ(expNonPositive(0.0), 1.0);
    EXPECT_EQ(expNonPositive(-1000.0), 0.0);
    EXPECT_EQ(expNonPositive(-std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_TRUE(std::isnan(expNonPositive(std::nan(""))));
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

TEST(LogDomainEStep, RowAndColumnSumsAddUpTheCellsForEveryTableWidth) {
    // Widths on both sides of the groups of four columns and of the blocks
    // of columns the sums are taken in; some human clusters with a log
    // density of minus infinity, whose share and row sum are 0.
    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> cellDraw(0.0, 1.0), logDensityDraw(-30.0, 0.0);
    const double minusInfinity = -std::numeric_limits<double>::infinity();
    for (const int kMs : {1, 3, 4, 5, 8, 23, 24, 25, 28, 49, 50, 53}) {
        const int kHm = 7;
        std::vector<double> cells(static_cast<std::size_t>(kHm * kMs));
        for (double& cell : cells) cell = cellDraw(random) < 0.3 ? 0.0 : cellDraw(random) / (kHm * kMs);
        const PairTable table = tableOf(kHm, kMs, cells);
        std::vector<double> f(kHm), g(kMs);
        for (int c = 0; c < kHm; ++c) f[c] = c % 3 == 1 ? minusInfinity : logDensityDraw(random);
        for (double& value : g) value = logDensityDraw(random);
        StepOutput out(kHm, kMs);
        runLog(table, f.data(), g.data(), 1e-9, out);
        for (int i = 0; i < kHm; ++i) {
            double cellSum = 0.0;
            for (int j = 0; j < kMs; ++j) cellSum += out.posterior[static_cast<std::size_t>(i * kMs + j)];
            if (f[i] == minusInfinity) {
                EXPECT_EQ(out.rowSums[static_cast<std::size_t>(i)], 0.0) << "k_ms " << kMs << ", row " << i;
            } else {
                EXPECT_NEAR(out.rowSums[static_cast<std::size_t>(i)], cellSum, 1e-13 + 1e-12 * cellSum)
                    << "k_ms " << kMs << ", row " << i;
            }
        }
        for (int j = 0; j < kMs; ++j) {
            double cellSum = 0.0;
            for (int i = 0; i < kHm; ++i) cellSum += out.posterior[static_cast<std::size_t>(i * kMs + j)];
            EXPECT_NEAR(out.columnSums[static_cast<std::size_t>(j)], cellSum, 1e-13 + 1e-12 * cellSum)
                << "k_ms " << kMs << ", column " << j;
        }
    }
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

TEST(LogDomainEStep, SharesFarBelowTheNearestKeepTheirWeightBesideNearOnesInAnyOrder) {
    // Log densities near the largest, far below it (beyond exp's range on
    // their own, still within a double's once raised) and beyond any share,
    // in every position of the fours the shares are taken in.
    const std::vector<double> near = {0.0, -5.0, -1.0, -30.0};
    const std::vector<double> far = {-701.5, -706.0, -703.0, -704.5};
    const double beyond = -1200.0;
    for (int rotation = 0; rotation < 9; ++rotation) {
        std::vector<double> logDensities;
        for (std::size_t i = 0; i < 4; ++i) {
            logDensities.push_back(near[i]);
            logDensities.push_back(far[i]);
        }
        logDensities.push_back(beyond);
        std::rotate(logDensities.begin(), logDensities.begin() + rotation, logDensities.end());
        const int k = static_cast<int>(logDensities.size());
        const PairTable column = tableOf(k, 1, std::vector<double>(logDensities.size(), 1.0 / k));
        const double mouse[] = {-3.0};
        StepOutput out(k, 1);
        runLog(column, logDensities.data(), mouse, 0.0, out);
        double total = 0.0;
        for (const double value : logDensities) total += std::exp(value);
        for (int i = 0; i < k; ++i) {
            const double value = logDensities[static_cast<std::size_t>(i)];
            if (value == beyond) {
                EXPECT_EQ(out.rowSums[static_cast<std::size_t>(i)], 0.0) << "rotation " << rotation;
            } else {
                // exp(value) / total, with exp(value) written as a product where it would underflow.
                const double expected = value < -700.0 ? std::exp(value + 400.0) / total * std::exp(-400.0)
                                                       : std::exp(value) / total;
                EXPECT_NEAR(out.rowSums[static_cast<std::size_t>(i)] / expected, 1.0, 1e-12)
                    << "log density " << value << ", rotation " << rotation;
            }
        }
    }
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
