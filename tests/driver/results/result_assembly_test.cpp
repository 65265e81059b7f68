// What the result files show of the kept clustering: the membership view,
// the gene-pair lines and the gene-pair clusters, and the BIC.
#include "driver/results/result_assembly.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <string>
#include <vector>

#include "driver/fitting/repetitions.h"
#include "driver/driver_test_data.h"

namespace orthomix {
namespace {

using testing::addGene;
using testing::clusteringOf;

std::vector<std::string> namesOf(const MembershipCluster& cluster) {
    std::vector<std::string> names;
    for (const MembershipRow& row : cluster) names.emplace_back(row.name);
    return names;
}

TEST(MembershipView, ListsEveryGeneOnceSortedByNameWithTheirCentre) {
    OrganismData organism;
    addGene(organism, "B", {1.0, 2.0}, "first b");
    addGene(organism, "A", {3.0, 4.0}, "a");
    addGene(organism, "B", {50.0, 60.0}, "second b");
    addGene(organism, "C", {7.0, 7.0});
    // Cluster 0 lists B, A, B and A again (a gene placed through two pairs); cluster 1 holds C.
    const OrganismClustering clustering = clusteringOf({{0, 1, 2, 1}, {3}}, 4, 2);

    const MembershipView view = membershipView(clustering, organism);
    ASSERT_EQ(view.genes.size(), 2u);
    EXPECT_EQ(view.genes[0], (std::vector<std::uint32_t>{1, 0, 2}))
        << "A once, then both rows named B in file order: each is a gene of its own";
    EXPECT_EQ(view.genes[1], (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(std::vector<double>(view.centres.begin(), view.centres.begin() + 2), (std::vector<double>{18.0, 22.0}))
        << "the centre of A and both B rows";

    const std::vector<MembershipCluster> clusters = membershipClusters(view, organism);
    ASSERT_EQ(clusters.size(), 2u);
    EXPECT_EQ(namesOf(clusters[0]), (std::vector<std::string>{"A", "B", "B"}));
    EXPECT_EQ(clusters[0][2].annotation, "second b");
    EXPECT_EQ(clusters[0][1].annotation, "first b");
    EXPECT_EQ(std::vector<double>(clusters[0][1].values.begin(), clusters[0][1].values.end()),
              (std::vector<double>{1.0, 2.0}));
    EXPECT_TRUE(clusters[0][1].moreValues.empty());
}

// A result of nH human and nM mouse clusters over genes with 2 human and 1 mouse columns.
struct PairFixture {
    Dataset data;
    AttemptResult result;

    void pair(std::uint32_t human, std::uint32_t mouse) { data.orthologs.pairs.push_back({human, mouse}); }
};

PairFixture pairFixture() {
    PairFixture f;
    for (int g = 0; g < 5; ++g) addGene(f.data.human, "H" + std::to_string(g), {1.0 * g, 2.0 * g}, "sym" + std::to_string(g));
    for (int g = 0; g < 5; ++g) addGene(f.data.mouse, "M" + std::to_string(g), {10.0 * g});
    // Human clusters {H0, H1}, {H2}, {H3}; H4 in none. Mouse clusters {M0}, {M1, M2}, {M3}; M4 in none.
    f.result.human = clusteringOf({{0, 1}, {2}, {3}}, 5, 2);
    f.result.mouse = clusteringOf({{0}, {1, 2}, {3}}, 5, 1);
    return f;
}

TEST(GenePairLines, EachPairWithTheClustersHoldingItsGenes) {
    PairFixture f = pairFixture();
    f.pair(0, 3);
    f.pair(2, 1);
    f.pair(4, 0);
    f.pair(2, 4);
    const std::vector<GenePairLine> lines = genePairLines(f.data, f.result);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].human, "H0");
    EXPECT_EQ(lines[0].mouse, "M3");
    EXPECT_EQ(lines[0].humanCluster, 0);
    EXPECT_EQ(lines[0].mouseCluster, 2);
    EXPECT_EQ(lines[1].humanCluster, 1);
    EXPECT_EQ(lines[1].mouseCluster, 1);
    EXPECT_EQ(lines[2].humanCluster, 3) << "a gene in no cluster has the organism's cluster count";
    EXPECT_EQ(lines[3].mouseCluster, 3);
}

TEST(GenePairClusters, PlacesEachPairInTheCellOfItsTwoClustersInPairOrder) {
    PairFixture f = pairFixture();
    f.pair(2, 0);  // human cluster 1 x mouse cluster 0: cell 3
    f.pair(0, 3);  // (0, 2): cell 2
    f.pair(0, 1);  // (0, 1): cell 1
    f.pair(0, 2);  // (0, 1): cell 1 again, a human gene with two mouse orthologs
    f.pair(4, 0);  // human gene in scatter: left out
    f.pair(3, 4);  // mouse gene in scatter: left out
    const std::vector<MembershipCluster> cells = genePairClusters(f.data, f.result);
    ASSERT_EQ(cells.size(), 9u) << "nH x nM cells, empty ones included";
    EXPECT_EQ(namesOf(cells[3]), (std::vector<std::string>{"H2"}));
    EXPECT_EQ(namesOf(cells[2]), (std::vector<std::string>{"H0"}));
    ASSERT_EQ(namesOf(cells[1]), (std::vector<std::string>{"H0", "H0"}));
    const MembershipRow& second = cells[1][1];
    EXPECT_EQ(second.annotation, "sym0") << "a pair row carries the human gene's annotation";
    EXPECT_EQ(std::vector<double>(second.values.begin(), second.values.end()), (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(std::vector<double>(second.moreValues.begin(), second.moreValues.end()), (std::vector<double>{20.0}))
        << "the human values, then the mouse gene's";
    std::size_t rows = 0;
    for (const MembershipCluster& cell : cells) rows += cell.size();
    EXPECT_EQ(rows, 4u) << "the two pairs with a gene in no cluster are left out";
}

TEST(GenePairClusters, NumbersCellsRowByRowForUnequalSides) {
    PairFixture f = pairFixture();
    f.result.human = clusteringOf({{0, 1, 2}, {3, 4}}, 5, 2);
    f.pair(3, 3);  // (1, 2): cell 1 * 3 + 2
    f.pair(0, 1);  // (0, 1): cell 1
    const std::vector<MembershipCluster> cells = genePairClusters(f.data, f.result);
    ASSERT_EQ(cells.size(), 6u);
    EXPECT_EQ(namesOf(cells[5]), (std::vector<std::string>{"H3"}));
    EXPECT_EQ(namesOf(cells[1]), (std::vector<std::string>{"H0"}));
}

TEST(PairTableRows, CountsEveryPairOnceWithTheFittedTableAndIndependenceExpectation) {
    PairFixture f = pairFixture();
    f.pair(0, 0);  // (0, 0)
    f.pair(1, 1);  // (0, 1)
    f.pair(0, 2);  // (0, 1) again
    f.pair(2, 3);  // (1, 2)
    f.pair(4, 0);  // human gene in no cluster: scatter
    f.pair(3, 4);  // mouse gene in no cluster: scatter
    f.pair(3, 3);  // (2, 2)
    f.result.pairTable.reset(3, 3);
    for (int c = 0; c < 9; ++c) f.result.pairTable.cells[static_cast<std::size_t>(c)] = c / 100.0;
    f.result.pairTable.scatterProbability = 0.55;

    const std::vector<PairTableRow> rows = pairTableRows(f.data, f.result);
    ASSERT_EQ(rows.size(), 10u) << "nine cells, then scatter";
    std::int64_t total = 0;
    for (std::size_t r = 0; r < 9; ++r) {
        EXPECT_EQ(rows[r].humanCluster, static_cast<std::int32_t>(r / 3)) << r;
        EXPECT_EQ(rows[r].mouseCluster, static_cast<std::int32_t>(r % 3)) << r;
        EXPECT_EQ(rows[r].fittedProbability, r / 100.0) << r;
        total += rows[r].pairs;
    }
    EXPECT_EQ(total + rows[9].pairs, 7) << "every pair in exactly one row";
    EXPECT_EQ(rows[9].humanCluster, -1);
    EXPECT_EQ(rows[9].pairs, 2);
    EXPECT_EQ(rows[9].fittedProbability, 0.55);
    EXPECT_TRUE(std::isnan(rows[9].expectedPairs) && std::isnan(rows[9].observedOverExpected));
    // Five pairs in cells; row sums 3, 1, 1; column sums 1, 2, 2.
    EXPECT_EQ(rows[1].pairs, 2);
    EXPECT_DOUBLE_EQ(rows[1].expectedPairs, 3.0 * 2.0 / 5.0);
    EXPECT_DOUBLE_EQ(rows[1].observedOverExpected, 2.0 / 1.2);
    EXPECT_DOUBLE_EQ(rows[8].observedOverExpected, 1.0 / 0.4);
    EXPECT_EQ(rows[3].pairs, 0);
    EXPECT_DOUBLE_EQ(rows[3].expectedPairs, 1.0 / 5.0);
    EXPECT_EQ(rows[3].observedOverExpected, 0.0) << "an empty cell with pairs expected";
    // P(X >= observed) with X hypergeometric over the five pairs in cells, by
    // hand: cell (0, 1) has row 3 and column 2, P(X = 2) = C(3,2) / C(5,2);
    // cell (2, 2) has row 1 and column 2, 1 - C(4,2) / C(5,2); an empty cell is certain.
    EXPECT_NEAR(rows[1].pValue, 3.0 / 10.0, 1e-12);
    EXPECT_NEAR(rows[8].pValue, 1.0 - 6.0 / 10.0, 1e-12);
    EXPECT_NEAR(rows[0].pValue, 3.0 / 5.0, 1e-12);
    EXPECT_EQ(rows[3].pValue, 1.0);
    // Nine tests: the smallest p-value times 9 exceeds 1, and so does every later rank's bound.
    for (std::size_t r = 0; r < 9; ++r) EXPECT_EQ(rows[r].qValue, 1.0) << r;
    EXPECT_TRUE(std::isnan(rows[9].pValue) && std::isnan(rows[9].qValue)) << "scatter is not tested";

    // Every pair in scatter: nothing is expected anywhere; a table of other
    // dimensions has no probability to show.
    PairFixture empty = pairFixture();
    empty.pair(4, 4);
    const std::vector<PairTableRow> scattered = pairTableRows(empty.data, empty.result);
    ASSERT_EQ(scattered.size(), 10u);
    EXPECT_TRUE(std::isnan(scattered[0].expectedPairs) && std::isnan(scattered[0].observedOverExpected));
    EXPECT_TRUE(std::isnan(scattered[0].fittedProbability));
    EXPECT_EQ(scattered[9].pairs, 1);
}

TEST(PairAssignmentRows, OneRowPerPairWithTheClustersOfTheMembershipAndThePartnerCells) {
    PairFixture f = pairFixture();
    f.pair(0, 1);  // (0, 1)
    f.pair(2, 3);  // (1, 2)
    f.pair(4, 0);  // human gene in no cluster
    f.pair(1, 2);  // (0, 1) again
    f.result.human.posteriors = {0.9, 0.8, 0.7, 0.6, 0.5};
    f.result.mouse.posteriors = {0.1, 0.2, std::numeric_limits<double>::quiet_NaN(), 0.4, 0.5};
    PairSignificance significance;
    significance.rows = 3;
    significance.cols = 3;
    significance.cells.resize(9);
    significance.cells[0 * 3 + 1].qValue = 0.01;
    significance.cells[1 * 3 + 2].qValue = kPartnerQValue;  // not below the threshold

    const std::vector<PairAssignmentRow> rows = pairAssignmentRows(f.data, f.result, significance);
    ASSERT_EQ(rows.size(), f.data.orthologs.pairs.size()) << "every pair with both genes kept, in pair order";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const OrthologPair& pair = f.data.orthologs.pairs[r];
        EXPECT_EQ(rows[r].humanId, f.data.human.identifiers[pair.human]);
        EXPECT_EQ(rows[r].humanAnnotation, f.data.human.annotations[pair.human]);
        EXPECT_EQ(rows[r].mouseId, f.data.mouse.identifiers[pair.mouse]);
        // The cluster shown is the one whose members hold the gene.
        for (const auto& [cluster, gene, clustering] :
             {std::tuple{rows[r].humanCluster, pair.human, &f.result.human},
              std::tuple{rows[r].mouseCluster, pair.mouse, &f.result.mouse}}) {
            const auto& members = clustering->clusters.members;
            if (cluster < 0) {
                for (const auto& held : members) EXPECT_EQ(std::count(held.begin(), held.end(), gene), 0) << r;
            } else {
                const auto& held = members[static_cast<std::size_t>(cluster)];
                EXPECT_EQ(std::count(held.begin(), held.end(), gene), 1) << r;
            }
        }
    }
    EXPECT_EQ(rows[0].humanCluster, 0);
    EXPECT_EQ(rows[0].mouseCluster, 1);
    EXPECT_TRUE(rows[0].significantPartners);
    EXPECT_TRUE(rows[3].significantPartners) << "the same cell";
    EXPECT_FALSE(rows[1].significantPartners) << "q must be below the threshold";
    EXPECT_EQ(rows[2].humanCluster, -1);
    EXPECT_FALSE(rows[2].significantPartners) << "scatter has no partner";
    EXPECT_EQ(rows[1].humanPosterior, 0.7);
    EXPECT_EQ(rows[1].mousePosterior, 0.4);
    EXPECT_TRUE(std::isnan(rows[3].mousePosterior));
}

TEST(Bic, FollowsLnNTimesParametersMinusTwiceTheLikelihood) {
    // P = 2 * 3 * (10 + 8 + 1) = 114.
    EXPECT_DOUBLE_EQ(computeBic(-1000.0, 3, 10, 8, 900), 114.0 * std::log(900.0) + 2000.0);
    EXPECT_LT(computeBic(-900.0, 3, 10, 8, 900), computeBic(-1000.0, 3, 10, 8, 900))
        << "a higher likelihood gives a lower BIC";
    EXPECT_LT(computeBic(-1000.0, 2, 10, 8, 900), computeBic(-1000.0, 3, 10, 8, 900))
        << "fewer clusters cost fewer parameters";
}

}  // namespace
}  // namespace orthomix
