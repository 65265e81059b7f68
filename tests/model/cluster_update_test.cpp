#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/cluster_update.h"

namespace orthomix {
namespace {

// Pair records with posterior margins for given human and mouse weights.
struct Records {
    std::vector<double> margins;
    std::vector<OrthologPairRecord> records;

    Records(const std::vector<std::pair<GeneRecord*, GeneRecord*>>& genes,
            const std::vector<std::vector<double>>& rowSums, const std::vector<std::vector<double>>& columnSums) {
        const std::size_t kHm = rowSums.front().size();
        const std::size_t kMs = columnSums.front().size();
        margins.resize(genes.size() * (kHm + kMs));
        for (std::size_t r = 0; r < genes.size(); ++r) {
            double* base = margins.data() + r * (kHm + kMs);
            std::copy(rowSums[r].begin(), rowSums[r].end(), base);
            std::copy(columnSums[r].begin(), columnSums[r].end(), base + kHm);
            records.push_back({genes[r].first, genes[r].second, base, base + kHm});
        }
    }
};

TEST(UpdateClusterParameters, WeightedMeanAndPopulationVariance) {
    GeneRecord h1({1.0, 2.0}, "h1"), h2({3.0, 6.0}, "h2");
    GeneRecord m1({5.0}, "m1"), m2({7.0}, "m2");
    Records data({{&h1, &m1}, {&h2, &m2}}, {{1.0}, {1.0}}, {{1.0, 0.0}, {0.0, 1.0}});
    GeneCluster hc(0, 2), mc0(0, 1), mc1(1, 1);
    std::vector<ClusterParameters> humanParams, mouseParams;
    ASSERT_EQ(updateClusterParameters({&hc}, {&mc0, &mc1}, humanParams, mouseParams, data.records), 0);
    ASSERT_EQ(humanParams.size(), 1u);
    EXPECT_EQ(humanParams[0].mean, (std::vector<double>{2.0, 4.0}));
    EXPECT_EQ(humanParams[0].variance, (std::vector<double>{1.0, 4.0}));
    // One pair of non-zero weight: its values as the mean, variance 0.
    EXPECT_EQ(mouseParams[0].mean, (std::vector<double>{5.0}));
    EXPECT_EQ(mouseParams[0].variance, (std::vector<double>{0.0}));
    EXPECT_EQ(mouseParams[1].mean, (std::vector<double>{7.0}));
}

TEST(UpdateClusterParameters, ClusterWithoutWeightFails) {
    GeneRecord h1({1.0}, "h1"), m1({5.0}, "m1");
    Records data({{&h1, &m1}}, {{1.0, 0.0}}, {{1.0}});
    GeneCluster hc0(0, 1), hc1(1, 1), mc(0, 1);
    std::vector<ClusterParameters> humanParams, mouseParams;
    EXPECT_EQ(updateClusterParameters({&hc0, &hc1}, {&mc}, humanParams, mouseParams, data.records), -1)
        << "human cluster 1 has no weight";
    Records mouseSide({{&h1, &m1}}, {{1.0}}, {{1.0, 0.0}});
    EXPECT_EQ(updateClusterParameters({&hc0}, {&mc, &hc1}, humanParams, mouseParams, mouseSide.records), -1)
        << "mouse cluster 1 has no weight";
    EXPECT_EQ(updateClusterParameters({&hc0}, {&mc}, humanParams, mouseParams, mouseSide.records), 0);
}

TEST(ReassignClusterMembers, NearestMeanScatterPairsAndUnpairedGenes) {
    GeneRecord h1({0.0}, "h1"), h2({10.0}, "h2"), h3({4.0}, "h3"), hu({6.0}, "hu");
    GeneRecord m1({1.0}, "m1"), m2({9.0}, "m2"), m3({2.0}, "m3");
    GeneCluster hc0(0, 1), hc1(1, 1), mc0(0, 1), mc1(1, 1);
    const std::vector<ClusterParameters> humanParams = {{{0.0}, {1.0}}, {{10.0}, {1.0}}};
    const std::vector<ClusterParameters> mouseParams = {{{1.0}, {1.0}}, {{9.0}, {1.0}}};
    h1.clusterIndex = 1;  // E-step cells do not decide the cluster, only scatter or not
    m1.clusterIndex = 1;
    h2.clusterIndex = 0;
    m2.clusterIndex = 0;
    h3.clusterIndex = 2;  // scatter human gene
    m3.clusterIndex = 0;
    const std::vector<GenePair> pairs = {{&h1, &m1}, {&h1, &m2}, {&h2, &m2}, {&h3, &m3}};
    std::vector<GenePair> scatterPairs = {{&h2, &m1}};
    ASSERT_EQ(reassignClusterMembers(humanParams, mouseParams, {&hc0, &hc1}, {&mc0, &mc1}, pairs, {&hu}, {},
                                     scatterPairs),
              0);
    ASSERT_EQ(scatterPairs.size(), 1u);
    EXPECT_EQ(scatterPairs[0].human, &h3) << "a pair with one scatter gene is a scatter pair";
    EXPECT_EQ(hc0.members, (std::vector<GeneRecord*>{&h1, &h1})) << "a gene in two pairs is appended twice";
    EXPECT_EQ(hc1.members, (std::vector<GeneRecord*>{&h2, &hu})) << "unpaired genes follow the paired ones";
    EXPECT_EQ(h3.clusterIndex, 2) << "scatter genes keep their index";
    EXPECT_EQ(m3.clusterIndex, 0) << "and so does the other gene of a scatter pair until it is placed";
    EXPECT_EQ(h1.clusterIndex, 0);
    EXPECT_EQ(h2.clusterIndex, 1);
    EXPECT_EQ(mc1.members, (std::vector<GeneRecord*>{&m2, &m2}));
    EXPECT_EQ(hc1.center->expression, (std::vector<double>{8.0}));
}

TEST(NearestMean, TiesKeepTheFirstAndNanNeverWins) {
    GeneRecord gene({5.0}, "g");
    EXPECT_EQ(nearestMean({{{0.0}, {1.0}}, {{10.0}, {1.0}}}, gene), 0) << "equal distances: the first entry";
    EXPECT_EQ(nearestMean({{{std::nan("")}, {1.0}}, {{7.0}, {1.0}}}, gene), 1);
    EXPECT_EQ(nearestMean({{{std::nan("")}, {1.0}}}, gene), -1);
    EXPECT_EQ(nearestMean({}, gene), -1);
    GeneRecord huge({1e12}, "huge");
    EXPECT_EQ(nearestMean({{{-1e12}, {1.0}}}, huge), 0) << "distances of 1e9 and more still count";
}

}  // namespace
}  // namespace orthomix
