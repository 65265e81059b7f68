#include "model/em_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "model/kmeans.h"
#include "support/partition_metrics.h"
#include "support/test_support.h"

namespace orthomix {
namespace {

using testing::TempDir;
using testing::writeFile;

// Well separated clusters in each organism; ortholog i of human cluster c is
// gene i of mouse cluster c.
struct PlantedData {
    GeneStore store;
    std::vector<GeneRecord*> human, mouse;
    std::vector<int> humanTruth, mouseTruth;
    std::string orthologText;

    PlantedData(int clusters, int genesPerCluster, int humanColumns, int mouseColumns, unsigned seed) {
        std::mt19937 random(seed);
        // Portable noise in [-1, 1]: integer draws only.
        const auto noise = [&random] { return static_cast<double>(random() % 2001) / 1000.0 - 1.0; };
        const auto make = [&](char prefix, int columns, std::vector<GeneRecord*>& genes, std::vector<int>& truth) {
            for (int c = 0; c < clusters; ++c) {
                for (int g = 0; g < genesPerCluster; ++g) {
                    std::vector<double> values;
                    for (int i = 0; i < columns; ++i) values.push_back((i % clusters == c ? 8.0 : 0.0) + noise());
                    const std::string name = prefix + std::to_string(c) + "_" + std::to_string(g);
                    store.push_back(std::make_unique<GeneRecord>(values, name));
                    genes.push_back(store.back().get());
                    truth.push_back(c);
                }
            }
        };
        make('H', humanColumns, human, humanTruth);
        make('M', mouseColumns, mouse, mouseTruth);
        for (int c = 0; c < clusters; ++c) {
            for (int g = 0; g < genesPerCluster; g += 2) {
                orthologText += "H" + std::to_string(c) + "_" + std::to_string(g) + "\tM" + std::to_string(c) + "_" +
                                std::to_string(g) + "\n";
            }
        }
    }
};

std::vector<GeneCluster*> kmeansStart(const std::vector<GeneRecord*>& genes, int k, RandomGenerator& random,
                                      ClusterStore& store) {
    KMeansRun kmeans;
    kmeans.genes = genes;
    kmeans.k = k;
    kmeans.tolerance = 1e-4;
    kmeans.run(random, store);
    return kmeans.clusters;
}

std::vector<int> labels(const std::vector<GeneRecord*>& genes) {
    std::vector<int> result;
    for (const GeneRecord* gene : genes) result.push_back(gene->clusterIndex);
    return result;
}

TEST(EmRun, OneGoodStartRecoversThePlantedClusters) {
    PlantedData data(4, 30, 8, 6, 17);
    TempDir dir;
    writeFile(dir.file("orthologs.txt"), data.orthologText);
    RandomGenerator random(4);  // a start that seeds every planted cluster
    ClusterStore clusters;
    EmRun em(data.human, data.mouse, kmeansStart(data.human, 4, random, clusters),
             kmeansStart(data.mouse, 4, random, clusters), dir.file("orthologs.txt"), 1e-4, 10);
    ASSERT_TRUE(em.run()) << em.failureReason;
    EXPECT_TRUE(std::isfinite(em.logLikelihood));
    EXPECT_GE(em.iterations, 1);
    EXPECT_LE(em.iterations, EmRun::kMaxIterations);
    for (const GeneCluster* cluster : em.humanClusters) EXPECT_GT(cluster->memberCount(), 0u);
    for (const GeneCluster* cluster : em.mouseClusters) EXPECT_GT(cluster->memberCount(), 0u);
    EXPECT_GE(testing::adjustedRandIndex(data.humanTruth, labels(data.human)), 0.9);
    EXPECT_GE(testing::adjustedRandIndex(data.mouseTruth, labels(data.mouse)), 0.9);
    EXPECT_EQ(em.matchSummary().matched, 60u);
}

TEST(EmRun, TheHighestLikelihoodAmongStartsRecoversThePlantedClusters) {
    // Random starts often put two seeds into one planted cluster; the
    // likelihood must single out a start that did not.
    PlantedData data(4, 30, 8, 6, 17);
    TempDir dir;
    writeFile(dir.file("orthologs.txt"), data.orthologText);
    RandomGenerator random(1);
    ClusterStore clusters;
    double best = -INFINITY;
    std::vector<int> bestHuman, bestMouse;
    for (int start = 0; start < 8; ++start) {
        EmRun em(data.human, data.mouse, kmeansStart(data.human, 4, random, clusters),
                 kmeansStart(data.mouse, 4, random, clusters), dir.file("orthologs.txt"), 1e-4, 10);
        if (!em.run() || !(em.logLikelihood > best)) continue;
        best = em.logLikelihood;
        bestHuman = labels(data.human);
        bestMouse = labels(data.mouse);
    }
    ASSERT_FALSE(bestHuman.empty());
    EXPECT_GE(testing::adjustedRandIndex(data.humanTruth, bestHuman), 0.9);
    EXPECT_GE(testing::adjustedRandIndex(data.mouseTruth, bestMouse), 0.9);
}

TEST(EmRun, PairMapsFollowGeneOrderAndOneToManyPairsGiveOneEntryEach) {
    GeneRecord h0({0.0}, "h0"), h1({1.0}, "h1"), h2({2.0}, "h1");  // h2 shares h1's name: never matched
    GeneRecord m0({0.0}, "m0"), m1({1.0}, "m1"), m2({2.0}, "m2");
    TempDir dir;
    // File order and table order differ from gene order; an unknown id and a repeated line.
    writeFile(dir.file("o.txt"), "h1\tm2\nh1\tm0\nh0\tm1\nzz\tm1\nh1\tm0\nh0\tq9\n");
    EmRun em({&h0, &h1, &h2}, {&m0, &m1, &m2}, {}, {}, dir.file("o.txt"), 1e-4, 0);
    em.readPairs();
    ASSERT_EQ(em.humanToMouse.size(), 3u);
    // Keyed by the human gene's position; one key keeps the table's (identifier) order.
    EXPECT_EQ(em.humanToMouse[0].human, &h0);
    EXPECT_EQ(em.humanToMouse[1].mouse, &m0);
    EXPECT_EQ(em.humanToMouse[2].mouse, &m2);
    EXPECT_EQ(em.mouseToHuman[0].mouse, &m0);
    EXPECT_EQ(em.mouseToHuman[1].mouse, &m1);
    EXPECT_EQ(em.mouseToHuman[2].mouse, &m2);
    EXPECT_TRUE(h1.hasOrtholog);
    EXPECT_FALSE(h2.hasOrtholog);
    EXPECT_EQ(em.unpairedHumanGenes, (std::vector<GeneRecord*>{&h2}));
    EXPECT_TRUE(em.unpairedMouseGenes.empty());
    EXPECT_EQ(em.matchSummary().entries, 5u);
    EXPECT_EQ(em.matchSummary().matched, 3u);
    EXPECT_EQ(em.matchSummary().unmatchedHumanExample, "zz");
    EXPECT_EQ(em.matchSummary().unmatchedMouseExample, "q9");
}

TEST(EmRun, FailsWhenEveryPairIsScatterOrNoPairMatches) {
    PlantedData data(2, 10, 4, 4, 3);
    TempDir dir;
    writeFile(dir.file("none.txt"), "X1\tY1\n");
    RandomGenerator random(5);
    ClusterStore clusters;
    EmRun unmatched(data.human, data.mouse, kmeansStart(data.human, 2, random, clusters),
                    kmeansStart(data.mouse, 2, random, clusters), dir.file("none.txt"), 1e-4, 10);
    EXPECT_FALSE(unmatched.run());

    // A huge scatter pseudo count makes the scatter term win every pair.
    writeFile(dir.file("pairs.txt"), data.orthologText);
    EmRun allScatter(data.human, data.mouse, kmeansStart(data.human, 2, random, clusters),
                     kmeansStart(data.mouse, 2, random, clusters), dir.file("pairs.txt"), 1e-4, 2000000000);
    EXPECT_FALSE(allScatter.run());
    EXPECT_EQ(allScatter.iterations, 0) << "it fails in the first iteration";
}

TEST(EmRunDeathTest, MissingOrthologFileIsFatal) {
    EmRun em({}, {}, {}, {}, "no/such/orthologs.txt", 1e-4, 0);
    EXPECT_EXIT(em.readPairs(), ::testing::ExitedWithCode(1), "^Cannot open no/such/orthologs.txt\n$");
}

}  // namespace
}  // namespace orthomix
