#include "model/m_step.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace orthomix {
namespace {

// Four columns side by side; each lane is one column's sum.
using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
constexpr std::size_t kLanes = 4;
// A block of columns whose sums, and then means, stay in registers while the
// cluster's members go by: four vectors of sums and four of means.
constexpr std::size_t kBlockColumns = 16;
// Members whose rows are asked for ahead of their turn: a cluster's members
// lie far apart in the matrix, where no hardware prefetcher follows.
constexpr std::size_t kMembersAhead = 8;

// The pairs that weigh on one cluster, in pair order: the row of each
// pair's gene in the matrix read, and the pair's weight on the cluster.
struct MemberList {
    const std::uint32_t* rows;
    const double* weights;
    std::size_t count;
};

[[gnu::always_inline]] inline void prefetchSlice(const double* values, std::size_t stride, const MemberList& members,
                                                 std::size_t m, std::size_t width) {
    if (m >= members.count) return;
    const char* slice = reinterpret_cast<const char*>(values + members.rows[m] * stride);
    for (std::size_t offset = 0; offset < width * sizeof(double); offset += 64) __builtin_prefetch(slice + offset);
}

// Adds x * w of every member, in pair order, to the sums of the `Groups`
// groups of four columns from `values` on (row 0's address); with `means`,
// ((x - mean) * (x - mean)) * w instead.
template <std::size_t Groups>
[[gnu::always_inline]] inline void addMemberTerms(const double* values, std::size_t stride, const MemberList& members,
                                                  Lanes (&sums)[Groups], const Lanes* means) {
    for (std::size_t m = 0; m < members.count; ++m) {
        prefetchSlice(values, stride, members, m + kMembersAhead, Groups * kLanes);
        const double* x = values + members.rows[m] * stride;
        const double w = members.weights[m];
        const Lanes weight = {w, w, w, w};
#pragma GCC unroll 4
        for (std::size_t g = 0; g < Groups; ++g) {
            Lanes value;
            std::memcpy(&value, x + g * kLanes, sizeof value);
            if (means) {
                const Lanes deviation = value - means[g];
                sums[g] += (deviation * deviation) * weight;
            } else {
                sums[g] += value * weight;
            }
        }
    }
}

// Mean and variance of `Groups` groups of four columns of one cluster: each
// sum adds one member's term after the other, in pair order, as
// sum += x * w and then sum += ((x - mean) * (x - mean)) * w, and is
// multiplied by the reciprocal of the cluster's total weight.
template <std::size_t Groups>
[[gnu::always_inline]] inline void momentsOfGroups(const double* values, std::size_t stride,
                                                   const MemberList& members, double reciprocal, double* mean,
                                                   double* variance) {
    Lanes sums[Groups];
#pragma GCC unroll 4
    for (std::size_t g = 0; g < Groups; ++g) sums[g] = Lanes{0.0, 0.0, 0.0, 0.0};
    addMemberTerms(values, stride, members, sums, nullptr);
    const Lanes scale = {reciprocal, reciprocal, reciprocal, reciprocal};
    Lanes means[Groups];
#pragma GCC unroll 4
    for (std::size_t g = 0; g < Groups; ++g) {
        means[g] = sums[g] * scale;
        std::memcpy(mean + g * kLanes, &means[g], sizeof means[g]);
        sums[g] = Lanes{0.0, 0.0, 0.0, 0.0};
    }
    addMemberTerms(values, stride, members, sums, means);
#pragma GCC unroll 4
    for (std::size_t g = 0; g < Groups; ++g) {
        const Lanes scaled = sums[g] * scale;
        std::memcpy(variance + g * kLanes, &scaled, sizeof scaled);
    }
}

// The same for the last one to three columns, one at a time.
void momentsOfColumns(const double* values, std::size_t stride, std::size_t width, const MemberList& members,
                      double reciprocal, double* mean, double* variance) {
    for (std::size_t i = 0; i < width; ++i) {
        double sum = 0.0;
        for (std::size_t m = 0; m < members.count; ++m) sum += values[members.rows[m] * stride + i] * members.weights[m];
        mean[i] = sum * reciprocal;
        double squares = 0.0;
        for (std::size_t m = 0; m < members.count; ++m) {
            const double deviation = values[members.rows[m] * stride + i] - mean[i];
            squares += (deviation * deviation) * members.weights[m];
        }
        variance[i] = squares * reciprocal;
    }
}

__attribute__((target_clones("avx2", "default"))) void momentsOfBlock(const double* values, std::size_t stride,
                                                                       std::size_t width, const MemberList& members,
                                                                       double reciprocal, double* mean,
                                                                       double* variance) {
    switch (width / kLanes) {
        case 4: momentsOfGroups<4>(values, stride, members, reciprocal, mean, variance); break;
        case 3: momentsOfGroups<3>(values, stride, members, reciprocal, mean, variance); break;
        case 2: momentsOfGroups<2>(values, stride, members, reciprocal, mean, variance); break;
        case 1: momentsOfGroups<1>(values, stride, members, reciprocal, mean, variance); break;
        default: momentsOfColumns(values, stride, width, members, reciprocal, mean, variance); break;
    }
}

// The columns cut into blocks: full blocks of kBlockColumns, then the rest
// as whole groups of four, then the last one to three columns.
struct ColumnBlock {
    std::size_t first = 0;
    std::size_t width = 0;
};

std::size_t columnBlockCount(std::size_t columns) {
    const std::size_t rest = columns % kBlockColumns;
    return columns / kBlockColumns + (rest >= kLanes ? 1 : 0) + (rest % kLanes != 0 ? 1 : 0);
}

ColumnBlock columnBlock(std::size_t block, std::size_t columns) {
    const std::size_t full = columns / kBlockColumns;
    if (block < full) return {block * kBlockColumns, kBlockColumns};
    const std::size_t rest = columns % kBlockColumns;
    const std::size_t grouped = rest / kLanes * kLanes;
    if (block == full && grouped > 0) return {full * kBlockColumns, grouped};
    return {full * kBlockColumns + grouped, rest - grouped};
}

// Posterior-weighted means and variances of all clusters of one organism.
// Each cluster's sums run over the pairs in pair order; the pairs that weigh
// on a cluster are gathered first, so that every cluster and block of columns
// is one piece of work that reads only its members' values.
template <typename WeightsOf, typename GeneOf>
bool estimateClusters(const ExpressionMatrix& expression, std::size_t pairCount, std::size_t clusterCount,
                      WeightsOf weightsOf, GeneOf geneOf, ClusterParameters& out, MStepWorkspace& workspace,
                      ThreadPool* pool, MStepWeights weights) {
    std::vector<double>& totalWeight = workspace.totalWeights;
    totalWeight.assign(clusterCount, 0.0);
    // A weight of 0 adds nothing: the totals start at +0.0 and no sum of
    // weights is -0.0, so adding every weight gives the bits of adding only
    // those other than 0, and the loop runs without a branch.
    for (std::size_t r = 0; r < pairCount; ++r) {
        const double* w = weightsOf(r);
        for (std::size_t c = 0; c < clusterCount; ++c) totalWeight[c] += w[c];
    }
    for (std::size_t c = 0; c < clusterCount; ++c) {
        if (totalWeight[c] <= 0.0) return false;  // NaN passes on, as in the estimate itself
    }
    // A term of weight 0 leaves every sum as it is (a sum of such terms
    // stays +0.0), so each pair lists the clusters it weighs on, once, and
    // the sums take only those: most posteriors sit in one cell.
    // With negligible weights left out too, a cluster's sums leave out terms
    // whose weights together are at most one rounding of its total weight.
    std::vector<double>& smallestKept = workspace.smallestKeptWeights;
    smallestKept.assign(clusterCount, 0.0);
    if (weights == MStepWeights::AboveRounding) {
        constexpr double kRounding = 2.220446049250313e-16;
        for (std::size_t c = 0; c < clusterCount; ++c) {
            smallestKept[c] = kRounding * totalWeight[c] / static_cast<double>(pairCount);
        }
    }
    std::vector<std::uint32_t>& listedClusters = workspace.weightedClusters;
    std::vector<std::uint32_t>& listedCounts = workspace.weightedClusterCounts;
    listedClusters.resize(pairCount * clusterCount);
    listedCounts.resize(pairCount);
    forRanges(pool, pairCount, [&](std::size_t begin, std::size_t end) {
        for (std::size_t r = begin; r < end; ++r) {
            const double* w = weightsOf(r);
            std::uint32_t* listed = listedClusters.data() + r * clusterCount;
            std::uint32_t count = 0;
            // Every cluster is written and only those kept are counted: which
            // clusters a pair weighs on is as good as random, and a branch on
            // it would mostly guess wrong.
            for (std::size_t c = 0; c < clusterCount; ++c) {
                // NaN is listed, and passes on.
                const bool kept = w[c] != 0.0 && !(std::fabs(w[c]) <= smallestKept[c]);
                listed[count] = static_cast<std::uint32_t>(c);
                count += kept ? 1 : 0;
            }
            listedCounts[r] = count;
        }
    });

    // The members of every cluster, in pair order, one cluster after the other.
    std::vector<std::size_t>& firstMember = workspace.firstMembers;
    firstMember.assign(clusterCount + 1, 0);
    for (std::size_t r = 0; r < pairCount; ++r) {
        const std::uint32_t* listed = listedClusters.data() + r * clusterCount;
        for (std::uint32_t l = 0; l < listedCounts[r]; ++l) ++firstMember[listed[l] + 1];
    }
    for (std::size_t c = 0; c < clusterCount; ++c) firstMember[c + 1] += firstMember[c];
    std::vector<std::size_t>& nextMember = workspace.nextMembers;
    nextMember.assign(firstMember.begin(), firstMember.end() - 1);
    workspace.memberRows.resize(firstMember.back());
    workspace.memberWeights.resize(firstMember.back());
    for (std::size_t r = 0; r < pairCount; ++r) {
        const double* w = weightsOf(r);
        const std::uint32_t* listed = listedClusters.data() + r * clusterCount;
        const auto row = static_cast<std::uint32_t>(geneOf(r));
        for (std::uint32_t l = 0; l < listedCounts[r]; ++l) {
            const std::size_t slot = nextMember[listed[l]]++;
            workspace.memberRows[slot] = row;
            workspace.memberWeights[slot] = w[listed[l]];
        }
    }

    const std::size_t columns = expression.columns();
    out.resize(clusterCount, columns);
    if (columns == 0) return true;
    // Every cluster and block of columns is a piece of work of its own: its
    // sums are its own, so no thread waits for another's, and big clusters
    // still split into as many pieces as they have blocks.
    const std::size_t blocks = columnBlockCount(columns);
    const std::size_t pieces = clusterCount * blocks;
    forRanges(
        pool, pieces,
        [&](std::size_t begin, std::size_t end) {
            for (std::size_t piece = begin; piece < end; ++piece) {
                const std::size_t c = piece / blocks;
                const ColumnBlock block = columnBlock(piece % blocks, columns);
                const MemberList members{workspace.memberRows.data() + firstMember[c],
                                         workspace.memberWeights.data() + firstMember[c],
                                         firstMember[c + 1] - firstMember[c]};
                momentsOfBlock(expression.row(0) + block.first, columns, block.width, members,
                               1.0 / totalWeight[c], out.means.data() + c * columns + block.first,
                               out.variances.data() + c * columns + block.first);
            }
        },
        pieces);
    return true;
}

}  // namespace

bool updateClusterParameters(const Dataset& data, const PairWeights& weights, OrganismState& human,
                             OrganismState& mouse, MStepWorkspace& workspace, ThreadPool* pool,
                             MStepWeights mStepWeights) {
    const std::vector<OrthologPair>& pairs = data.orthologs.pairs;
    const auto humanWeights = [&](std::size_t r) { return weights.rowSums(r); };
    const auto mouseWeights = [&](std::size_t r) { return weights.columnSums(r); };
    const bool humanOk = estimateClusters(data.human.expression, pairs.size(), weights.humanClusters(), humanWeights,
                                          [&](std::size_t r) { return pairs[r].human; }, human.parameters, workspace,
                                          pool, mStepWeights);
    if (!humanOk) return false;
    // The mouse rows are read where they lie: a cluster's sums gather its
    // members' values from all over the matrix either way.
    return estimateClusters(data.mouse.expression, pairs.size(), weights.mouseClusters(), mouseWeights,
                            [&](std::size_t r) { return pairs[r].mouse; }, mouse.parameters, workspace, pool,
                            mStepWeights);
}

}  // namespace orthomix
