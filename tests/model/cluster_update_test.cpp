#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "model/m_step.h"
#include "model/nearest_mean.h"
#include "model/reassignment.h"
#include "model_test_data.h"
#include "numeric/distance.h"

namespace orthomix {
namespace {

using testing::datasetOf;
using testing::organismOf;
using Members = std::vector<std::uint32_t>;

// Posterior weights per pair: row sums over the human clusters, column sums over the mouse clusters.
PairWeights weightsOf(const std::vector<std::vector<double>>& rowSums,
                      const std::vector<std::vector<double>>& columnSums) {
    PairWeights weights;
    weights.reset(rowSums.size(), rowSums.front().size(), columnSums.front().size());
    for (std::size_t r = 0; r < rowSums.size(); ++r) {
        for (std::size_t c = 0; c < rowSums[r].size(); ++c) weights.rowSums(r)[c] = rowSums[r][c];
        for (std::size_t c = 0; c < columnSums[r].size(); ++c) weights.columnSums(r)[c] = columnSums[r][c];
    }
    return weights;
}

std::vector<double> meansOf(const OrganismState& state, std::size_t cluster) {
    const double* mean = state.parameters.mean(cluster);
    return {mean, mean + state.parameters.columns};
}

std::vector<double> variancesOf(const OrganismState& state, std::size_t cluster) {
    const double* variance = state.parameters.variance(cluster);
    return {variance, variance + state.parameters.columns};
}

TEST(UpdateClusterParameters, WeightedMeanAndPopulationVariance) {
    const Dataset data = datasetOf(organismOf({"h1", "h2"}, {{1.0, 2.0}, {3.0, 6.0}}),
                                   organismOf({"m1", "m2"}, {{5.0}, {7.0}}), {{"h1", "m1"}, {"h2", "m2"}});
    const PairWeights weights = weightsOf({{1.0}, {1.0}}, {{1.0, 0.0}, {0.0, 1.0}});
    OrganismState human, mouse;
    MStepWorkspace workspace;
    ASSERT_TRUE(updateClusterParameters(data, weights, human, mouse, workspace));
    ASSERT_EQ(human.parameters.clusterCount, 1u);
    ASSERT_EQ(mouse.parameters.clusterCount, 2u);
    EXPECT_EQ(meansOf(human, 0), (std::vector<double>{2.0, 4.0}));
    EXPECT_EQ(variancesOf(human, 0), (std::vector<double>{1.0, 4.0})) << "divided by the weight, not weight - 1";
    // One pair of non-zero weight: its values as the mean, variance 0.
    EXPECT_EQ(meansOf(mouse, 0), (std::vector<double>{5.0}));
    EXPECT_EQ(variancesOf(mouse, 0), (std::vector<double>{0.0}));
    EXPECT_EQ(meansOf(mouse, 1), (std::vector<double>{7.0}));

    // Fractional weights: 0.75 of a 0 and 0.25 of a 4 give mean 1 and variance 3.
    const Dataset shared = datasetOf(organismOf({"a", "b"}, {{0.0}, {4.0}}), organismOf({"m"}, {{1.0}}),
                                     {{"a", "m"}, {"b", "m"}});
    const PairWeights fractional = weightsOf({{0.75, 0.25}, {0.25, 0.75}}, {{1.0}, {1.0}});
    ASSERT_TRUE(updateClusterParameters(shared, fractional, human, mouse, workspace));
    EXPECT_EQ(meansOf(human, 0), (std::vector<double>{1.0}));
    EXPECT_EQ(variancesOf(human, 0), (std::vector<double>{3.0}));
    EXPECT_EQ(meansOf(human, 1), (std::vector<double>{3.0}));
    EXPECT_EQ(meansOf(mouse, 0), (std::vector<double>{1.0})) << "a gene in two pairs counts once per pair";
}

TEST(UpdateClusterParameters, DividesByMultiplyingWithTheReciprocal) {
    // Two pairs of weight 0.1: the sums run in pair order and are multiplied by
    // 1 / 0.2, which here differs from dividing by 0.2 in the last bit.
    const Dataset data = datasetOf(organismOf({"a", "b"}, {{1.0}, {5.0}}), organismOf({"m"}, {{2.0}}),
                                   {{"a", "m"}, {"b", "m"}});
    const PairWeights weights = weightsOf({{0.1}, {0.1}}, {{1.0}, {1.0}});
    OrganismState human, mouse;
    MStepWorkspace workspace;
    ASSERT_TRUE(updateClusterParameters(data, weights, human, mouse, workspace));
    const double total = (0.0 + 0.1) + 0.1;
    const double sum = (0.0 + 1.0 * 0.1) + 5.0 * 0.1;
    const double mean = sum * (1.0 / total);
    ASSERT_NE(mean, sum / total) << "the case no longer tells the two apart";
    EXPECT_EQ(meansOf(human, 0), (std::vector<double>{mean}));
    const double squares = (0.0 + ((1.0 - mean) * (1.0 - mean)) * 0.1) + ((5.0 - mean) * (5.0 - mean)) * 0.1;
    EXPECT_EQ(variancesOf(human, 0), (std::vector<double>{squares * (1.0 / total)}));
}

TEST(UpdateClusterParameters, WideMouseRowsReadThroughThePairsGiveTheSameSums) {
    // Wide rows, 16 blocks of sixteen columns and three more; the pairs name
    // the mouse genes out of their order, and one of them twice.
    const std::size_t columns = 259;
    std::vector<std::vector<double>> mouseRows(3, std::vector<double>(columns));
    for (std::size_t g = 0; g < 3; ++g) {
        for (std::size_t c = 0; c < columns; ++c) mouseRows[g][c] = 0.1 * static_cast<double>(g + 1) + 0.01 * c;
    }
    const Dataset data =
        datasetOf(organismOf({"a", "b", "c"}, {{1.0}, {2.0}, {3.0}}), organismOf({"x", "y", "z"}, mouseRows),
                  {{"a", "z"}, {"b", "x"}, {"c", "z"}});
    const PairWeights weights = weightsOf({{1.0}, {1.0}, {1.0}}, {{0.3}, {0.7}, {0.9}});
    OrganismState human, mouse;
    MStepWorkspace workspace;
    ASSERT_TRUE(updateClusterParameters(data, weights, human, mouse, workspace));
    const std::size_t pairMouse[] = {2, 0, 2};
    const double pairWeight[] = {0.3, 0.7, 0.9};
    const double total = ((0.0 + 0.3) + 0.7) + 0.9;
    std::vector<double> expectedMeans(columns), expectedVariances(columns);
    for (std::size_t c = 0; c < columns; ++c) {
        double sum = 0.0;
        for (std::size_t r = 0; r < 3; ++r) sum += mouseRows[pairMouse[r]][c] * pairWeight[r];
        const double mean = sum * (1.0 / total);
        double squares = 0.0;
        for (std::size_t r = 0; r < 3; ++r) {
            const double deviation = mouseRows[pairMouse[r]][c] - mean;
            squares += (deviation * deviation) * pairWeight[r];
        }
        expectedMeans[c] = mean;
        expectedVariances[c] = squares * (1.0 / total);
    }
    EXPECT_EQ(meansOf(mouse, 0), expectedMeans);
    EXPECT_EQ(variancesOf(mouse, 0), expectedVariances);
}

// Every cluster's mean and variance summed pair after pair, as the M-step
// must: sum += x * w over the pairs whose weight it takes, in pair order.
// The total adds every weight; with `aboveRounding`, a weight of at most one
// rounding of the total shared over the pairs is left out of the sums.
void expectSumsInPairOrder(const ExpressionMatrix& values, const std::vector<std::uint32_t>& geneOfPair,
                           const std::vector<std::vector<double>>& weights, bool aboveRounding,
                           const OrganismState& state, const std::string& where) {
    const std::size_t columns = values.columns();
    for (std::size_t c = 0; c < weights.front().size(); ++c) {
        double total = 0.0;
        for (const std::vector<double>& w : weights) total += w[c];
        const double smallestKept =
            aboveRounding ? 2.220446049250313e-16 * total / static_cast<double>(weights.size()) : 0.0;
        const auto kept = [&](std::size_t r) {
            return weights[r][c] != 0.0 && !(std::fabs(weights[r][c]) <= smallestKept);
        };
        std::vector<double> means(columns), variances(columns);
        for (std::size_t i = 0; i < columns; ++i) {
            double sum = 0.0;
            for (std::size_t r = 0; r < weights.size(); ++r) {
                if (kept(r)) sum += values.row(geneOfPair[r])[i] * weights[r][c];
            }
            means[i] = sum * (1.0 / total);
            double squares = 0.0;
            for (std::size_t r = 0; r < weights.size(); ++r) {
                const double deviation = values.row(geneOfPair[r])[i] - means[i];
                if (kept(r)) squares += (deviation * deviation) * weights[r][c];
            }
            variances[i] = squares * (1.0 / total);
        }
        EXPECT_EQ(meansOf(state, c), means) << where << ", cluster " << c;
        EXPECT_EQ(variancesOf(state, c), variances) << where << ", cluster " << c;
    }
}

TEST(UpdateClusterParameters, EveryBlockOfColumnsSumsInPairOrderOnAnyNumberOfThreadsAndKernel) {
    // Widths that take each kind of block: one column alone, a group of four
    // and two left over, full blocks of sixteen with a group and a column
    // after them, more than a block of 32 columns, and more clusters than a
    // block holds columns. Cluster counts that fill part of a vector of
    // eight, and more than the 32 whose totals are added at once.
    std::mt19937 random(29);
    std::uniform_real_distribution<double> value(-3.0, 5.0);
    const std::size_t clusterCounts[][2] = {{7, 5}, {37, 9}};
    for (const std::size_t columns : {std::size_t{1}, std::size_t{6}, std::size_t{23}, std::size_t{37}}) {
        const auto organism = [&](char prefix, std::size_t genes, std::size_t width) {
            std::vector<std::string> names;
            std::vector<std::vector<double>> rows(genes, std::vector<double>(width));
            for (std::size_t g = 0; g < genes; ++g) {
                names.push_back(prefix + std::to_string(g));
                for (double& v : rows[g]) v = value(random);
            }
            return organismOf(names, rows);
        };
        OrthologTable table;
        for (std::size_t p = 0; p < 60; ++p) table.insert({"h" + std::to_string(p % 40), "m" + std::to_string((p * 7) % 30)});
        const Dataset data = datasetOf(organism('h', 40, columns), organism('m', 30, columns + 2), table);
        const std::size_t pairs = data.orthologs.pairs.size();
        ASSERT_GT(pairs, 50u);
        std::vector<std::uint32_t> humanOfPair, mouseOfPair;
        for (const OrthologPair& pair : data.orthologs.pairs) {
            humanOfPair.push_back(pair.human);
            mouseOfPair.push_back(pair.mouse);
        }
        for (const auto& [humanClusters, mouseClusters] : clusterCounts) {
            // A third of the weights are 0 and a sixth far below one rounding
            // of the totals.
            std::vector<std::vector<double>> rowSums(pairs, std::vector<double>(humanClusters)),
                columnSums(pairs, std::vector<double>(mouseClusters));
            for (std::vector<std::vector<double>>* sums : {&rowSums, &columnSums}) {
                for (std::vector<double>& w : *sums) {
                    for (double& x : w) {
                        const unsigned kind = random() % 6;
                        x = kind < 2 ? 0.0 : kind == 2 ? 1e-20 * (value(random) + 3.5) : value(random) + 3.5;
                    }
                }
            }
            const PairWeights weights = weightsOf(rowSums, columnSums);
            ThreadPool threeThreads(3);
            for (const MStepWeights mode : {MStepWeights::AllButZero, MStepWeights::AboveRounding}) {
                for (const VectorKernel kernel :
                     {VectorKernel::Best, VectorKernel::FourLanes, VectorKernel::Portable}) {
                    for (ThreadPool* pool : {static_cast<ThreadPool*>(nullptr), &threeThreads}) {
                        const bool aboveRounding = mode == MStepWeights::AboveRounding;
                        const std::string where = std::to_string(columns) + " columns, " +
                                                  std::to_string(humanClusters) + " clusters, " +
                                                  (aboveRounding ? "above rounding" : "all but 0") + ", kernel " +
                                                  std::to_string(static_cast<int>(kernel)) +
                                                  (pool ? ", 3 threads" : ", no pool");
                        OrganismState human, mouse;
                        MStepWorkspace workspace;
                        ASSERT_TRUE(
                            updateClusterParameters(data, weights, human, mouse, workspace, pool, mode, kernel))
                            << where;
                        expectSumsInPairOrder(data.human.expression, humanOfPair, rowSums, aboveRounding, human,
                                              where + ", human");
                        expectSumsInPairOrder(data.mouse.expression, mouseOfPair, columnSums, aboveRounding, mouse,
                                              where + ", mouse");
                    }
                }
            }
        }
    }
}

TEST(UpdateClusterParameters, AboveRoundingLeavesOutWeightsOfAtMostOneRoundingOfTheTotalShared) {
    // The middle pair's weight, 1e-17, is below 2.2e-16 x 2 / 3; its gene's
    // value is so large that its term would show.
    const Dataset data = datasetOf(organismOf({"a", "b", "c"}, {{1.0}, {1e17}, {1.0}}),
                                   organismOf({"x", "y", "z"}, {{1.0}, {2.0}, {3.0}}),
                                   {{"a", "x"}, {"b", "y"}, {"c", "z"}});
    const PairWeights weights = weightsOf({{1.0}, {1e-17}, {1.0}}, {{1.0}, {1.0}, {1.0}});
    for (const VectorKernel kernel : {VectorKernel::Best, VectorKernel::FourLanes, VectorKernel::Portable}) {
        OrganismState human, mouse;
        MStepWorkspace workspace;
        ASSERT_TRUE(updateClusterParameters(data, weights, human, mouse, workspace, nullptr,
                                            MStepWeights::AboveRounding, kernel));
        EXPECT_EQ(meansOf(human, 0), std::vector<double>{1.0}) << static_cast<int>(kernel);
        ASSERT_TRUE(updateClusterParameters(data, weights, human, mouse, workspace, nullptr,
                                            MStepWeights::AllButZero, kernel));
        EXPECT_EQ(meansOf(human, 0), std::vector<double>{1.5}) << static_cast<int>(kernel);
    }
}

TEST(UpdateClusterParameters, ClusterWithoutWeightFailsAndNanWeightPassesOn) {
    const Dataset data = datasetOf(organismOf({"h1"}, {{1.0}}), organismOf({"m1"}, {{5.0}}), {{"h1", "m1"}});
    OrganismState human, mouse;
    MStepWorkspace workspace;
    EXPECT_FALSE(updateClusterParameters(data, weightsOf({{1.0, 0.0}}, {{1.0}}), human, mouse, workspace))
        << "human cluster 1 has no weight";
    EXPECT_FALSE(updateClusterParameters(data, weightsOf({{1.0}}, {{1.0, 0.0}}), human, mouse, workspace))
        << "mouse cluster 1 has no weight";
    EXPECT_FALSE(updateClusterParameters(data, weightsOf({{1.0}}, {{-0.5}}), human, mouse, workspace))
        << "a negative total weight";
    EXPECT_TRUE(updateClusterParameters(data, weightsOf({{1.0}}, {{1.0}}), human, mouse, workspace));

    // A NaN weight is not "no weight": the parameters become NaN and the
    // E-step deals with them.
    ASSERT_TRUE(updateClusterParameters(data, weightsOf({{std::nan("")}}, {{1.0}}), human, mouse, workspace));
    EXPECT_TRUE(std::isnan(meansOf(human, 0)[0]));
    EXPECT_EQ(meansOf(mouse, 0), (std::vector<double>{5.0}));
}

TEST(UpdateClusterParameters, APairOfWeightZeroTakesNoPartEvenWithInfiniteValues) {
    // Infinity times a weight of 0 would be NaN: a cluster the pair does not
    // weigh on must not see it, whether the weight is 0 or -0.
    const double inf = std::numeric_limits<double>::infinity();
    const Dataset data = datasetOf(organismOf({"a", "b", "c"}, {{inf, 1.0}, {2.0, 3.0}, {4.0, 5.0}}),
                                   organismOf({"m"}, {{1.0}}), {{"a", "m"}, {"b", "m"}, {"c", "m"}});
    const PairWeights weights = weightsOf({{1.0, 0.0}, {0.0, 1.0}, {-0.0, 1.0}}, {{1.0}, {1.0}, {1.0}});
    OrganismState human, mouse;
    MStepWorkspace workspace;
    ASSERT_TRUE(updateClusterParameters(data, weights, human, mouse, workspace));
    EXPECT_EQ(meansOf(human, 1), (std::vector<double>{3.0, 4.0}));
    EXPECT_EQ(variancesOf(human, 1), (std::vector<double>{1.0, 1.0}));
    EXPECT_EQ(meansOf(human, 0)[0], inf);

    // The same workspace serves another dataset of the same shape: the sums
    // read the values of the dataset at hand.
    const Dataset other = datasetOf(organismOf({"a", "b", "c"}, {{0.0, 1.0}, {2.0, 3.0}, {4.0, 5.0}}),
                                    organismOf({"m"}, {{7.0}}), {{"a", "m"}, {"b", "m"}, {"c", "m"}});
    ASSERT_TRUE(updateClusterParameters(other, weights, human, mouse, workspace));
    EXPECT_EQ(meansOf(mouse, 0), (std::vector<double>{7.0}));
    ASSERT_TRUE(updateClusterParameters(data, weights, human, mouse, workspace));
    EXPECT_EQ(meansOf(mouse, 0), (std::vector<double>{1.0}));

    // The same workspace serves a later call with other weights and clusters.
    ASSERT_TRUE(updateClusterParameters(data, weightsOf({{0.0}, {1.0}, {1.0}}, {{1.0}, {1.0}, {1.0}}), human, mouse,
                                        workspace));
    EXPECT_EQ(meansOf(human, 0), (std::vector<double>{3.0, 4.0}));
}

// The reassignment fixture: h1 is paired with m1 and m2, h2 with m2, h3 with
// m3; hu is unpaired. Means 0 and 10 for the human clusters, 1 and 9 for the
// mouse clusters, one column each.
struct ReassignmentCase {
    Dataset data = datasetOf(organismOf({"h1", "h2", "h3", "hu"}, {{0.0}, {10.0}, {4.0}, {6.0}}),
                             organismOf({"m1", "m2", "m3"}, {{1.0}, {9.0}, {2.0}}),
                             {{"h1", "m1"}, {"h1", "m2"}, {"h2", "m2"}, {"h3", "m3"}});
    OrganismState human = stateOf({0.0, 10.0}, data.human.geneCount());
    OrganismState mouse = stateOf({1.0, 9.0}, data.mouse.geneCount());
    ReassignmentWorkspace workspace;

    static OrganismState stateOf(const std::vector<double>& means, std::size_t genes) {
        OrganismState state;
        state.parameters.resize(means.size(), 1);
        state.parameters.means = means;
        state.parameters.variances.assign(means.size(), 1.0);
        state.clusters.columns = 1;
        state.clusters.members.assign(means.size(), Members{99, 98});  // stale lists the reassignment must clear
        state.clusters.centres.assign(means.size(), -1.0);
        state.labels.assign(genes, 0);
        return state;
    }
};

TEST(ReassignClusterMembers, NearestMeanScatterPairsAndUnpairedGenes) {
    ReassignmentCase c;
    ASSERT_EQ(c.data.orthologs.unpairedHuman, (std::vector<std::uint32_t>{3}));
    // The E-step's cells do not decide the cluster, only scatter or not.
    c.human.labels = {1, 0, 2, 0};  // h3 is scatter (label 2 of 2 clusters)
    c.mouse.labels = {1, 0, 0};
    const std::optional<std::size_t> scatterPairs = reassignClusterMembers(c.data, c.human, c.mouse, c.workspace);
    ASSERT_TRUE(scatterPairs.has_value());
    EXPECT_EQ(*scatterPairs, 1u) << "a pair with one scatter gene is a scatter pair";
    EXPECT_EQ(c.human.clusters.members[0], (Members{0, 0})) << "a gene in two pairs is appended twice";
    EXPECT_EQ(c.human.clusters.members[1], (Members{1, 3})) << "unpaired genes follow the paired ones";
    EXPECT_EQ(c.human.labels, (std::vector<std::int32_t>{0, 1, 2, 1})) << "the scatter gene h3 keeps its label";
    EXPECT_EQ(c.mouse.clusters.members[0], (Members{0}));
    EXPECT_EQ(c.mouse.clusters.members[1], (Members{1, 1}));
    EXPECT_EQ(c.mouse.labels, (std::vector<std::int32_t>{0, 1, 0}))
        << "m3, the other gene of the scatter pair, is not placed and keeps its label";
    EXPECT_EQ(c.human.clusters.centres, (std::vector<double>{0.0, 8.0}));
    EXPECT_EQ(c.mouse.clusters.centres, (std::vector<double>{1.0, 9.0}));
}

TEST(ReassignClusterMembers, NothingWhenAGeneFindsNoNearestMean) {
    ReassignmentCase paired;
    paired.human.parameters.means = {std::nan(""), std::nan("")};
    EXPECT_FALSE(reassignClusterMembers(paired.data, paired.human, paired.mouse, paired.workspace).has_value());

    // Only the unpaired gene's distances are NaN.
    ReassignmentCase unpaired;
    unpaired.data.human.expression.row(3)[0] = std::nan("");
    EXPECT_FALSE(reassignClusterMembers(unpaired.data, unpaired.human, unpaired.mouse, unpaired.workspace).has_value());
}

TEST(NearestMeanSearch, TiesKeepTheFirstAndNanNeverWins) {
    const auto nearest = [](const std::vector<double>& means, double x) {
        NearestMeanSearch search;
        search.prepare(means.data(), means.size(), 1);
        return search.find(&x);
    };
    EXPECT_EQ(nearest({0.0, 10.0}, 5.0), 0) << "equal distances: the first entry";
    EXPECT_EQ(nearest({std::nan(""), 7.0}, 5.0), 1);
    EXPECT_EQ(nearest({std::nan("")}, 5.0), -1);
    EXPECT_EQ(nearest({}, 5.0), -1);
    EXPECT_EQ(nearest({-1e12}, 1e12), 0) << "distances of 1e9 and more still count";
    EXPECT_EQ(nearest({3.0, std::numeric_limits<double>::infinity()}, std::numeric_limits<double>::infinity()), -1)
        << "an infinite distance is no nearer than none";
}

TEST(NearestMeanSearch, DistancesAreTheEuclideanDistancesToTheLastBit) {
    // Cluster counts below, at and above a whole number of vectors, and
    // beyond what one pass keeps in registers; every distance of every
    // cluster is checked through a search whose means favour that cluster.
    constexpr std::size_t kColumns = 13;
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> draw(-5.0, 5.0);
    for (const std::size_t clusters : {1u, 3u, 4u, 7u, 8u, 13u, 20u, 47u, 48u, 49u, 61u, 100u}) {
        std::vector<double> means(clusters * kColumns);
        for (double& m : means) m = draw(random);
        NearestMeanSearch search;
        search.prepare(means.data(), clusters, kColumns);
        ASSERT_EQ(search.clusterCount(), clusters);
        ASSERT_GE(search.scratchSize(), clusters);
        std::vector<double> scratch(search.scratchSize());
        for (std::size_t trial = 0; trial < 3 * clusters; ++trial) {
            std::vector<double> x(kColumns);
            // Near one mean in turn, so that every position wins some trials.
            const double* near = means.data() + (trial % clusters) * kColumns;
            for (std::size_t i = 0; i < kColumns; ++i) x[i] = near[i] + 0.1 * draw(random);
            double best = std::numeric_limits<double>::infinity();
            int expected = -1;
            for (std::size_t c = 0; c < clusters; ++c) {
                const double d = euclideanDistance(x.data(), means.data() + c * kColumns, kColumns);
                if (d < best) {
                    best = d;
                    expected = static_cast<int>(c);
                }
            }
            double distance = -1.0;
            ASSERT_EQ(search.find(x.data(), scratch.data(), &distance), expected)
                << clusters << " clusters, trial " << trial;
            ASSERT_EQ(distance, best) << clusters << " clusters, trial " << trial;
            for (std::size_t c = 0; c < clusters; ++c) {
                const double d = euclideanDistance(x.data(), means.data() + c * kColumns, kColumns);
                ASSERT_EQ(std::sqrt(scratch[c]), d) << clusters << " clusters, cluster " << c;
            }
        }
    }
}

}  // namespace
}  // namespace orthomix
