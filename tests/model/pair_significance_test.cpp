#include "model/pair_significance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

namespace orthomix {
namespace {

PairCounts tableOf(const std::vector<std::vector<std::int32_t>>& rows) {
    PairCounts counts;
    counts.reset(static_cast<int>(rows.size()), static_cast<int>(rows.front().size()));
    for (int i = 0; i < counts.rows; ++i) {
        for (int j = 0; j < counts.cols; ++j) counts.at(i, j) = rows[i][j];
    }
    return counts;
}

TEST(PairSignificance, SmallTableByHand) {
    // [[3, 1], [1, 3]]: 8 pairs, every total 4, every expected count 2.
    // P(X >= 3) = (C(4,3) C(4,1) + C(4,4)) / C(8,4) = 17 / 70 on the diagonal,
    // P(X >= 1) = 1 - 1 / 70 off it. Ranks 1, 2 give q = 17/70 * 4/2 = 34/70;
    // ranks 3, 4 give 69/70.
    const PairSignificance s = assessPairSignificance(tableOf({{3, 1}, {1, 3}}));
    EXPECT_EQ(s.pairs, 8);
    EXPECT_EQ(s.rowTotals, (std::vector<std::int64_t>{4, 4}));
    EXPECT_EQ(s.colTotals, (std::vector<std::int64_t>{4, 4}));
    for (const auto& [i, j] : {std::pair{0, 0}, std::pair{1, 1}}) {
        EXPECT_EQ(s.at(i, j).observed, 3);
        EXPECT_DOUBLE_EQ(s.at(i, j).expected, 2.0);
        EXPECT_DOUBLE_EQ(s.at(i, j).enrichment, 1.5);
        EXPECT_NEAR(s.at(i, j).pValue, 17.0 / 70.0, 1e-14);
        EXPECT_NEAR(s.at(i, j).qValue, 34.0 / 70.0, 1e-14);
    }
    for (const auto& [i, j] : {std::pair{0, 1}, std::pair{1, 0}}) {
        EXPECT_DOUBLE_EQ(s.at(i, j).enrichment, 0.5);
        EXPECT_NEAR(s.at(i, j).pValue, 69.0 / 70.0, 1e-14);
        EXPECT_NEAR(s.at(i, j).qValue, 69.0 / 70.0, 1e-14);
    }
    // Pearson: four cells of (1)^2 / 2 = 2 on 1 degree of freedom, p = erfc(1).
    EXPECT_EQ(s.chiSquare.degreesOfFreedom, 1);
    EXPECT_NEAR(s.chiSquare.statistic, 2.0, 1e-14);
    EXPECT_NEAR(s.chiSquare.pValue, std::erfc(1.0), 1e-13);
    // G = 2 (2 * 3 ln 1.5 + 2 * 1 ln 0.5).
    EXPECT_NEAR(s.gTest.statistic, 12.0 * std::log(1.5) - 4.0 * std::log(2.0), 1e-13);
    EXPECT_EQ(s.gTest.degreesOfFreedom, 1);
    EXPECT_TRUE(s.humanPartners[0].empty() && s.humanPartners[1].empty());
    EXPECT_EQ(s.evidence, CorrespondenceEvidence::None);
    EXPECT_EQ(correspondenceSentence(s.evidence), "no evidence that the clusterings correspond");
}

TEST(PairSignificance, PartnersAreExactlyTheCellsBelowTheQThresholdStrongestFirst) {
    // Human cluster 0 goes with mouse clusters 0 and 1, cluster 3 with nobody
    // in particular; mouse cluster 2 takes human 1 and, weaker, human 2.
    const PairSignificance s = assessPairSignificance(tableOf({{40, 25, 1, 2},
                                                               {1, 0, 30, 3},
                                                               {0, 2, 12, 35},
                                                               {6, 5, 7, 6}}));
    std::set<std::pair<int, int>> significant;
    for (int i = 0; i < s.rows; ++i) {
        for (int j = 0; j < s.cols; ++j) {
            if (s.at(i, j).qValue < kPartnerQValue) significant.insert({i, j});
        }
    }
    std::set<std::pair<int, int>> fromHuman, fromMouse;
    for (int i = 0; i < s.rows; ++i) {
        const auto& partners = s.humanPartners[i];
        for (std::size_t p = 0; p < partners.size(); ++p) {
            fromHuman.insert({i, partners[p].cluster});
            EXPECT_EQ(partners[p].qValue, s.at(i, partners[p].cluster).qValue);
            EXPECT_EQ(partners[p].observed, s.at(i, partners[p].cluster).observed);
            if (p > 0) {
                EXPECT_GE(partners[p - 1].enrichment, partners[p].enrichment) << "human " << i;
            }
        }
    }
    for (int j = 0; j < s.cols; ++j) {
        const auto& partners = s.mousePartners[j];
        for (std::size_t p = 0; p < partners.size(); ++p) {
            fromMouse.insert({partners[p].cluster, j});
            if (p > 0) {
                EXPECT_GE(partners[p - 1].enrichment, partners[p].enrichment) << "mouse " << j;
            }
        }
    }
    EXPECT_EQ(fromHuman, significant);
    EXPECT_EQ(fromMouse, significant);
    // The planted structure: the diagonal-like cells, and nothing of row 3.
    for (const auto& cell : {std::pair{0, 0}, std::pair{0, 1}, std::pair{1, 2}, std::pair{2, 3}}) {
        EXPECT_TRUE(significant.count(cell)) << cell.first << "," << cell.second;
    }
    EXPECT_TRUE(s.humanPartners[3].empty());
    ASSERT_EQ(s.humanPartners[0].size(), 2u);
    // 40 against 68 * 47 / 175 = 18.3 expected (2.19 times) before 25 against 12.4 (2.01 times).
    EXPECT_EQ(s.humanPartners[0][0].cluster, 0);
    EXPECT_EQ(s.humanPartners[0][1].cluster, 1);
    EXPECT_NEAR(s.humanPartners[0][0].enrichment, 40.0 / (68.0 * 47.0 / 175.0), 1e-14);
    EXPECT_EQ(s.chiSquare.degreesOfFreedom, 9);
    EXPECT_LT(s.chiSquare.pValue, 1e-20);
    EXPECT_EQ(s.evidence, CorrespondenceEvidence::Strong);
    EXPECT_EQ(correspondenceSentence(s.evidence), "strong evidence that the clusterings correspond");
}

TEST(PairSignificance, EmptyRowsAndTablesTestNothing) {
    // An empty row and column count neither in the degrees of freedom nor as
    // enriched cells.
    const PairSignificance s = assessPairSignificance(tableOf({{5, 0, 1}, {0, 0, 0}, {1, 0, 5}}));
    EXPECT_EQ(s.chiSquare.degreesOfFreedom, 1);
    EXPECT_EQ(s.at(1, 1).expected, 0.0);
    EXPECT_EQ(s.at(1, 1).enrichment, 0.0);
    EXPECT_EQ(s.at(1, 1).pValue, 1.0);

    const PairSignificance none = assessPairSignificance(tableOf({{0, 0}, {0, 0}}));
    EXPECT_EQ(none.pairs, 0);
    EXPECT_EQ(none.chiSquare.degreesOfFreedom, 0);
    EXPECT_EQ(none.chiSquare.pValue, 1.0);
    EXPECT_EQ(none.evidence, CorrespondenceEvidence::None);
    for (const CellSignificance& cell : none.cells) EXPECT_EQ(cell.qValue, 1.0);

    // Exact independence: both statistics 0 (never a negative rounding
    // residue), p-values 1.
    const PairSignificance flat = assessPairSignificance(tableOf({{3, 6, 9}, {1, 2, 3}}));
    EXPECT_EQ(flat.chiSquare.statistic, 0.0);
    EXPECT_GE(flat.gTest.statistic, 0.0);
    EXPECT_LT(flat.gTest.statistic, 1e-12);
    EXPECT_EQ(flat.chiSquare.pValue, 1.0);
    EXPECT_NEAR(flat.gTest.pValue, 1.0, 1e-12);

    // One human cluster: no association to test, however the pairs fall.
    const PairSignificance oneRow = assessPairSignificance(tableOf({{50, 1, 1}}));
    EXPECT_EQ(oneRow.chiSquare.degreesOfFreedom, 0);
    EXPECT_EQ(oneRow.evidence, CorrespondenceEvidence::None);
}

TEST(PairSignificance, WeakWhenAssociatedButNoCellStandsOut) {
    // A checkerboard of 112 and 88 around the expected 100: Pearson's 64 *
    // 144 / 100 = 92 on 49 degrees of freedom is well past 5%, while each
    // cell's excess of 12 is under 1.4 standard deviations (p near 0.09, so
    // no q-value can fall below 0.05).
    std::vector<std::vector<std::int32_t>> rows(8, std::vector<std::int32_t>(8));
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) rows[i][j] = (i + j) % 2 == 0 ? 112 : 88;
    }
    const PairSignificance s = assessPairSignificance(tableOf(rows));
    EXPECT_NEAR(s.chiSquare.statistic, 92.16, 1e-10);
    EXPECT_LT(s.chiSquare.pValue, kWeakEvidenceP);
    for (const auto& partners : s.humanPartners) EXPECT_TRUE(partners.empty());
    EXPECT_EQ(s.evidence, CorrespondenceEvidence::Weak);
    EXPECT_EQ(correspondenceSentence(s.evidence), "weak evidence that the clusterings correspond");
}

TEST(CountClusteredPairs, LeavesOutPairsWithAGeneOutsideTheClusters) {
    const std::vector<OrthologPair> pairs = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {0, 1}};
    // Human: 2 clusters (2 = scatter); mouse: 3 clusters (3 = scatter).
    const std::vector<std::int32_t> human = {0, 1, 2, -1, 1};
    const std::vector<std::int32_t> mouse = {2, 0, 1, 0, 3};
    const PairCounts counts = countClusteredPairs(pairs, human, mouse, 2, 3);
    ASSERT_EQ(counts.rows, 2);
    ASSERT_EQ(counts.cols, 3);
    EXPECT_EQ(counts.cells, (std::vector<std::int32_t>{1, 0, 1, 1, 0, 0}))
        << "(0,2) and (0,0) from genes 0-0 and 0-1, (1,0) from 1-1; scatter and unassigned genes left out";
}

}  // namespace
}  // namespace orthomix
