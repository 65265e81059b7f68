#include "model/m_step.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orthomix {
namespace {

// x * w[c] added to the sums of every listed cluster c (sums[c * stride + i]
// for the `columns` columns from x on); each sum gains one term, so the order
// of every sum is the order of the calls.
__attribute__((target_clones("avx2", "default"))) void addWeightedValues(const double* x, const double* w,
                                                                          const std::uint32_t* clusters,
                                                                          std::size_t listed, std::size_t columns,
                                                                          std::size_t stride, double* sums) {
    for (std::size_t l = 0; l < listed; ++l) {
        const std::size_t c = clusters[l];
        const double weight = w[c];
        double* sum = sums + c * stride;
        for (std::size_t i = 0; i < columns; ++i) sum[i] += x[i] * weight;
    }
}

// ((x - mean) * (x - mean)) * w[c] added likewise, with the clusters' means.
__attribute__((target_clones("avx2", "default"))) void addWeightedSquares(const double* x, const double* w,
                                                                           const std::uint32_t* clusters,
                                                                           std::size_t listed, std::size_t columns,
                                                                           std::size_t stride, const double* means,
                                                                           double* sums) {
    for (std::size_t l = 0; l < listed; ++l) {
        const std::size_t c = clusters[l];
        const double weight = w[c];
        const double* mean = means + c * stride;
        double* sum = sums + c * stride;
        for (std::size_t i = 0; i < columns; ++i) {
            const double d = x[i] - mean[i];
            sum[i] += (d * d) * weight;
        }
    }
}

// Posterior-weighted means and variances of all clusters of one organism.
// Each cluster's sums still run over the pairs in list order; walking the
// pairs once per pass, with all clusters side by side, reads every gene once
// instead of once per cluster.
template <typename WeightsOf, typename GeneOf>
bool estimateClusters(const ExpressionMatrix& expression, std::size_t pairCount, std::size_t clusterCount,
                      WeightsOf weightsOf, GeneOf geneOf, ClusterParameters& out, MStepWorkspace& workspace,
                      ThreadPool* pool, MStepWeights weights) {
    std::vector<double>& totalWeight = workspace.totalWeights;
    totalWeight.assign(clusterCount, 0.0);
    for (std::size_t r = 0; r < pairCount; ++r) {
        const double* w = weightsOf(r);
        for (std::size_t c = 0; c < clusterCount; ++c) {
            if (w[c] != 0.0) totalWeight[c] += w[c];
        }
    }
    for (std::size_t c = 0; c < clusterCount; ++c) {
        if (totalWeight[c] <= 0.0) return false;  // NaN passes on, as in the estimate itself
    }
    // A term of weight 0 leaves every sum as it is (a sum of such terms
    // stays +0.0), so each pair lists the clusters it weighs on, once, and
    // the passes below walk only those: most posteriors sit in one cell.
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
            for (std::size_t c = 0; c < clusterCount; ++c) {
                // NaN is listed, and passes on.
                if (w[c] != 0.0 && !(std::fabs(w[c]) <= smallestKept[c])) listed[count++] = static_cast<std::uint32_t>(c);
            }
            listedCounts[r] = count;
        }
    });
    const auto listOf = [&](std::size_t r) { return listedClusters.data() + r * clusterCount; };

    const std::size_t columns = expression.columns();
    out.resize(clusterCount, columns);
    // Each thread takes a block of columns of every cluster through all
    // pairs: together they read every gene once, and no sum is shared. The
    // sums of a block live in the thread's own buffer, so that two threads
    // never write to one cache line.
    const std::size_t blocks = pool ? pool->threads() : 1;
    forRanges(
        pool, columns,
        [&](std::size_t first, std::size_t end) {
            const std::size_t width = end - first;
            std::vector<double> means(clusterCount * width, 0.0);
            std::vector<double> variances(clusterCount * width, 0.0);
            for (std::size_t r = 0; r < pairCount; ++r) {
                addWeightedValues(expression.row(geneOf(r)) + first, weightsOf(r), listOf(r), listedCounts[r], width,
                                  width, means.data());
            }
            for (std::size_t c = 0; c < clusterCount; ++c) {
                const double reciprocal = 1.0 / totalWeight[c];
                double* mean = means.data() + c * width;
                for (std::size_t i = 0; i < width; ++i) mean[i] = mean[i] * reciprocal;
            }
            for (std::size_t r = 0; r < pairCount; ++r) {
                addWeightedSquares(expression.row(geneOf(r)) + first, weightsOf(r), listOf(r), listedCounts[r], width,
                                   width, means.data(), variances.data());
            }
            for (std::size_t c = 0; c < clusterCount; ++c) {
                const double reciprocal = 1.0 / totalWeight[c];
                double* variance = variances.data() + c * width;
                for (std::size_t i = 0; i < width; ++i) variance[i] = variance[i] * reciprocal;
                std::copy(means.data() + c * width, means.data() + (c + 1) * width, out.means.data() + c * columns + first);
                std::copy(variance, variance + width, out.variances.data() + c * columns + first);
            }
        },
        blocks);
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
    const std::size_t mouseColumns = data.mouse.expression.columns();
    if (mouseColumns >= kColumnsReadInPlace) {
        return estimateClusters(data.mouse.expression, pairs.size(), weights.mouseClusters(), mouseWeights,
                                [&](std::size_t r) { return pairs[r].mouse; }, mouse.parameters, workspace, pool,
                                mStepWeights);
    }
    ExpressionMatrix& mouseValues = workspace.mouseValuesByPair;
    if (workspace.copiedFrom != &data || mouseValues.rows() != pairs.size() || mouseValues.columns() != mouseColumns) {
        mouseValues = ExpressionMatrix(pairs.size(), mouseColumns);
        forRanges(pool, pairs.size(), [&](std::size_t begin, std::size_t end) {
            for (std::size_t r = begin; r < end; ++r) {
                const double* values = data.mouse.expression.row(pairs[r].mouse);
                std::copy(values, values + mouseColumns, mouseValues.row(r));
            }
        });
        workspace.copiedFrom = &data;
    }
    return estimateClusters(mouseValues, pairs.size(), weights.mouseClusters(), mouseWeights,
                            [](std::size_t r) { return r; }, mouse.parameters, workspace, pool, mStepWeights);
}

}  // namespace orthomix
