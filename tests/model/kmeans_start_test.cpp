#include "model/kmeans_start.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "model/organism_clusters.h"
#include "model/organism_state.h"
#include "model_test_data.h"

namespace orthomix {
namespace {

using testing::matrixOf;
using Seeds = std::vector<std::uint32_t>;
using Members = std::vector<std::uint32_t>;

// One gene per value, one column.
ExpressionMatrix column(const std::vector<double>& values) {
    std::vector<std::vector<double>> rows;
    for (const double v : values) rows.push_back({v});
    return matrixOf(rows, 1);
}

TEST(DrawSeedPositions, FollowTheGeneratorAndRedrawPositionsAlreadyTaken) {
    RandomGenerator first(1);
    EXPECT_EQ(drawSeedPositions(first, 3, 10), (Seeds{1, 7, 4})) << "seed 1 draws 41, 18467, 6334";

    // Of six genes: 41 -> 5, 18467 -> 5 (taken), 6334 -> 4, 26500 -> 4, 19169 -> 5, 15724 -> 4, 11478 -> 0.
    RandomGenerator collisions(1);
    EXPECT_EQ(drawSeedPositions(collisions, 3, 6), (Seeds{5, 4, 0}));
    EXPECT_EQ(collisions.draw(), 29358) << "the redraws use up the generator: the eighth draw comes next";

    // k equal to the gene count: the redraws find every position once.
    RandomGenerator all(7);
    Seeds seeds = drawSeedPositions(all, 5, 5);
    std::sort(seeds.begin(), seeds.end());
    EXPECT_EQ(seeds, (Seeds{0, 1, 2, 3, 4}));
}

TEST(RunKMeans, PlacesEveryGeneAtTheNearestCentreAndMovesCentresToTheMemberMeans) {
    const ExpressionMatrix values = column({0, 100, 200, 300, 400, 500, 600, 700, 800, 900});
    const KMeansStart start = runKMeans(values, {1, 7, 4}, 1e-4, 1);
    ASSERT_EQ(start.clusters.count(), 3u);
    EXPECT_EQ(start.labels, (std::vector<std::int32_t>{0, 0, 0, 2, 2, 2, 1, 1, 1, 1}));
    EXPECT_EQ(start.clusters.members[1], (Members{6, 7, 8, 9})) << "members in gene order";
    EXPECT_EQ(start.clusters.centres, (std::vector<double>{100.0, 750.0, 400.0}));
    // Mean member distances 200/3, 100 and 200/3 over 3, 4 and 3 of ten genes.
    EXPECT_DOUBLE_EQ(start.meanDistance, 80.0);
}

TEST(RunKMeans, OnePassForZeroIterationsAndTwoForOne) {
    // Seeds 0 and 1: the first pass leaves the 1 with the 9 and the 10, the second moves it to the 0.
    const ExpressionMatrix values = column({0, 1, 9, 10});
    const KMeansStart onePass = runKMeans(values, {0, 1}, 1e-4, 0);
    EXPECT_EQ(onePass.labels, (std::vector<std::int32_t>{0, 1, 1, 1}));
    EXPECT_DOUBLE_EQ(onePass.meanDistance, 34.0 / 12.0);

    // A huge tolerance cannot stop the first pass: it compares with an objective of 0.
    for (const double tolerance : {1e-4, 1e300}) {
        const KMeansStart twoPasses = runKMeans(values, {0, 1}, tolerance, 1);
        EXPECT_EQ(twoPasses.labels, (std::vector<std::int32_t>{0, 0, 1, 1})) << "tolerance " << tolerance;
        EXPECT_EQ(twoPasses.clusters.centres, (std::vector<double>{0.5, 9.5}));
        EXPECT_EQ(twoPasses.meanDistance, 0.5);
    }
    const KMeansStart converged = runKMeans(values, {0, 1}, 1e-4, 50);
    EXPECT_EQ(converged.labels, (std::vector<std::int32_t>{0, 0, 1, 1}));
}

TEST(RunKMeans, IdenticalSeedsLeaveAClusterEmptyAndTheRestAreRenumbered) {
    // Seeds 5, 4 and 0: two seeds with value 0, then a 10. Every 0 ties between
    // the first two centres and goes to the first, so the second stays empty.
    const ExpressionMatrix values = column({10, 0, 10, 0, 0, 0});
    const KMeansStart start = runKMeans(values, {5, 4, 0}, 1e-4, 1);
    EXPECT_EQ(start.meanDistance, 0.0) << "a perfect first pass ends the k-means";
    ASSERT_EQ(start.clusters.count(), 2u);
    EXPECT_EQ(start.clusters.members[0], (Members{1, 3, 4, 5}));
    EXPECT_EQ(start.clusters.members[1], (Members{0, 2})) << "the third seed's cluster takes the freed number";
    EXPECT_EQ(start.labels, (std::vector<std::int32_t>{1, 0, 1, 0, 0, 0}));
    EXPECT_EQ(start.clusters.centres, (std::vector<double>{0.0, 10.0})) << "centres follow the renumbering";
    EXPECT_EQ(start.clusters.columns, 1u);
    EXPECT_EQ(start.identicalSeeds, 1) << "the second 0 repeats the first";

    // Three seeds of one profile among four: two repeat another, two clusters are lost.
    const ExpressionMatrix pairs = matrixOf({{1, 2}, {1, 2}, {3, 4}, {1, 2}, {3, 4.5}});
    const KMeansStart merged = runKMeans(pairs, {3, 0, 2, 1}, 1e-4, 1);
    EXPECT_EQ(merged.clusters.count(), 2u);
    EXPECT_EQ(merged.identicalSeeds, 2);

    const KMeansStart distinct = runKMeans(pairs, {0, 2, 4}, 1e-4, 1);
    EXPECT_EQ(distinct.clusters.count(), 3u);
    EXPECT_EQ(distinct.identicalSeeds, 0);
}

TEST(RunKMeans, TiesGoToTheLowerClusterAndAGeneWithNanValuesToTheFirst) {
    // Gene 0 is equally far from both seeds; gene 1 has no comparable distance.
    const ExpressionMatrix values = column({5, std::nan(""), 0, 10});
    const KMeansStart start = runKMeans(values, {2, 3}, 1e-4, 5);
    EXPECT_EQ(start.labels, (std::vector<std::int32_t>{0, 0, 0, 1}));
    EXPECT_TRUE(std::isnan(start.meanDistance)) << "the NaN gene poisons its centre and the objective";
    EXPECT_TRUE(std::isnan(start.clusters.centre(0)[0]));
    EXPECT_EQ(start.clusters.centre(1)[0], 10.0);
}

TEST(RunKMeans, OneClusterTakesEveryGeneAndSeedsOnEveryGeneGiveNoSpread) {
    const ExpressionMatrix values = column({3, 1, 4, 1, 5});
    RandomGenerator random(42);
    const KMeansStart single = runKMeans(values, drawSeedPositions(random, 1, 5), 1e-4, 1);
    ASSERT_EQ(single.clusters.count(), 1u);
    EXPECT_EQ(single.clusters.members[0], (Members{0, 1, 2, 3, 4}));
    EXPECT_EQ(single.labels, (std::vector<std::int32_t>(5, 0)));
    EXPECT_EQ(single.clusters.centres, (std::vector<double>{14.0 / 5.0}));

    const ExpressionMatrix distinct = column({0, 10, 20, 30, 40});
    RandomGenerator all(7);
    const KMeansStart everyGene = runKMeans(distinct, drawSeedPositions(all, 5, 5), 1e-4, 1);
    EXPECT_EQ(everyGene.clusters.count(), 5u);
    EXPECT_EQ(everyGene.meanDistance, 0.0);
}

TEST(RunKMeans, SameSeedsSameClusteringToTheLastBit) {
    std::vector<std::vector<double>> rows;
    for (int i = 0; i < 200; ++i) rows.push_back({(i * 37) % 101 + 0.5 * (i % 7), (i * 13) % 29 / 3.0});
    const ExpressionMatrix values = matrixOf(rows);
    RandomGenerator firstRandom(12345), secondRandom(12345);
    const KMeansStart first = runKMeans(values, drawSeedPositions(firstRandom, 6, 200), 1e-4, 3);
    const KMeansStart second = runKMeans(values, drawSeedPositions(secondRandom, 6, 200), 1e-4, 3);
    EXPECT_EQ(first.labels, second.labels);
    EXPECT_EQ(first.clusters.members, second.clusters.members);
    EXPECT_EQ(first.clusters.centres, second.clusters.centres);
    EXPECT_EQ(first.meanDistance, second.meanDistance);
    EXPECT_GT(first.meanDistance, 0.0);
}

TEST(OrganismClusters, EveryKernelSumsEachColumnInMemberOrder) {
    // Widths that fill part of a vector of eight, a block of 32 columns and
    // more; members out of order, one of them twice.
    std::mt19937 random(17);
    std::uniform_real_distribution<double> value(-4.0, 9.0);
    for (const std::size_t columns :
         {std::size_t{1}, std::size_t{6}, std::size_t{16}, std::size_t{37}, std::size_t{80}}) {
        std::vector<std::vector<double>> rows(50, std::vector<double>(columns));
        for (auto& row : rows) {
            for (double& x : row) x = value(random) * std::pow(10.0, static_cast<double>(random() % 9) - 4.0);
        }
        const ExpressionMatrix values = matrixOf(rows);
        const Members members = {31, 7, 49, 7, 0, 18, 44, 2, 25, 13, 36};
        std::vector<double> expected(columns, 0.0);
        for (std::size_t i = 0; i < columns; ++i) {
            for (const std::uint32_t gene : members) expected[i] += rows[gene][i];
            expected[i] /= static_cast<double>(members.size());
        }
        for (const VectorKernel kernel : {VectorKernel::Best, VectorKernel::FourLanes, VectorKernel::Portable}) {
            OrganismClusters clusters;
            clusters.columns = columns;
            clusters.members = {{}, members};
            clusters.centres.assign(2 * columns, -1.0);
            clusters.recomputeCentre(1, values, kernel);
            EXPECT_EQ(std::vector<double>(clusters.centre(1), clusters.centre(1) + columns), expected)
                << columns << " columns, kernel " << static_cast<int>(kernel);
            EXPECT_EQ(std::vector<double>(clusters.centre(0), clusters.centre(0) + columns),
                      std::vector<double>(columns, -1.0))
                << "the neighbouring centre is left alone";
        }
    }
}

TEST(OrganismClusters, CentresAreMemberMeansAndEmptyClustersKeepTheirs) {
    const ExpressionMatrix values = matrixOf({{1.0, 10.0}, {3.0, 20.0}, {0.0, 0.0}, {6.0, 8.0}});
    OrganismClusters clusters;
    clusters.columns = 2;
    clusters.members = {{0}, {}};
    clusters.centres = {-1.0, -1.0, 7.0, 7.0};
    clusters.recomputeCentre(0, values);
    EXPECT_EQ(std::vector<double>(clusters.centre(0), clusters.centre(0) + 2), (std::vector<double>{1.0, 10.0}))
        << "one member: its own values";
    clusters.members[0].push_back(1);
    clusters.recomputeCentre(0, values);
    EXPECT_EQ(std::vector<double>(clusters.centre(0), clusters.centre(0) + 2), (std::vector<double>{2.0, 15.0}));
    clusters.recomputeCentre(1, values);
    EXPECT_EQ(std::vector<double>(clusters.centre(1), clusters.centre(1) + 2), (std::vector<double>{7.0, 7.0}))
        << "a cluster without members keeps its centre";
    EXPECT_EQ(clusters.meanDistanceToCentre(1, values), 0.0);

    // Genes 2 and 3 around (3, 4): each is 5 away.
    clusters.members = {{2, 3}, {}};
    clusters.recomputeCentre(0, values);
    EXPECT_DOUBLE_EQ(clusters.meanDistanceToCentre(0, values), 5.0);
    // Two of four genes in clusters, each 5 from its centre; the others count 0.
    EXPECT_DOUBLE_EQ(clusters.spread(values, 4), 2.5);

    OrganismState state;
    state.clusters = clusters;
    state.labels = {9, 9, 9, 9};
    state.labelMembers(0);
    EXPECT_EQ(state.labels, (std::vector<std::int32_t>{9, 9, 0, 0}));
}

TEST(OrganismClusters, RelativeChangeIsNanOnlyForZeroOverZero) {
    EXPECT_DOUBLE_EQ(relativeChange(10.0, 8.0), 0.2);
    EXPECT_DOUBLE_EQ(relativeChange(8.0, 10.0), 0.25) << "relative to the old value, sign dropped";
    EXPECT_TRUE(std::isnan(relativeChange(0.0, 0.0)));
    EXPECT_TRUE(std::isinf(relativeChange(0.0, 1.0)));
}

}  // namespace
}  // namespace orthomix
