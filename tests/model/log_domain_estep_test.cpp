#include "model/log_domain_estep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "model/densities.h"

namespace orthomix {
namespace {

using Kind = PairLabels::Kind;
constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

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
    std::vector<double> rowSums, columnSums, scratch, posterior;
    PairLabels labels{Kind::Cell, 5, 6};
    StepOutput(int kHm, int kMs)
        : rowSums(static_cast<std::size_t>(kHm), -1.0),
          columnSums(static_cast<std::size_t>(kMs), -1.0),
          scratch(static_cast<std::size_t>(kHm * kMs), -1.0),
          posterior(static_cast<std::size_t>(kHm * kMs), -1.0) {}
};

double runLog(const double* logTable, int kHm, int kMs, const double* f, const double* g, double logScatterTerm,
              StepOutput& out) {
    return pairLogEStep(logTable, kHm, kMs, f, g, logScatterTerm, out.rowSums.data(), out.columnSums.data(),
                        out.scratch.data(), out.labels, out.posterior.data());
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
    LogDensityForms logForms;
    prepareLogDensityForms(parameters, logForms);
    std::vector<DensityForm> forms;
    prepareDensityForms(parameters, forms);
    const std::vector<double> x = {0.3, 9.0, -1.1, 0.0, 2.2, -0.5, 1.7};
    std::vector<double> logs(5);
    logDensities(x.data(), logForms, logs.data());
    for (int c = 0; c < 5; ++c) {
        EXPECT_NEAR(logs[c], std::log(density(x.data(), forms[c], true)), 1e-12) << "cluster " << c;
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
    std::vector<double> logTable;
    for (double cell : table.cells) logTable.push_back(std::log(cell));
    std::vector<DensityForm> humanForms, mouseForms;
    prepareDensityForms(humanParameters, humanForms);
    prepareDensityForms(mouseParameters, mouseForms);
    LogDensityForms humanLogForms, mouseLogForms;
    prepareLogDensityForms(humanParameters, humanLogForms);
    prepareLogDensityForms(mouseParameters, mouseLogForms);
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
        std::vector<double> f(kHm), g(kMs), logF(kHm), logG(kMs);
        for (int c = 0; c < kHm; ++c) f[c] = density(h.data(), humanForms[c], true);
        for (int c = 0; c < kMs; ++c) g[c] = density(m.data(), mouseForms[c], true);
        logDensities(h.data(), humanLogForms, logF.data());
        logDensities(m.data(), mouseLogForms, logG.data());

        StepOutput exact(kHm, kMs), fast(kHm, kMs);
        std::vector<double> joint(kHm * kMs);
        const double total = pairEStep(table, f.data(), g.data(), (s * uh) * um, exact.rowSums.data(),
                                       exact.columnSums.data(), joint.data(), exact.labels, exact.posterior.data());
        const double logTotal = runLog(logTable.data(), kHm, kMs, logF.data(), logG.data(), std::log((s * uh) * um),
                                       fast);
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
    const double logTable[] = {std::log(0.5), std::log(0.5)};
    const double f[] = {-2000.0};
    const double g[] = {-1500.0, -1490.0};
    StepOutput far(1, 2);
    const double logTotal = runLog(logTable, 1, 2, f, g, kMinusInfinity, far);
    EXPECT_NEAR(logTotal, -2000.0 + std::log(0.5) + -1490.0 + std::log1p(std::exp(-10.0)), 1e-9);
    EXPECT_EQ(far.labels.kind, Kind::Cell);
    EXPECT_EQ(far.labels.row, 0);
    EXPECT_EQ(far.labels.column, 1);
    EXPECT_NEAR(far.columnSums[1], 1.0 / (1.0 + std::exp(-10.0)), 1e-15);

    // All terms zero: labels stay, no weight anywhere, the pair adds ln 1.
    const double noTable[] = {kMinusInfinity, kMinusInfinity};
    StepOutput none(1, 2);
    EXPECT_EQ(runLog(noTable, 1, 2, f, g, kMinusInfinity, none), 0.0);
    EXPECT_EQ(none.labels.kind, Kind::Unchanged);
    EXPECT_EQ(none.rowSums, (std::vector<double>{0.0}));
    EXPECT_EQ(none.columnSums, (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(none.posterior, (std::vector<double>{0.0, 0.0}));

    // A cell tying with scatter wins; two tying cells: the first.
    const double even[] = {std::log(0.25), std::log(0.25)};
    const double zero[] = {0.0};
    const double zeros[] = {0.0, 0.0};
    StepOutput tie(1, 2);
    runLog(even, 1, 2, zero, zeros, std::log(0.25), tie);
    EXPECT_EQ(tie.labels.kind, Kind::Cell);
    EXPECT_EQ(tie.labels.row, 0);
    EXPECT_EQ(tie.labels.column, 0);

    // The scatter term dominating sends the pair to scatter.
    StepOutput scatter(1, 2);
    runLog(even, 1, 2, zero, zeros, std::log(0.9), scatter);
    EXPECT_EQ(scatter.labels.kind, Kind::Scatter);
}

TEST(LogDomainEStep, NanLogDensitySendsThePairToScatterAsInTheExactStep) {
    const double logTable[] = {std::log(0.5), std::log(0.4)};
    const double f[] = {std::nan("")};
    const double g[] = {0.0, 0.0};
    StepOutput out(1, 2);
    runLog(logTable, 1, 2, f, g, std::log(0.1), out);
    EXPECT_EQ(out.labels.kind, Kind::Scatter);
}

}  // namespace
}  // namespace orthomix
