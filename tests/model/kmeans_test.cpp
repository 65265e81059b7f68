#include "model/kmeans.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orthomix {
namespace {

struct Genes {
    GeneStore store;
    std::vector<GeneRecord*> list;
    explicit Genes(const std::vector<double>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            store.push_back(std::make_unique<GeneRecord>(std::vector<double>{values[i]}, "g" + std::to_string(i)));
            list.push_back(store.back().get());
        }
    }
};

KMeansRun runOn(const Genes& genes, int k, std::uint32_t seed, ClusterStore& store) {
    KMeansRun kmeans;
    kmeans.genes = genes.list;
    kmeans.k = k;
    kmeans.tolerance = 1e-4;
    RandomGenerator random(seed);
    kmeans.run(random, store);
    return kmeans;
}

TEST(KMeansRun, SeedsAreTheGenesTheGeneratorPredicts) {
    // Seed 1 draws 41, 18467, 6334: positions 1, 7 and 4 of ten genes.
    Genes genes({0, 100, 200, 300, 400, 500, 600, 700, 800, 900});
    ClusterStore store;
    const KMeansRun kmeans = runOn(genes, 3, 1, store);
    ASSERT_EQ(kmeans.nonEmptyClusterCount, 3);
    const std::vector<int> expected = {0, 0, 0, 2, 2, 2, 1, 1, 1, 1};
    for (std::size_t i = 0; i < genes.list.size(); ++i) {
        EXPECT_EQ(genes.list[i]->clusterIndex, expected[i]) << "gene " << i;
    }
    EXPECT_EQ(kmeans.clusters[1]->center->expression, (std::vector<double>{750.0}));
    EXPECT_GT(kmeans.meanDistance, 0.0);
}

TEST(KMeansRun, IdenticalSeedsLeaveAClusterEmptyAndCompactionRenumbers) {
    // Seed 1 picks positions 5, 4 and 0 of six genes: two seeds with value 0, then a 10.
    Genes genes({10, 0, 10, 0, 0, 0});
    ClusterStore store;
    const KMeansRun kmeans = runOn(genes, 3, 1, store);
    EXPECT_EQ(kmeans.meanDistance, 0.0) << "a perfect first pass ends the k-means";
    ASSERT_EQ(kmeans.nonEmptyClusterCount, 2);
    ASSERT_EQ(kmeans.clusters.size(), 2u);
    EXPECT_EQ(kmeans.clusters[0]->index, 0);
    EXPECT_EQ(kmeans.clusters[1]->index, 1) << "the third seed's cluster takes the freed number";
    EXPECT_EQ(genes.list[0]->clusterIndex, 1);
    EXPECT_EQ(genes.list[2]->clusterIndex, 1);
    EXPECT_EQ(genes.list[5]->clusterIndex, 0);
    EXPECT_EQ(store.size(), 3u) << "the dropped cluster is still owned by the store";
}

TEST(KMeansRun, OneClusterAndAllSeedsDrawn) {
    Genes genes({3, 1, 4, 1, 5});
    ClusterStore store;
    const KMeansRun single = runOn(genes, 1, 42, store);
    ASSERT_EQ(single.nonEmptyClusterCount, 1);
    EXPECT_EQ(single.clusters[0]->memberCount(), 5u);
    for (const GeneRecord* gene : genes.list) EXPECT_EQ(gene->clusterIndex, 0);

    // k equal to the number of genes: the collision redraw finds every gene.
    Genes distinct({0, 10, 20, 30, 40});
    const KMeansRun all = runOn(distinct, 5, 7, store);
    EXPECT_EQ(all.nonEmptyClusterCount, 5);
    EXPECT_EQ(all.meanDistance, 0.0);
}

TEST(KMeansRun, SameSeedSameClustering) {
    std::vector<double> values;
    for (int i = 0; i < 200; ++i) values.push_back((i * 37) % 101 + 0.5 * (i % 7));
    Genes first(values), second(values);
    ClusterStore store;
    runOn(first, 6, 12345, store);
    runOn(second, 6, 12345, store);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(first.list[i]->clusterIndex, second.list[i]->clusterIndex);
    }
}

}  // namespace
}  // namespace orthomix
