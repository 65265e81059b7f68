#include <gtest/gtest.h>

#include <vector>

#include "model/pair_estep.h"

namespace orthomix {
namespace {

// A pair record with its own margin storage.
struct PairFixture {
    GeneRecord human{{0.0}, "h"};
    GeneRecord mouse{{0.0}, "m"};
    std::vector<double> margins;
    OrthologPairRecord record;

    PairFixture(int kHm, int kMs, int startIndexHuman = 7, int startIndexMouse = 8)
        : margins(static_cast<std::size_t>(kHm + kMs), -1.0) {
        human.clusterIndex = startIndexHuman;
        mouse.clusterIndex = startIndexMouse;
        record.humanGene = &human;
        record.mouseGene = &mouse;
        record.posteriorRowSums = margins.data();
        record.posteriorColumnSums = margins.data() + kHm;
    }
};

PairTable tableOf(int rows, int cols, const std::vector<double>& cells) {
    PairTable table;
    table.reset(rows, cols);
    table.cells = cells;
    return table;
}

TEST(PairEStep, SingleCellAgainstScatter) {
    PairFixture pair(1, 1);
    const PairTable table = tableOf(1, 1, {0.9});
    const std::vector<ClusterParameters> flat = {{{0.0}, {0.0}}};  // zero variance: density 1.0
    std::vector<double> posterior(1);
    const double total = pairEStep(table, pair.record, 1, 1, flat, flat, 0.1, 1.0, 1.0, posterior.data());
    EXPECT_EQ(total, 1.0);
    EXPECT_DOUBLE_EQ(posterior[0], 0.9);
    EXPECT_DOUBLE_EQ(pair.record.posteriorRowSums[0], 0.9);
    EXPECT_DOUBLE_EQ(pair.record.posteriorColumnSums[0], 0.9);
    EXPECT_EQ(pair.human.clusterIndex, 0);
    EXPECT_EQ(pair.mouse.clusterIndex, 0);
}

TEST(PairEStep, FullUnderflowKeepsLabelsAndContributesNothing) {
    PairFixture pair(2, 2, 1, 0);
    const PairTable table = tableOf(2, 2, {0.25, 0.25, 0.25, 0.2});
    const double f[] = {0.0, 0.0};
    const double g[] = {0.0, 0.0};
    std::vector<double> joint(4), posterior(4, -1.0);
    const double total = pairEStep(table, f, g, 0.0, pair.record, joint.data(), posterior.data());
    EXPECT_EQ(total, 1.0) << "a total of 0 is replaced by 1, so ln adds 0";
    for (double p : posterior) EXPECT_EQ(p, 0.0);
    for (double m : pair.margins) EXPECT_EQ(m, 0.0);
    EXPECT_EQ(pair.human.clusterIndex, 1);
    EXPECT_EQ(pair.mouse.clusterIndex, 0);
}

TEST(PairEStep, FarPairGoesToScatterInBothOrganisms) {
    PairFixture pair(2, 3);
    const PairTable table = tableOf(2, 3, {0.1, 0.1, 0.1, 0.1, 0.1, 0.4});
    const double f[] = {1e-300, 0.0};
    const double g[] = {1e-300, 1e-300, 0.0};
    std::vector<double> joint(6);
    const double total = pairEStep(table, f, g, 0.05, pair.record, joint.data());
    EXPECT_GT(total, 0.0);
    EXPECT_EQ(pair.human.clusterIndex, 2) << "human scatter index is k_hm";
    EXPECT_EQ(pair.mouse.clusterIndex, 3) << "mouse scatter index is k_ms";
}

TEST(PairEStep, TiesGoToTheFirstCellAndACellTyingWithScatterWins) {
    {
        PairFixture pair(2, 2);
        const PairTable table = tableOf(2, 2, {0.1, 0.3, 0.3, 0.1});
        const double f[] = {1.0, 1.0};
        const double g[] = {1.0, 1.0};
        std::vector<double> joint(4);
        pairEStep(table, f, g, 0.2, pair.record, joint.data());
        EXPECT_EQ(pair.human.clusterIndex, 0) << "cells (0,1) and (1,0) tie: row-major first wins";
        EXPECT_EQ(pair.mouse.clusterIndex, 1);
    }
    {
        PairFixture pair(1, 2);
        const PairTable table = tableOf(1, 2, {0.25, 0.25});
        const double f[] = {1.0};
        const double g[] = {1.0, 1.0};
        std::vector<double> joint(2);
        pairEStep(table, f, g, 0.25, pair.record, joint.data());
        EXPECT_EQ(pair.human.clusterIndex, 0) << "best cell equal to the scatter posterior: the cell wins";
        EXPECT_EQ(pair.mouse.clusterIndex, 0);
    }
}

TEST(PairEStep, PosteriorAndScatterSumToOne) {
    PairFixture pair(3, 2);
    const PairTable table = tableOf(3, 2, {0.05, 0.2, 0.1, 0.15, 0.3, 0.1});
    const double f[] = {0.3, 1.7, 0.01};
    const double g[] = {2.5, 0.4};
    const double scatterTerm = 0.02;
    std::vector<double> joint(6), posterior(6);
    const double total = pairEStep(table, f, g, scatterTerm, pair.record, joint.data(), posterior.data());
    double sum = scatterTerm / total;
    double rowSums = 0.0;
    for (double p : posterior) sum += p;
    for (int i = 0; i < 3; ++i) rowSums += pair.record.posteriorRowSums[i];
    EXPECT_NEAR(sum, 1.0, 1e-15);
    EXPECT_NEAR(rowSums + scatterTerm / total, 1.0, 1e-15);
    // Row sums and column sums are sums of the posterior in row-major order.
    EXPECT_EQ(pair.record.posteriorRowSums[1], (0.0 + posterior[2]) + posterior[3]);
    EXPECT_EQ(pair.record.posteriorColumnSums[0], ((0.0 + posterior[0]) + posterior[2]) + posterior[4]);
}

}  // namespace
}  // namespace orthomix
