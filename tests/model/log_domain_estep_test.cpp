#include "model/log_domain_estep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace orthomix {
namespace {

struct Pair {
    GeneRecord human;
    GeneRecord mouse;
    std::vector<double> margins;
    OrthologPairRecord record;
    Pair(std::vector<double> h, std::vector<double> m, int kHm, int kMs)
        : human(std::move(h), "h"), mouse(std::move(m), "m"), margins(static_cast<std::size_t>(kHm + kMs)) {
        record = {&human, &mouse, margins.data(), margins.data() + kHm};
    }
};

std::vector<ClusterParameters> randomClusters(std::mt19937_64& random, int k, int columns) {
    std::uniform_real_distribution<double> meanDraw(-2.0, 2.0), varianceDraw(0.2, 3.0);
    std::vector<ClusterParameters> params(static_cast<std::size_t>(k));
    for (ClusterParameters& p : params) {
        for (int i = 0; i < columns; ++i) {
            p.mean.push_back(meanDraw(random));
            p.variance.push_back(i == 1 ? 0.0 : varianceDraw(random));  // one ignored column
        }
    }
    return params;
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

TEST(LogDomainEStep, LogDensitiesAgreeWithTheGaussianDensity) {
    std::mt19937_64 random(11);
    const auto params = randomClusters(random, 5, 7);
    LogDensityForms forms;
    prepareLogDensityForms(params, forms);
    const std::vector<double> x = {0.3, 9.0, -1.1, 0.0, 2.2, -0.5, 1.7};
    std::vector<double> logs(5);
    logDensities(x.data(), forms, logs.data());
    for (int c = 0; c < 5; ++c) {
        EXPECT_NEAR(logs[c], std::log(gaussianDensity(x, params[c].mean, params[c].variance)), 1e-12) << c;
    }
}

TEST(LogDomainEStep, AgreesWithTheExactStepWhereNothingUnderflows) {
    std::mt19937_64 random(5);
    const int kHm = 4, kMs = 3;
    const auto humanParams = randomClusters(random, kHm, 6);
    const auto mouseParams = randomClusters(random, kMs, 5);
    PairTable table;
    table.reset(kHm, kMs);
    for (double& cell : table.cells) cell = std::uniform_real_distribution<double>(0.01, 0.1)(random);
    std::vector<double> logTable;
    for (double cell : table.cells) logTable.push_back(std::log(cell));
    LogDensityForms humanForms, mouseForms;
    prepareLogDensityForms(humanParams, humanForms);
    prepareLogDensityForms(mouseParams, mouseForms);
    const double s = 0.02, uh = 0.3, um = 0.4;

    std::normal_distribution<double> value(0.0, 1.5);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<double> h(6), m(5);
        for (double& v : h) v = value(random);
        for (double& v : m) v = value(random);
        Pair exact(h, m, kHm, kMs), fast(h, m, kHm, kMs);
        std::vector<double> exactPosterior(kHm * kMs), fastPosterior(kHm * kMs), scratch(kHm * kMs);
        const double total =
            pairEStep(table, exact.record, kHm, kMs, humanParams, mouseParams, s, uh, um, exactPosterior.data());
        std::vector<double> f(kHm), g(kMs);
        logDensities(h.data(), humanForms, f.data());
        logDensities(m.data(), mouseForms, g.data());
        const double logTotal = pairLogEStep(logTable.data(), kHm, kMs, f.data(), g.data(), std::log((s * uh) * um),
                                             fast.record, scratch.data(), fastPosterior.data());
        ASSERT_GT(total, 0.0);
        EXPECT_NEAR(logTotal, std::log(total), 1e-12);
        for (int c = 0; c < kHm * kMs; ++c) EXPECT_NEAR(fastPosterior[c], exactPosterior[c], 1e-12);
        for (int c = 0; c < kHm + kMs; ++c) EXPECT_NEAR(fast.margins[c], exact.margins[c], 1e-12);
        EXPECT_EQ(fast.human.clusterIndex, exact.human.clusterIndex);
        EXPECT_EQ(fast.mouse.clusterIndex, exact.mouse.clusterIndex);
    }
}

TEST(LogDomainEStep, FarPairKeepsItsTrueLogDensityAndTiesFollowTheExactRules) {
    // Every density underflows in the linear domain; the log domain still ranks the cells.
    const double logTable[] = {std::log(0.5), std::log(0.5)};
    const double f[] = {-2000.0};
    const double g[] = {-1500.0, -1490.0};
    Pair pair({0.0}, {0.0}, 1, 2);
    std::vector<double> scratch(2);
    const double logTotal = pairLogEStep(logTable, 1, 2, f, g, -std::numeric_limits<double>::infinity(),
                                         pair.record, scratch.data());
    EXPECT_NEAR(logTotal, -2000.0 + std::log(0.5) + -1490.0 + std::log1p(std::exp(-10.0)), 1e-9);
    EXPECT_EQ(pair.human.clusterIndex, 0);
    EXPECT_EQ(pair.mouse.clusterIndex, 1);

    // All terms zero: labels stay, the pair adds ln 1.
    const double minusInf = -std::numeric_limits<double>::infinity();
    const double noTable[] = {minusInf, minusInf};
    pair.human.clusterIndex = 5;
    EXPECT_EQ(pairLogEStep(noTable, 1, 2, f, g, minusInf, pair.record, scratch.data()), 0.0);
    EXPECT_EQ(pair.human.clusterIndex, 5);
    EXPECT_EQ(pair.margins[0], 0.0);

    // A cell tying with scatter wins; two tying cells: the first.
    const double even[] = {std::log(0.25), std::log(0.25)};
    const double zero[] = {0.0};
    const double zeros[] = {0.0, 0.0};
    pairLogEStep(even, 1, 2, zero, zeros, std::log(0.25), pair.record, scratch.data());
    EXPECT_EQ(pair.human.clusterIndex, 0);
    EXPECT_EQ(pair.mouse.clusterIndex, 0);
}

}  // namespace
}  // namespace orthomix
