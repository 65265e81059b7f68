#include <gtest/gtest.h>

#include <cmath>

#include "records/gene_cluster.h"
#include "records/gene_record.h"

namespace orthomix {
namespace {

TEST(GeneRecord, StartsUnassignedWithoutAnnotation) {
    GeneRecord gene({1.0, 2.0}, "g1");
    EXPECT_EQ(gene.name, "g1");
    EXPECT_EQ(gene.annotation, "");
    EXPECT_EQ(gene.clusterIndex, -1);
    EXPECT_FALSE(gene.hasOrtholog);
    GeneRecord other({4.0, 6.0}, "g2");
    EXPECT_DOUBLE_EQ(distance(gene, other), 5.0);
}

TEST(GeneCluster, EmptyClusterKeepsItsCentreAndHasNoSpread) {
    GeneCluster cluster(2, 3);
    cluster.recomputeCenter();
    EXPECT_EQ(cluster.center, nullptr) << "an empty cluster without centre keeps none";
    GeneRecord seed({1.0, 2.0, 3.0}, "seed");
    cluster.setCenterFrom(seed);
    const GeneRecord* before = cluster.center.get();
    cluster.recomputeCenter();
    EXPECT_EQ(cluster.center.get(), before) << "an empty cluster keeps its old centre";
    EXPECT_EQ(cluster.meanDistanceToCenter(), 0.0);
    cluster.propagateIndex();  // no members: nothing to change
    EXPECT_EQ(seed.clusterIndex, -1);
}

TEST(GeneCluster, CentroidIsTheMemberMeanOverDimensionColumns) {
    GeneRecord a({1.0, 10.0, 100.0}, "a");
    GeneRecord b({3.0, 20.0, 200.0}, "b");
    GeneCluster cluster(4, 2);  // only the first two columns count
    cluster.appendMember(&a);
    cluster.recomputeCenter();
    ASSERT_NE(cluster.center, nullptr);
    EXPECT_EQ(cluster.center->expression, (std::vector<double>{1.0, 10.0})) << "one member: its own values";
    cluster.appendMember(&b);
    cluster.recomputeCenter();
    EXPECT_EQ(cluster.center->name, "CENTER");
    EXPECT_EQ(cluster.center->clusterIndex, -1);
    EXPECT_EQ(cluster.center->expression, (std::vector<double>{2.0, 15.0}));
    EXPECT_EQ(cluster.memberCount(), 2u);

    cluster.propagateIndex();
    EXPECT_EQ(a.clusterIndex, 4);
    EXPECT_EQ(b.clusterIndex, 4);
}

TEST(GeneCluster, MeanDistanceToCenterAveragesOverMembers) {
    GeneRecord a({0.0, 0.0}, "a");
    GeneRecord b({6.0, 8.0}, "b");
    GeneCluster cluster(0, 2);
    cluster.appendMember(&a);
    cluster.appendMember(&b);
    cluster.recomputeCenter();  // (3, 4): each member is 5 away
    EXPECT_DOUBLE_EQ(cluster.meanDistanceToCenter(), 5.0);
}

TEST(GeneClusterDeathTest, DistanceBetweenVectorsOfDifferentLengthIsFatal) {
    GeneRecord a({1.0, 2.0}, "a");
    GeneRecord b({1.0}, "b");
    EXPECT_EXIT(distance(a, b), ::testing::ExitedWithCode(1), "Two vectors have different sizes. ");
}

}  // namespace
}  // namespace orthomix
