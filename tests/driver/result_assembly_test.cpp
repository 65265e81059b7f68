#include "driver/result_assembly.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver/repetitions.h"

namespace orthomix {
namespace {

GeneRecord* addGene(GeneStore& store, const std::string& name, std::vector<double> values,
                    std::int32_t clusterIndex = -1, const std::string& annotation = "") {
    store.push_back(std::make_unique<GeneRecord>(std::move(values), name));
    store.back()->clusterIndex = clusterIndex;
    store.back()->annotation = annotation;
    return store.back().get();
}

std::vector<std::string> memberNames(const GeneCluster& cluster) {
    std::vector<std::string> names;
    for (const GeneRecord* gene : cluster.members) names.push_back(gene->name);
    return names;
}

TEST(SnapshotCluster, KeepsTheFirstOfEachNameSortedAsPrivateCopies) {
    GeneStore store;
    GeneRecord* firstB = addGene(store, "B", {1.0, 2.0}, 7, "first b");
    GeneRecord* a = addGene(store, "A", {3.0, 4.0}, 7, "a");
    GeneRecord* secondB = addGene(store, "B", {50.0, 60.0}, 7, "second b");
    firstB->hasOrtholog = true;
    GeneCluster cluster(2, 2);
    for (GeneRecord* gene : {firstB, a, secondB}) cluster.appendMember(gene);
    cluster.recomputeCenter();

    snapshotCluster(cluster);

    ASSERT_EQ(cluster.memberCount(), 2u) << "the second B is dropped";
    EXPECT_EQ(memberNames(cluster), (std::vector<std::string>{"A", "B"})) << "members sorted by name";
    const GeneRecord& copyA = *cluster.members[0];
    const GeneRecord& copyB = *cluster.members[1];
    EXPECT_EQ(copyB.expression, (std::vector<double>{1.0, 2.0})) << "B keeps the values of the first B";
    EXPECT_EQ(copyB.annotation, "first b");
    EXPECT_EQ(copyA.annotation, "a");
    for (const GeneRecord* copy : cluster.members) {
        EXPECT_EQ(copy->clusterIndex, 2) << copy->name << " carries the cluster's index";
        EXPECT_FALSE(copy->hasOrtholog) << copy->name;
        EXPECT_TRUE(copy != firstB && copy != a && copy != secondB) << copy->name << " is a private copy";
    }
    ASSERT_NE(cluster.center, nullptr);
    EXPECT_EQ(cluster.center->expression, (std::vector<double>{2.0, 3.0})) << "centre of A and the first B";
    EXPECT_EQ(cluster.center->name, "CENTER");

    // The shared records are left as they were, for the next repetition.
    EXPECT_EQ(firstB->clusterIndex, 7);
    EXPECT_TRUE(firstB->hasOrtholog);
    EXPECT_EQ(secondB->expression, (std::vector<double>{50.0, 60.0}));
    EXPECT_EQ(secondB->annotation, "second b");
    EXPECT_EQ(a->clusterIndex, 7);
}

// Best clusterings of nH human and nM mouse clusters; only the first member's
// value count matters to the gene-pair table.
struct PairTableFixture {
    GeneStore genes;
    ClusterStore clusters;
    std::vector<GeneCluster*> human, mouse, output;
    std::vector<GenePair> pairs;

    PairTableFixture(std::int32_t nH, std::int32_t nM) {
        for (std::int32_t i = 0; i < nH; ++i) human.push_back(newCluster(i, 2));
        for (std::int32_t j = 0; j < nM; ++j) mouse.push_back(newCluster(j, 1));
        human.front()->appendMember(addGene(genes, "hseed", {0.0, 0.0}));
        mouse.front()->appendMember(addGene(genes, "mseed", {0.0}));
    }
    GeneCluster* newCluster(std::int32_t index, std::int32_t dimension) {
        clusters.push_back(std::make_unique<GeneCluster>(index, dimension));
        return clusters.back().get();
    }
    void pair(GeneRecord* h, GeneRecord* m) { pairs.push_back({h, m}); }
    void build() { buildGenePairClusters(human, mouse, pairs, output, clusters, genes); }
    std::size_t nonEmptyCells() const {
        std::size_t cells = 0;
        for (const GeneCluster* cell : output) cells += cell->memberCount() > 0 ? 1 : 0;
        return cells;
    }
};

TEST(GenePairClusters, PlacesEachPairInTheCellOfItsTwoClusters) {
    PairTableFixture f(3, 3);
    GeneRecord* h = addGene(f.genes, "H1", {1.0, 2.0}, 2, "sym");
    GeneRecord* m = addGene(f.genes, "M1", {9.0}, 0);
    f.pair(h, m);
    f.pair(addGene(f.genes, "H2", {5.0, 5.0}, 1), addGene(f.genes, "M2", {5.0}, 3));  // mouse gene in scatter
    GeneCluster stale(0, 0);
    f.output.push_back(&stale);

    f.build();

    ASSERT_EQ(f.output.size(), 9u) << "the output is emptied, then holds nH x nM cells";
    for (std::size_t c = 0; c < f.output.size(); ++c) {
        EXPECT_EQ(f.output[c]->index, static_cast<std::int32_t>(c));
        EXPECT_EQ(f.output[c]->dimension, 3) << "human plus mouse columns";
    }
    EXPECT_EQ(f.nonEmptyCells(), 1u) << "the scatter pair is skipped";
    const GeneCluster& cell = *f.output[6];
    ASSERT_EQ(cell.memberCount(), 1u) << "human cluster 2 x mouse cluster 0 is cell 6";
    const GeneRecord& pseudoGene = *cell.members.front();
    EXPECT_EQ(pseudoGene.name, "H1");
    EXPECT_EQ(pseudoGene.annotation, "sym");
    EXPECT_EQ(pseudoGene.expression, (std::vector<double>{1.0, 2.0, 9.0}));
    EXPECT_EQ(pseudoGene.clusterIndex, 6);
    EXPECT_FALSE(pseudoGene.hasOrtholog);
    ASSERT_NE(cell.center, nullptr);
    EXPECT_EQ(cell.center->expression, (std::vector<double>{1.0, 2.0, 9.0}));
    EXPECT_EQ(f.output[0]->center, nullptr) << "an empty cell has no centre";
    EXPECT_EQ(f.output[8]->memberCount(), 0u) << "empty cells keep their place";
    EXPECT_EQ(h->clusterIndex, 2) << "the shared genes keep their indices";
    EXPECT_EQ(m->expression, (std::vector<double>{9.0}));
}

TEST(GenePairClusters, NumbersCellsRowByRowForUnequalSides) {
    PairTableFixture f(2, 3);
    f.pair(addGene(f.genes, "H1", {1.0, 1.0}, 1), addGene(f.genes, "M1", {2.0}, 2));
    f.pair(addGene(f.genes, "H2", {1.0, 1.0}, 0), addGene(f.genes, "M2", {2.0}, 1));
    f.build();
    ASSERT_EQ(f.output.size(), 6u);
    EXPECT_EQ(memberNames(*f.output[5]), (std::vector<std::string>{"H1"})) << "(1, 2) is cell 1 * 3 + 2";
    EXPECT_EQ(memberNames(*f.output[1]), (std::vector<std::string>{"H2"})) << "(0, 1) is cell 1";
    EXPECT_EQ(f.nonEmptyCells(), 2u);
}

TEST(GenePairClusters, AHumanGeneWithTwoMouseOrthologsGivesTwoPseudoGenes) {
    PairTableFixture f(2, 2);
    GeneRecord* h = addGene(f.genes, "H1", {1.0, 2.0}, 0);
    f.pair(h, addGene(f.genes, "M1", {3.0}, 0));
    f.pair(h, addGene(f.genes, "M2", {5.0}, 0));
    f.pair(h, addGene(f.genes, "M3", {7.0}, 1));
    f.build();
    ASSERT_EQ(f.output[0]->memberCount(), 2u);
    EXPECT_EQ(memberNames(*f.output[0]), (std::vector<std::string>{"H1", "H1"}));
    EXPECT_EQ(f.output[0]->members[1]->expression, (std::vector<double>{1.0, 2.0, 5.0})) << "pairs in map order";
    EXPECT_EQ(f.output[0]->center->expression, (std::vector<double>{1.0, 2.0, 4.0}));
    EXPECT_EQ(memberNames(*f.output[1]), (std::vector<std::string>{"H1"}));
}

TEST(GenePairClusters, SkipsIndicesOutsideTheBestClusterings) {
    // Indices left by a later repetition that kept more clusters, or none yet.
    PairTableFixture f(3, 3);
    f.pair(addGene(f.genes, "H1", {1.0, 1.0}, 5), addGene(f.genes, "M1", {1.0}, 0));
    f.pair(addGene(f.genes, "H2", {1.0, 1.0}, -1), addGene(f.genes, "M2", {1.0}, 0));
    f.pair(addGene(f.genes, "H3", {1.0, 1.0}, 0), addGene(f.genes, "M3", {1.0}, 4));
    f.pair(addGene(f.genes, "H4", {1.0, 1.0}, 0), addGene(f.genes, "M4", {1.0}, -1));
    f.pair(addGene(f.genes, "H5", {1.0, 1.0}, 3), addGene(f.genes, "M5", {1.0}, 0));  // human scatter
    const std::size_t genesBefore = f.genes.size();
    f.build();
    EXPECT_EQ(f.output.size(), 9u);
    EXPECT_EQ(f.nonEmptyCells(), 0u);
    EXPECT_EQ(f.genes.size(), genesBefore) << "no pseudo-gene for a skipped pair";
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
