#include "model/pair_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace orthomix {
namespace {

// Clusters of both organisms and ortholog pairs between genes placed in them.
struct PairFixture {
    PairFixture(int humanCount, int mouseCount) {
        for (int i = 0; i < humanCount; ++i) {
            humanStore.push_back(std::make_unique<GeneCluster>(i, 1));
            humanClusters.push_back(humanStore.back().get());
        }
        for (int j = 0; j < mouseCount; ++j) {
            mouseStore.push_back(std::make_unique<GeneCluster>(j, 1));
            mouseClusters.push_back(mouseStore.back().get());
        }
    }

    GeneRecord* makeGene(const std::string& name, int clusterIndex, std::vector<GeneCluster*>& clusters) {
        genes.push_back(std::make_unique<GeneRecord>(std::vector<double>{0.0}, name));
        GeneRecord* gene = genes.back().get();
        gene->clusterIndex = clusterIndex;
        if (clusterIndex >= 0 && clusterIndex < static_cast<int>(clusters.size()))
            clusters[clusterIndex]->appendMember(gene);
        return gene;
    }

    // `times` pairs of a new human gene in cluster h and a new mouse gene in
    // cluster m; the organism's cluster count as index means scatter.
    void addPairs(int h, int m, int times) {
        for (int t = 0; t < times; ++t) {
            const std::string id = std::to_string(pairs.size());
            pairs.push_back({makeGene("h" + id, h, humanClusters), makeGene("m" + id, m, mouseClusters)});
        }
    }

    void addCounts(const std::vector<std::vector<int>>& counts) {
        for (std::size_t i = 0; i < counts.size(); ++i)
            for (std::size_t j = 0; j < counts[i].size(); ++j)
                addPairs(static_cast<int>(i), static_cast<int>(j), counts[i][j]);
    }

    void estimate(std::int32_t pseudoCounts) {
        estimatePairTable(humanClusters, mouseClusters, pairs, pseudoCounts, state);
    }

    GeneStore genes;
    ClusterStore humanStore;
    ClusterStore mouseStore;
    std::vector<GeneCluster*> humanClusters;
    std::vector<GeneCluster*> mouseClusters;
    std::vector<GenePair> pairs;
    PairTableState state;
};

double tableTotal(const PairTableState& state) {
    double total = state.scatterProbability;
    for (double cell : state.pairTable.cells) total += cell;
    return total;
}

void expectClusterOrder(const std::vector<GeneCluster*>& clusters, const std::vector<GeneCluster*>& expected,
                        const char* organism) {
    ASSERT_EQ(clusters.size(), expected.size());
    for (std::size_t p = 0; p < clusters.size(); ++p) {
        EXPECT_EQ(clusters[p], expected[p]) << organism << " cluster at position " << p;
        EXPECT_EQ(clusters[p]->index, static_cast<int>(p)) << organism << " cluster index at position " << p;
        for (const GeneRecord* member : clusters[p]->members)
            EXPECT_EQ(member->clusterIndex, static_cast<int>(p)) << organism << " member " << member->name;
    }
}

double logistic(double eta) { return 1.0 / (1.0 + std::exp(-eta)); }
double logit(double p) { return std::log(p / (1.0 - p)); }

TEST(EstimatePairTable, GreedyDiagonalisationMovesClustersAndMembers) {
    PairFixture f(2, 2);
    f.addCounts({{1, 7}, {3, 2}});
    const std::vector<GeneCluster*> human = f.humanClusters;
    const std::vector<GeneCluster*> mouse = f.mouseClusters;
    f.estimate(0);

    // Step 0 takes the 7 at (0, 1) and swaps the mouse clusters; step 1 keeps (1, 1).
    EXPECT_EQ(f.state.pairCounts.cells, (std::vector<std::int32_t>{7 + 5, 1 + 5, 2 + 5, 3 + 5}));
    expectClusterOrder(f.humanClusters, human, "human");
    expectClusterOrder(f.mouseClusters, {mouse[1], mouse[0]}, "mouse");
    // Without pseudo counts or scatter, the cells are the counts over their total.
    EXPECT_EQ(f.state.scatterProbability, 0.0);
    EXPECT_DOUBLE_EQ(f.state.pairTable.at(0, 0), 12.0 / 33.0);
    EXPECT_DOUBLE_EQ(f.state.pairTable.at(1, 0), 7.0 / 33.0);
    EXPECT_TRUE(f.state.scatterPairs.empty());

    // Both rows and columns move: the 9 at (2, 1) goes to (0, 0), then the 4 at (2, 2) to (1, 1).
    PairFixture g(3, 3);
    g.addCounts({{0, 0, 1}, {0, 0, 0}, {2, 9, 4}});
    const std::vector<GeneCluster*> human3 = g.humanClusters;
    const std::vector<GeneCluster*> mouse3 = g.mouseClusters;
    g.estimate(0);
    // After step 0 the rows are (2, 1, 0) and the columns (1, 0, 2): [[9,2,4],[0,0,0],[0,0,1]];
    // step 1 finds the 1 at (2, 2) and swaps rows 1 and 2 and columns 1 and 2.
    EXPECT_EQ(g.state.pairCounts.cells, (std::vector<std::int32_t>{14, 9, 7, 5, 6, 5, 5, 5, 5}));
    expectClusterOrder(g.humanClusters, {human3[2], human3[0], human3[1]}, "human");
    expectClusterOrder(g.mouseClusters, {mouse3[1], mouse3[2], mouse3[0]}, "mouse");
}

TEST(EstimatePairTable, TiesGoToTheFirstCellInRowMajorOrder) {
    PairFixture f(2, 2);
    f.addCounts({{2, 3}, {3, 1}});
    const std::vector<GeneCluster*> human = f.humanClusters;
    const std::vector<GeneCluster*> mouse = f.mouseClusters;
    f.estimate(0);
    // (0, 1) precedes (1, 0): the mouse clusters swap, the human ones stay.
    EXPECT_EQ(f.state.pairCounts.cells, (std::vector<std::int32_t>{8, 7, 6, 8}));
    expectClusterOrder(f.humanClusters, human, "human");
    expectClusterOrder(f.mouseClusters, {mouse[1], mouse[0]}, "mouse");
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
    EXPECT_DOUBLE_EQ(f.state.scatterProbability, 1.0 / 201.0);
    ASSERT_EQ(f.state.scatterPairs.size(), 40u);
    EXPECT_EQ(f.state.scatterPairs.front().human, f.pairs[960].human) << "scatter pairs kept in map order";
    EXPECT_EQ(f.state.scatterPairs.back().mouse, f.pairs[999].mouse);
    const double total = 960.0 + 6 * 5.0;
    EXPECT_DOUBLE_EQ(f.state.pairTable.at(0, 0), 505.0 / total * 200.0 / 201.0);
    EXPECT_DOUBLE_EQ(f.state.pairTable.at(1, 2), 55.0 / total * 200.0 / 201.0);
    EXPECT_NEAR(tableTotal(f.state), 1.0, 1e-15);

    // All pairs scatter: every cell holds 5, s = (pseudo + nPairs) / (10 nPairs).
    PairFixture all(2, 2);
    all.addPairs(2, 0, 30);
    all.estimate(6);
    const double s = 36.0 / 300.0;
    EXPECT_DOUBLE_EQ(all.state.scatterProbability, s / (s + 1.0));
    for (double cell : all.state.pairTable.cells) EXPECT_DOUBLE_EQ(cell, 0.25 / (s + 1.0));

    // No pseudo count and no scatter: the scatter share stays 0 through the smoothing.
    PairFixture none(3, 3);
    none.addCounts({{5, 1, 0}, {0, 4, 2}, {1, 0, 3}});
    none.estimate(0);
    EXPECT_EQ(none.state.scatterProbability, 0.0);
    smoothPairTable(none.state);
    EXPECT_EQ(none.state.scatterProbability, 0.0);
    EXPECT_NEAR(tableTotal(none.state), 1.0, 1e-15);
}

TEST(EstimatePairTableDeathTest, UnassignedGeneIsFatal) {
    PairFixture f(2, 2);
    f.addPairs(0, 1, 1);
    f.addPairs(-1, 1, 1);
    EXPECT_EXIT(f.estimate(0), ::testing::ExitedWithCode(1), "pair of genes h1 and m1 has no cluster");
}

TEST(SmoothPairTable, TablesOfOneRowOrColumnStayUnchanged) {
    for (const auto& [rows, cols] : {std::pair{1, 3}, std::pair{3, 1}}) {
        PairTableState state;
        state.pairTable.reset(rows, cols);
        state.pairTable.cells = {0.2, 0.3, 0.4};
        state.scatterProbability = 0.1;
        state.diagonalCoefficient = 42.0;
        smoothPairTable(state);
        EXPECT_EQ(state.pairTable.cells, (std::vector<double>{0.2, 0.3, 0.4})) << rows << "x" << cols;
        EXPECT_EQ(state.scatterProbability, 0.1);
        EXPECT_EQ(state.diagonalCoefficient, 42.0) << "the diagonal effect is not touched";
    }
}

TEST(SmoothPairTable, TwoByTwoFitIsExactUnlessTheDiagonalIsClamped) {
    // Diagonal-heavy: four coefficients reproduce the four logits.
    PairFixture f(2, 2);
    f.addCounts({{40, 3}, {6, 20}});
    f.addPairs(2, 2, 11);
    f.estimate(4);
    const std::vector<double> counted = f.state.pairTable.cells;
    const double scatter = f.state.scatterProbability;
    smoothPairTable(f.state);
    for (std::size_t p = 0; p < counted.size(); ++p)
        EXPECT_NEAR(f.state.pairTable.cells[p], counted[p], 1e-14) << "cell " << p;
    EXPECT_NEAR(f.state.scatterProbability, scatter, 1e-15);
    const double expectedDiagonal = (logit(counted[0]) + logit(counted[3]) - logit(counted[1]) - logit(counted[2])) / 2;
    EXPECT_NEAR(f.state.diagonalCoefficient, expectedDiagonal, 1e-12);

    // Off-diagonal-heavy: the diagonal effect fits below 0 and is clamped; the
    // other coefficients keep their exact-fit values.
    PairTableState state;
    state.pairTable.reset(2, 2);
    state.pairTable.cells = {0.25, 0.3, 0.3, 0.1};
    state.scatterProbability = 0.05;
    const double l00 = logit(0.25), l01 = logit(0.3), l10 = logit(0.3), l11 = logit(0.1);
    const double fittedDiagonal = (l00 + l11 - l01 - l10) / 2;
    ASSERT_LT(fittedDiagonal, 0.0);
    const double intercept = l11 - fittedDiagonal;
    std::vector<double> expected = {logistic(l01 + l10 - intercept), logistic(l01), logistic(l10),
                                    logistic(intercept)};
    double total = 0.05;
    for (double q : expected) total += q;
    smoothPairTable(state);
    EXPECT_EQ(state.diagonalCoefficient, 0.0);
    for (std::size_t p = 0; p < expected.size(); ++p)
        EXPECT_NEAR(state.pairTable.cells[p], expected[p] / total, 1e-13) << "cell " << p;
    EXPECT_NEAR(state.scatterProbability, 0.05 / total, 1e-15);
}

TEST(SmoothPairTable, RecoversAPlantedLogLinearTable) {
    // A 3x4 table drawn from the model itself, whose cells and scatter sum to
    // 1, is a fixed point of the smoothing.
    const std::vector<double> rowEffect = {0.4, -0.3, 0.0};
    const std::vector<double> colEffect = {-0.2, 0.5, 0.1, 0.0};
    const double intercept = -3.0;
    const double diagonal = 0.8;
    PairTableState state;
    state.pairTable.reset(3, 4);
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) {
            state.pairTable.at(i, j) = logistic(intercept + rowEffect[i] + colEffect[j] + (i == j ? diagonal : 0.0));
            sum += state.pairTable.at(i, j);
        }
    ASSERT_LT(sum, 1.0);
    state.scatterProbability = 1.0 - sum;
    const std::vector<double> planted = state.pairTable.cells;
    smoothPairTable(state);
    EXPECT_NEAR(state.diagonalCoefficient, diagonal, 1e-12);
    for (std::size_t p = 0; p < planted.size(); ++p)
        EXPECT_NEAR(state.pairTable.cells[p], planted[p], 1e-14) << "cell " << p;
    EXPECT_NEAR(tableTotal(state), 1.0, 1e-15);
}

TEST(SmoothPairTable, RepeatedFitsSumToOneAndReuseTheWorkspace) {
    PairFixture f(5, 4);
    f.addCounts({{30, 2, 0, 1}, {4, 25, 3, 0}, {0, 1, 0, 12}, {7, 0, 18, 2}, {1, 1, 1, 1}});
    f.addPairs(5, 1, 6);
    f.estimate(3);
    smoothPairTable(f.state);
    EXPECT_NEAR(tableTotal(f.state), 1.0, 1e-15);
    for (double cell : f.state.pairTable.cells) EXPECT_GT(cell, 0.0);
    const double* designStorage = f.state.workspace.u[0];
    const double* coefficientStorage = f.state.workspace.coefficients.data();
    f.estimate(3);
    smoothPairTable(f.state);
    EXPECT_NEAR(tableTotal(f.state), 1.0, 1e-15);
    EXPECT_EQ(f.state.workspace.u[0], designStorage) << "a fit of the same size reallocated the design matrix";
    EXPECT_EQ(f.state.workspace.coefficients.data(), coefficientStorage);
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
