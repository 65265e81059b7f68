#include "model/pair_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <cstdint>
#include <vector>

namespace orthomix {
namespace {

// Ortholog pairs whose genes carry given labels: every pair has a human and a
// mouse gene of its own.
struct PairFixture {
    PairFixture(int humanCount, int mouseCount) : humanClusters(humanCount), mouseClusters(mouseCount) {}

    // `times` pairs of a human gene labelled h and a mouse gene labelled m; the
    // organism's cluster count as label is scatter.
    void addPairs(int h, int m, int times) {
        for (int t = 0; t < times; ++t) {
            const auto gene = static_cast<std::uint32_t>(pairs.size());
            pairs.push_back({gene, gene});
            humanLabels.push_back(h);
            mouseLabels.push_back(m);
        }
    }

    void addCounts(const std::vector<std::vector<int>>& counts) {
        for (std::size_t i = 0; i < counts.size(); ++i)
            for (std::size_t j = 0; j < counts[i].size(); ++j)
                addPairs(static_cast<int>(i), static_cast<int>(j), counts[i][j]);
    }

    ClusterOrders estimate(std::int32_t pseudoCounts) {
        return estimatePairTable(pairs, humanLabels, mouseLabels, humanClusters, mouseClusters, pseudoCounts, state);
    }

    // The pairs counted per cell before any reordering.
    PairCounts rawCounts() const {
        PairCounts counts;
        counts.reset(humanClusters, mouseClusters);
        for (const OrthologPair& pair : pairs) {
            const std::int32_t h = humanLabels[pair.human];
            const std::int32_t m = mouseLabels[pair.mouse];
            if (h >= 0 && h < humanClusters && m >= 0 && m < mouseClusters) ++counts.at(h, m);
        }
        return counts;
    }

    int humanClusters;
    int mouseClusters;
    std::vector<OrthologPair> pairs;
    std::vector<std::int32_t> humanLabels;
    std::vector<std::int32_t> mouseLabels;
    PairTableState state;
};

double tableTotal(const PairTableState& state) {
    double total = state.table.scatterProbability;
    for (double cell : state.table.cells) total += cell;
    return total;
}

// The counted table is the raw one with row p taken from cluster orders.human[p]
// and column q from orders.mouse[q].
void expectReordered(const PairFixture& f, const ClusterOrders& orders) {
    const PairCounts raw = f.rawCounts();
    ASSERT_EQ(orders.human.size(), static_cast<std::size_t>(f.humanClusters));
    ASSERT_EQ(orders.mouse.size(), static_cast<std::size_t>(f.mouseClusters));
    for (int p = 0; p < f.humanClusters; ++p)
        for (int q = 0; q < f.mouseClusters; ++q)
            EXPECT_EQ(f.state.pairCounts.at(p, q), raw.at(orders.human[p], orders.mouse[q]))
                << "cell " << p << "," << q;
}

double logistic(double eta) { return 1.0 / (1.0 + std::exp(-eta)); }
double logit(double p) { return std::log(p / (1.0 - p)); }

TEST(EstimatePairTable, GreedyDiagonalisationReportsTheNewClusterOrder) {
    PairFixture f(2, 2);
    f.addCounts({{1, 7}, {3, 2}});
    const ClusterOrders orders = f.estimate(0);

    // Step 0 takes the 7 at (0, 1) and swaps the mouse clusters; step 1 keeps (1, 1).
    EXPECT_EQ(orders.human, (std::vector<int>{0, 1}));
    EXPECT_EQ(orders.mouse, (std::vector<int>{1, 0}));
    EXPECT_EQ(f.state.pairCounts.cells, (std::vector<std::int32_t>{7, 1, 2, 3})) << "counts before pseudo counts";
    expectReordered(f, orders);
    // Without pseudo counts or scatter, the cells are the counts plus 5 over their total.
    EXPECT_EQ(f.state.table.scatterProbability, 0.0);
    EXPECT_DOUBLE_EQ(f.state.table.at(0, 0), 12.0 / 33.0);
    EXPECT_DOUBLE_EQ(f.state.table.at(1, 0), 7.0 / 33.0);
    EXPECT_EQ(f.state.scatterPairs, 0u);

    // Both rows and columns move: the 9 at (2, 1) goes to (0, 0), then the 4 at (2, 2) to (1, 1).
    PairFixture g(3, 3);
    g.addCounts({{0, 0, 1}, {0, 0, 0}, {2, 9, 4}});
    const ClusterOrders orders3 = g.estimate(0);
    // After step 0 the rows are (2, 1, 0) and the columns (1, 0, 2): [[9,2,4],[0,0,0],[0,0,1]];
    // step 1 searches rows and columns from 1 on, finds the 1 at (2, 2) and
    // swaps rows 1 and 2 and columns 1 and 2.
    EXPECT_EQ(g.state.pairCounts.cells, (std::vector<std::int32_t>{9, 4, 2, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(orders3.human, (std::vector<int>{2, 0, 1}));
    EXPECT_EQ(orders3.mouse, (std::vector<int>{1, 2, 0}));
    expectReordered(g, orders3);
    EXPECT_EQ(g.humanLabels[0], 0) << "the labels are the caller's to remap";
}

TEST(EstimatePairTable, TiesGoToTheFirstCellInRowMajorOrder) {
    PairFixture f(2, 2);
    f.addCounts({{2, 3}, {3, 1}});
    const ClusterOrders orders = f.estimate(0);
    // (0, 1) precedes (1, 0): the mouse clusters swap, the human ones stay.
    EXPECT_EQ(f.state.pairCounts.cells, (std::vector<std::int32_t>{3, 2, 1, 3}));
    EXPECT_EQ(orders.human, (std::vector<int>{0, 1}));
    EXPECT_EQ(orders.mouse, (std::vector<int>{1, 0}));
}

TEST(EstimatePairTable, NonSquareTablesReorderOnlyTheDiagonalSteps) {
    // Two steps for a 2x3 table; the third mouse cluster goes where the swaps leave it.
    PairFixture f(2, 3);
    f.addCounts({{0, 1, 6}, {5, 0, 2}});
    const ClusterOrders orders = f.estimate(0);
    EXPECT_EQ(orders.human, (std::vector<int>{0, 1}));
    EXPECT_EQ(orders.mouse, (std::vector<int>{2, 0, 1}));
    expectReordered(f, orders);
}

TEST(EstimatePairTable, ScatterPairsAndPseudoCounts) {
    // 1000 pairs, 40 of them scatter, pseudo count 10: s = 50 / 10000 = 1/200.
    PairFixture f(2, 3);
    f.addCounts({{500, 100, 60}, {100, 150, 50}});
    f.addPairs(2, 0, 25);  // scatter human gene
    f.addPairs(1, 3, 10);  // scatter mouse gene
    f.addPairs(2, 3, 5);   // both scatter
    ASSERT_EQ(f.pairs.size(), 1000u);
    f.estimate(10);
    EXPECT_DOUBLE_EQ(f.state.table.scatterProbability, 1.0 / 201.0);
    EXPECT_EQ(f.state.scatterPairs, 40u);
    const double total = 960.0 + 6 * 5.0;
    EXPECT_DOUBLE_EQ(f.state.table.at(0, 0), 505.0 / total * 200.0 / 201.0);
    EXPECT_DOUBLE_EQ(f.state.table.at(1, 2), 55.0 / total * 200.0 / 201.0);
    EXPECT_NEAR(tableTotal(f.state), 1.0, 1e-15);

    // All pairs scatter: every cell holds 5, s = (pseudo + nPairs) / (10 nPairs).
    PairFixture all(2, 2);
    all.addPairs(2, 0, 30);
    all.estimate(6);
    const double s = 36.0 / 300.0;
    EXPECT_DOUBLE_EQ(all.state.table.scatterProbability, s / (s + 1.0));
    for (double cell : all.state.table.cells) EXPECT_DOUBLE_EQ(cell, 0.25 / (s + 1.0));

    // No pseudo count and no scatter: the scatter share stays 0 through the smoothing.
    PairFixture none(3, 3);
    none.addCounts({{5, 1, 0}, {0, 4, 2}, {1, 0, 3}});
    none.estimate(0);
    EXPECT_EQ(none.state.table.scatterProbability, 0.0);
    ASSERT_TRUE(smoothPairTable(none.state).ok());
    EXPECT_EQ(none.state.table.scatterProbability, 0.0);
    EXPECT_NEAR(tableTotal(none.state), 1.0, 1e-15);
}

TEST(EstimatePairTable, APseudoCountAtThe32BitLimitAddsToTheScatterPairsWithoutWrapping) {
    PairFixture f(2, 2);
    f.addCounts({{400, 260}, {150, 150}});
    f.addPairs(2, 0, 40);
    ASSERT_EQ(f.pairs.size(), 1000u);
    f.estimate(2147483647);
    const double s = (2147483647.0 + 40.0) / 10000.0;
    EXPECT_DOUBLE_EQ(f.state.table.scatterProbability, s / (s + 1.0)) << "a positive share, not a wrapped one";
    EXPECT_GT(f.state.table.at(0, 0), 0.0);
    EXPECT_NEAR(tableTotal(f.state), 1.0, 1e-15);

    f.estimate(-2147483647 - 1);
    const double negative = (-2147483648.0 + 40.0) / 10000.0;
    EXPECT_DOUBLE_EQ(f.state.table.scatterProbability, negative / (negative + 1.0)) << "the lowest pseudo count";
}

TEST(EstimatePairTable, LabelsOutsideTheTableCountAsScatter) {
    // A gene without a cluster (-1) or with a label past the scatter label must
    // not index outside the table.
    PairFixture f(2, 2);
    f.addPairs(0, 1, 3);
    f.addPairs(-1, 1, 1);
    f.addPairs(0, 7, 1);
    f.estimate(0);
    EXPECT_EQ(f.state.scatterPairs, 2u);
    EXPECT_EQ(f.state.pairCounts.cells, (std::vector<std::int32_t>{3, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(f.state.table.scatterProbability, (2.0 / 50.0) / (2.0 / 50.0 + 1.0));
}

TEST(EstimatePairTable, ARepeatedEstimateStartsAfresh) {
    PairFixture f(3, 2);
    f.addCounts({{4, 1}, {0, 6}, {2, 2}});
    f.addPairs(3, 0, 2);
    f.estimate(1);
    const PairTableState first = f.state;
    f.estimate(1);
    EXPECT_EQ(f.state.pairCounts.cells, first.pairCounts.cells) << "counts must not accumulate";
    EXPECT_EQ(f.state.table.cells, first.table.cells);
    EXPECT_EQ(f.state.table.scatterProbability, first.table.scatterProbability);
    EXPECT_EQ(f.state.scatterPairs, 2u);
}

TEST(SmoothPairTable, TablesOfOneRowOrColumnStayUnchanged) {
    for (const auto& [rows, cols] : {std::pair{1, 3}, std::pair{3, 1}}) {
        PairTableState state;
        state.table.reset(rows, cols);
        state.table.cells = {0.2, 0.3, 0.4};
        state.table.scatterProbability = 0.1;
        state.diagonalCoefficient = 42.0;
        ASSERT_TRUE(smoothPairTable(state).ok());
        EXPECT_EQ(state.table.cells, (std::vector<double>{0.2, 0.3, 0.4})) << rows << "x" << cols;
        EXPECT_EQ(state.table.scatterProbability, 0.1);
        EXPECT_EQ(state.diagonalCoefficient, 42.0) << "the diagonal effect is not touched";
    }
}

TEST(SmoothPairTable, TwoByTwoFitIsExactUnlessTheDiagonalIsClamped) {
    // Diagonal-heavy: four coefficients reproduce the four logits.
    PairFixture f(2, 2);
    f.addCounts({{40, 3}, {6, 20}});
    f.addPairs(2, 2, 11);
    f.estimate(4);
    const std::vector<double> counted = f.state.table.cells;
    const double scatter = f.state.table.scatterProbability;
    ASSERT_TRUE(smoothPairTable(f.state).ok());
    for (std::size_t p = 0; p < counted.size(); ++p)
        EXPECT_NEAR(f.state.table.cells[p], counted[p], 1e-14) << "cell " << p;
    EXPECT_NEAR(f.state.table.scatterProbability, scatter, 1e-15);
    const double expectedDiagonal = (logit(counted[0]) + logit(counted[3]) - logit(counted[1]) - logit(counted[2])) / 2;
    EXPECT_NEAR(f.state.diagonalCoefficient, expectedDiagonal, 1e-12);

    // Off-diagonal-heavy: the diagonal effect fits below 0 and is clamped; the
    // other coefficients keep their exact-fit values.
    PairTableState state;
    state.table.reset(2, 2);
    state.table.cells = {0.25, 0.3, 0.3, 0.1};
    state.table.scatterProbability = 0.05;
    const double l00 = logit(0.25), l01 = logit(0.3), l10 = logit(0.3), l11 = logit(0.1);
    const double fittedDiagonal = (l00 + l11 - l01 - l10) / 2;
    ASSERT_LT(fittedDiagonal, 0.0);
    const double intercept = l11 - fittedDiagonal;
    std::vector<double> expected = {logistic(l01 + l10 - intercept), logistic(l01), logistic(l10),
                                    logistic(intercept)};
    double total = 0.05;
    for (double q : expected) total += q;
    ASSERT_TRUE(smoothPairTable(state).ok());
    EXPECT_EQ(state.diagonalCoefficient, 0.0);
    for (std::size_t p = 0; p < expected.size(); ++p)
        EXPECT_NEAR(state.table.cells[p], expected[p] / total, 1e-13) << "cell " << p;
    EXPECT_NEAR(state.table.scatterProbability, 0.05 / total, 1e-15);
}

TEST(SmoothPairTable, RecoversAPlantedLogLinearTable) {
    // A 3x4 table drawn from the model itself, whose cells and scatter sum to
    // 1, is a fixed point of the smoothing.
    const std::vector<double> rowEffect = {0.4, -0.3, 0.0};
    const std::vector<double> colEffect = {-0.2, 0.5, 0.1, 0.0};
    const double intercept = -3.0;
    const double diagonal = 0.8;
    PairTableState state;
    state.table.reset(3, 4);
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) {
            state.table.at(i, j) = logistic(intercept + rowEffect[i] + colEffect[j] + (i == j ? diagonal : 0.0));
            sum += state.table.at(i, j);
        }
    ASSERT_LT(sum, 1.0);
    state.table.scatterProbability = 1.0 - sum;
    const std::vector<double> planted = state.table.cells;
    ASSERT_TRUE(smoothPairTable(state).ok());
    EXPECT_NEAR(state.diagonalCoefficient, diagonal, 1e-12);
    for (std::size_t p = 0; p < planted.size(); ++p)
        EXPECT_NEAR(state.table.cells[p], planted[p], 1e-14) << "cell " << p;
    EXPECT_NEAR(tableTotal(state), 1.0, 1e-15);
}

TEST(SmoothPairTable, RepeatedFitsSumToOneAndReuseTheWorkspace) {
    PairFixture f(5, 4);
    f.addCounts({{30, 2, 0, 1}, {4, 25, 3, 0}, {0, 1, 0, 12}, {7, 0, 18, 2}, {1, 1, 1, 1}});
    f.addPairs(5, 1, 6);
    f.estimate(3);
    ASSERT_TRUE(smoothPairTable(f.state).ok());
    EXPECT_NEAR(tableTotal(f.state), 1.0, 1e-15);
    for (double cell : f.state.table.cells) EXPECT_GT(cell, 0.0);
    const std::vector<double> firstFit = f.state.table.cells;
    const double* designStorage = f.state.workspace.u[0];
    const double* coefficientStorage = f.state.workspace.coefficients.data();
    f.estimate(3);
    ASSERT_TRUE(smoothPairTable(f.state).ok());
    EXPECT_EQ(f.state.table.cells, firstFit) << "the same counts must give the same fit, bit for bit";
    EXPECT_EQ(f.state.workspace.u[0], designStorage) << "a fit of the same size reallocated the design matrix";
    EXPECT_EQ(f.state.workspace.coefficients.data(), coefficientStorage);
}

// A table of random probabilities with a heavier diagonal, as the counted tables have.
PairTableState randomTable(std::mt19937_64& random, int rows, int cols) {
    std::uniform_real_distribution<double> offDiagonal(1e-4, 0.02), onDiagonal(0.01, 0.2);
    PairTableState state;
    state.table.reset(rows, cols);
    double sum = 0.0;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) sum += state.table.at(i, j) = i == j ? onDiagonal(random) : offDiagonal(random);
    state.table.scatterProbability = 0.05;
    for (double& cell : state.table.cells) cell *= 0.95 / sum;
    return state;
}

double largestMagnitude(const std::vector<double>& values) {
    double largest = 0.0;
    for (const double v : values) largest = std::max(largest, std::fabs(v));
    return largest;
}

TEST(SmoothPairTable, TheStructuredFitAgreesWithTheDecompositionOnRandomTables) {
    std::mt19937_64 random(99);
    const std::pair<int, int> shapes[] = {{2, 2}, {2, 7}, {5, 5}, {9, 4}, {12, 17}, {20, 20}, {50, 50}, {61, 37}, {100, 100}};
    for (const auto& [rows, cols] : shapes) {
        PairTableState decomposed = randomTable(random, rows, cols);
        PairTableState structured = decomposed;
        ASSERT_TRUE(smoothPairTable(decomposed, PairTableFit::Decomposition).ok());
        ASSERT_TRUE(smoothPairTable(structured, PairTableFit::Structured).ok());
        const std::vector<double>& a = decomposed.workspace.coefficients;
        const std::vector<double>& b = structured.workspace.coefficients;
        ASSERT_EQ(a.size(), b.size());
        const double scale = largestMagnitude(a);
        for (std::size_t c = 0; c < a.size(); ++c) {
            EXPECT_LE(std::fabs(a[c] - b[c]), 1e-10 * scale) << rows << "x" << cols << ", coefficient " << c;
        }
        for (std::size_t p = 0; p < decomposed.table.cells.size(); ++p) {
            const double cell = decomposed.table.cells[p];
            EXPECT_LE(std::fabs(structured.table.cells[p] - cell), 1e-10 * cell) << rows << "x" << cols << ", cell " << p;
        }
        EXPECT_NEAR(structured.table.scatterProbability, decomposed.table.scatterProbability,
                    1e-10 * decomposed.table.scatterProbability);
        EXPECT_EQ(structured.diagonalCoefficient, std::max(0.0, b.back())) << "the clamp applies to both fits";
    }
}

TEST(SmoothPairTable, TheStructuredFitRecoversPlantedEffectsAndClampsANegativeDiagonal) {
    // Logits built from known effects are reproduced exactly, a negative
    // diagonal effect included (before the clamp).
    for (const double diagonal : {1.3, -0.7}) {
        const int rows = 4, cols = 6;
        const std::vector<double> rowEffect = {0.5, -0.25, 1.0, 0.0};
        const std::vector<double> colEffect = {0.2, -0.4, 0.3, 0.7, -0.1, 0.0};
        std::vector<double> y;
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) y.push_back(-4.0 + rowEffect[i] + colEffect[j] + (i == j ? diagonal : 0.0));
        std::vector<double> a;
        fitPairTableStructured(y, rows, cols, a);
        ASSERT_EQ(a.size(), 10u);
        EXPECT_NEAR(a[0], -4.0, 1e-13);
        for (int i = 0; i + 1 < rows; ++i) EXPECT_NEAR(a[1 + i], rowEffect[i], 1e-13) << "row " << i;
        for (int j = 0; j + 1 < cols; ++j) EXPECT_NEAR(a[rows + j], colEffect[j], 1e-13) << "column " << j;
        EXPECT_NEAR(a[9], diagonal, 1e-13);
    }
}

TEST(PairTableBasis, IndicatorsOfRowColumnAndDiagonal) {
    std::vector<double> values(6, -1.0);
    pairTableBasis(4.0, values, 3, 3);  // cell (1, 1)
    EXPECT_EQ(values, (std::vector<double>{1, 0, 1, 0, 1, 1}));
    pairTableBasis(8.0, values, 3, 3);  // cell (2, 2): both reference levels, still diagonal
    EXPECT_EQ(values, (std::vector<double>{1, 0, 0, 0, 0, 1}));

    std::vector<double> wide(5, -1.0);
    pairTableBasis(1.0, wide, 2, 3);  // cell (0, 1)
    EXPECT_EQ(wide, (std::vector<double>{1, 1, 0, 1, 0}));
    pairTableBasis(3.0, wide, 2, 3);  // cell (1, 0)
    EXPECT_EQ(wide, (std::vector<double>{1, 0, 1, 0, 0}));
}

}  // namespace
}  // namespace orthomix
