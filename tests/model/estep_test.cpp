#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/densities.h"
#include "model/pair_estep.h"

namespace orthomix {
namespace {

using Kind = PairLabels::Kind;

PairTable tableOf(int rows, int cols, const std::vector<double>& cells) {
    PairTable table;
    table.reset(rows, cols);
    table.cells = cells;
    return table;
}

// The outputs of one pair's E-step, filled with values it must overwrite.
struct StepOutput {
    std::vector<double> rowSums, columnSums, joint, posterior;
    PairLabels labels{Kind::Cell, 5, 6};
    StepOutput(int kHm, int kMs)
        : rowSums(static_cast<std::size_t>(kHm), -1.0),
          columnSums(static_cast<std::size_t>(kMs), -1.0),
          joint(static_cast<std::size_t>(kHm * kMs), -1.0),
          posterior(static_cast<std::size_t>(kHm * kMs), -1.0) {}
};

double run(const PairTable& table, const double* f, const double* g, double scatterTerm, StepOutput& out) {
    return pairEStep(table, f, g, scatterTerm, out.rowSums.data(), out.columnSums.data(), out.joint.data(),
                     out.labels, out.posterior.data());
}

void expectCell(const PairLabels& labels, int row, int column, const char* what) {
    EXPECT_EQ(labels.kind, Kind::Cell) << what;
    EXPECT_EQ(labels.row, row) << what;
    EXPECT_EQ(labels.column, column) << what;
}

TEST(ChoosePairLabels, ScatterOnlyWhenLargerOrNotComparable) {
    expectCell(choosePairLabels(0.4, 1, 2, 0.3), 1, 2, "the cell is more probable");
    expectCell(choosePairLabels(0.3, 1, 2, 0.3), 1, 2, "a tie with scatter goes to the cell");
    EXPECT_EQ(choosePairLabels(0.2, 1, 2, 0.3).kind, Kind::Scatter);
    EXPECT_EQ(choosePairLabels(std::nan(""), 1, 2, 0.3).kind, Kind::Scatter) << "NaN best";
    EXPECT_EQ(choosePairLabels(0.5, 0, 0, std::nan("")).kind, Kind::Scatter) << "NaN scatter posterior";
    EXPECT_EQ(choosePairLabels(0.0, -1, -1, 0.0).kind, Kind::Unchanged) << "no weight anywhere";
    EXPECT_EQ(choosePairLabels(0.0, -1, -1, 0.1).kind, Kind::Scatter);
}

TEST(PairEStep, SingleCellAgainstScatter) {
    // Zero variances: every density is 1.0.
    ClusterParameters flat;
    flat.resize(1, 1);
    std::vector<DensityForm> forms;
    prepareDensityForms(flat, forms);
    const double x[] = {3.0};
    const double f[] = {density(x, forms[0], true)};
    const double g[] = {density(x, forms[0], true)};
    ASSERT_EQ(f[0], 1.0);
    StepOutput out(1, 1);
    const double total = run(tableOf(1, 1, {0.9}), f, g, (0.1 * 1.0) * 1.0, out);
    EXPECT_EQ(total, 1.0);
    EXPECT_DOUBLE_EQ(out.posterior[0], 0.9);
    EXPECT_DOUBLE_EQ(out.rowSums[0], 0.9);
    EXPECT_DOUBLE_EQ(out.columnSums[0], 0.9);
    expectCell(out.labels, 0, 0, "0.9 against 0.1");
}

TEST(PairEStep, FullUnderflowLeavesLabelsAndContributesNothing) {
    const PairTable table = tableOf(2, 2, {0.25, 0.25, 0.25, 0.2});
    const double f[] = {0.0, 0.0};
    const double g[] = {0.0, 0.0};
    StepOutput out(2, 2);
    const double total = run(table, f, g, 0.0, out);
    EXPECT_EQ(total, 1.0) << "a total of 0 is replaced by 1, so ln adds 0";
    for (double p : out.posterior) EXPECT_EQ(p, 0.0);
    for (double m : out.rowSums) EXPECT_EQ(m, 0.0);
    for (double m : out.columnSums) EXPECT_EQ(m, 0.0);
    EXPECT_EQ(out.labels.kind, Kind::Unchanged);
}

TEST(PairEStep, FarPairGoesToScatter) {
    const PairTable table = tableOf(2, 3, {0.1, 0.1, 0.1, 0.1, 0.1, 0.4});
    const double f[] = {1e-300, 0.0};
    const double g[] = {1e-300, 1e-300, 0.0};
    StepOutput out(2, 3);
    const double total = run(table, f, g, 0.05, out);
    EXPECT_EQ(total, 0.05) << "the cells underflow against the scatter term";
    EXPECT_EQ(out.labels.kind, Kind::Scatter);
}

TEST(PairEStep, NanDensitySendsThePairToScatter) {
    const PairTable table = tableOf(1, 2, {0.5, 0.4});
    const double f[] = {std::nan("")};
    const double g[] = {1.0, 1.0};
    StepOutput out(1, 2);
    EXPECT_TRUE(std::isnan(run(table, f, g, 0.1, out)));
    EXPECT_EQ(out.labels.kind, Kind::Scatter);
}

TEST(PairEStep, TiesGoToTheFirstCellAndACellTyingWithScatterWins) {
    {
        StepOutput out(2, 2);
        const double f[] = {1.0, 1.0};
        const double g[] = {1.0, 1.0};
        run(tableOf(2, 2, {0.1, 0.3, 0.3, 0.1}), f, g, 0.2, out);
        expectCell(out.labels, 0, 1, "cells (0,1) and (1,0) tie: row-major first wins");
    }
    {
        StepOutput out(1, 2);
        const double f[] = {1.0};
        const double g[] = {1.0, 1.0};
        run(tableOf(1, 2, {0.25, 0.25}), f, g, 0.25, out);
        expectCell(out.labels, 0, 0, "best cell equal to the scatter posterior: the cell wins");
    }
}

TEST(PairEStep, PosteriorAndScatterSumToOne) {
    const PairTable table = tableOf(3, 2, {0.05, 0.2, 0.1, 0.15, 0.3, 0.1});
    const double f[] = {0.3, 1.7, 0.01};
    const double g[] = {2.5, 0.4};
    const double scatterTerm = 0.02;
    StepOutput out(3, 2);
    const double total = run(table, f, g, scatterTerm, out);
    double sum = scatterTerm / total;
    double rowSums = 0.0;
    for (double p : out.posterior) sum += p;
    for (double r : out.rowSums) rowSums += r;
    EXPECT_NEAR(sum, 1.0, 1e-15);
    EXPECT_NEAR(rowSums + scatterTerm / total, 1.0, 1e-15);
    // Row sums and column sums are sums of the posterior in row-major order.
    EXPECT_EQ(out.rowSums[1], (0.0 + out.posterior[2]) + out.posterior[3]);
    EXPECT_EQ(out.columnSums[0], ((0.0 + out.posterior[0]) + out.posterior[2]) + out.posterior[4]);
    expectCell(out.labels, 1, 0, "1.7 * 2.5 * 0.1 is the largest joint term");

    // Without the posterior the sums and labels are the same.
    StepOutput bare(3, 2);
    const double bareTotal = pairEStep(table, f, g, scatterTerm, bare.rowSums.data(), bare.columnSums.data(),
                                       bare.joint.data(), bare.labels);
    EXPECT_EQ(bareTotal, total);
    EXPECT_EQ(bare.rowSums, out.rowSums);
    EXPECT_EQ(bare.columnSums, out.columnSums);
    expectCell(bare.labels, 1, 0, "without the posterior");
}

}  // namespace
}  // namespace orthomix
