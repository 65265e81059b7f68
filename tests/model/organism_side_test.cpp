// One organism's side of an attempt: its paired genes and the reordering of
// its clusters by the pair table.
#include "model/organism_side.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "model_test_data.h"

namespace orthomix {
namespace {

TEST(PairedGenes, AGeneInSeveralPairsHasOneSlotAndNonFiniteValuesAreMarked) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ExpressionMatrix human = testing::matrixOf({{1.0, 2.0}, {nan, 0.0}, {3.0, 4.0}, {5.0, 6.0}});
    // Human gene 2 is in three pairs, gene 1 in one, genes 0 and 3 in none.
    const std::vector<OrthologPair> pairs = {{2, 0}, {1, 1}, {2, 2}, {2, 0}};
    PairedGenes paired;
    paired.build(pairs, human, &OrthologPair::human);
    EXPECT_EQ(paired.genes, (std::vector<std::uint32_t>{2, 1})) << "in order of first appearance";
    EXPECT_EQ(paired.slotOfPair, (std::vector<std::uint32_t>{0, 1, 0, 0}));
    EXPECT_EQ(paired.valuesFinite, (std::vector<char>{1, 0}));

    // The mouse side of the same pairs, built into the same object again.
    const ExpressionMatrix mouse = testing::matrixOf({{0.0}, {1.0}, {2.0}});
    paired.build(pairs, mouse, &OrthologPair::mouse);
    EXPECT_EQ(paired.genes, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(paired.slotOfPair, (std::vector<std::uint32_t>{0, 1, 2, 0}));
    EXPECT_EQ(paired.valuesFinite, (std::vector<char>{1, 1, 1}));
}

TEST(OrganismSide, ReorderedClustersTakeTheirMembersCentresAndLabelsAlong) {
    const ExpressionMatrix values = testing::matrixOf({{0.0}, {1.0}, {10.0}, {11.0}, {20.0}, {50.0}});
    OrganismSide side(values);
    OrganismClusters& clusters = side.state.clusters;
    clusters.columns = 1;
    clusters.members = {{0, 1}, {2, 3}, {4}};
    clusters.centres = {0.5, 10.5, 20.0};
    // Gene 5 is in no cluster and keeps its scatter label 3.
    side.state.labels = {0, 0, 1, 1, 2, 3};

    side.reorderClusters({0, 1, 2});
    EXPECT_EQ(clusters.centres, (std::vector<double>{0.5, 10.5, 20.0})) << "the identity moves nothing";

    side.reorderClusters({2, 0, 1});
    EXPECT_EQ(clusters.members, (std::vector<std::vector<std::uint32_t>>{{4}, {0, 1}, {2, 3}}));
    EXPECT_EQ(clusters.centres, (std::vector<double>{20.0, 0.5, 10.5}));
    EXPECT_EQ(side.state.labels, (std::vector<std::int32_t>{1, 1, 2, 2, 0, 3}));
    EXPECT_EQ(side.clusterCount(), 3u);
}

}  // namespace
}  // namespace orthomix
