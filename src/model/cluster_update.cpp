#include "model/cluster_update.h"

#include <cmath>
#include <limits>

#include "driver/fatal.h"

namespace orthomix {
namespace {

// x * w added to the sums of every cluster c with a weight w[c] other than 0
// (sums[c * columns + i]); each sum gains one term, so the order of every sum
// is the order of the calls.
__attribute__((target_clones("avx2", "default"))) void addWeightedValues(const double* x, const double* w,
                                                                          std::size_t clusters, std::size_t columns,
                                                                          double* sums) {
    for (std::size_t c = 0; c < clusters; ++c) {
        if (w[c] == 0.0) continue;
        const double weight = w[c];
        double* sum = sums + c * columns;
        for (std::size_t i = 0; i < columns; ++i) sum[i] += x[i] * weight;
    }
}

// ((x - mean) * (x - mean)) * w added likewise, with the clusters' means.
__attribute__((target_clones("avx2", "default"))) void addWeightedSquares(const double* x, const double* w,
                                                                           std::size_t clusters, std::size_t columns,
                                                                           const double* means, double* sums) {
    for (std::size_t c = 0; c < clusters; ++c) {
        if (w[c] == 0.0) continue;
        const double weight = w[c];
        const double* mean = means + c * columns;
        double* sum = sums + c * columns;
        for (std::size_t i = 0; i < columns; ++i) {
            const double d = x[i] - mean[i];
            sum[i] += (d * d) * weight;
        }
    }
}

// Posterior-weighted means and variances of all clusters of one organism.
// Each cluster's sums still run over the records in list order; walking the
// records once per pass, with all clusters side by side, reads every gene
// once instead of once per cluster.
template <typename WeightsOf, typename ValuesOf>
bool estimateClusters(const std::vector<OrthologPairRecord>& records, std::size_t clusterCount, WeightsOf weightsOf,
                      ValuesOf valuesOf, std::vector<ClusterParameters>& out, ClusterUpdateWorkspace& scratch) {
    std::vector<double>& totalWeight = scratch.weights;
    totalWeight.assign(clusterCount, 0.0);
    for (const OrthologPairRecord& record : records) {
        const double* w = weightsOf(record);
        for (std::size_t c = 0; c < clusterCount; ++c) totalWeight[c] += w[c];
    }
    for (std::size_t c = 0; c < clusterCount; ++c) {
        if (totalWeight[c] <= 0.0) return false;  // NaN passes on, as in the estimate itself
    }
    const std::size_t columns = records.empty() ? 0 : valuesOf(records.front()).size();

    std::vector<double>& means = scratch.means;
    std::vector<double>& variances = scratch.variances;
    means.assign(clusterCount * columns, 0.0);
    variances.assign(clusterCount * columns, 0.0);
    for (const OrthologPairRecord& record : records) {
        addWeightedValues(valuesOf(record).data(), weightsOf(record), clusterCount, columns, means.data());
    }
    for (std::size_t c = 0; c < clusterCount; ++c) {
        const double reciprocal = 1.0 / totalWeight[c];
        for (std::size_t i = 0; i < columns; ++i) means[c * columns + i] = means[c * columns + i] * reciprocal;
    }
    for (const OrthologPairRecord& record : records) {
        addWeightedSquares(valuesOf(record).data(), weightsOf(record), clusterCount, columns, means.data(),
                           variances.data());
    }
    out.resize(clusterCount);
    for (std::size_t c = 0; c < clusterCount; ++c) {
        const double reciprocal = 1.0 / totalWeight[c];
        for (std::size_t i = 0; i < columns; ++i) variances[c * columns + i] = variances[c * columns + i] * reciprocal;
        out[c].mean.assign(means.begin() + static_cast<std::ptrdiff_t>(c * columns),
                           means.begin() + static_cast<std::ptrdiff_t>((c + 1) * columns));
        out[c].variance.assign(variances.begin() + static_cast<std::ptrdiff_t>(c * columns),
                               variances.begin() + static_cast<std::ptrdiff_t>((c + 1) * columns));
    }
    return true;
}

}  // namespace

int updateClusterParameters(const std::vector<GeneCluster*>& humanClusters,
                            const std::vector<GeneCluster*>& mouseClusters,
                            std::vector<ClusterParameters>& humanClusterParams,
                            std::vector<ClusterParameters>& mouseClusterParams,
                            const std::vector<OrthologPairRecord>& pairRecords, ClusterUpdateWorkspace* workspace) {
    ClusterUpdateWorkspace local;
    ClusterUpdateWorkspace& scratch = workspace ? *workspace : local;
    const bool humanOk = estimateClusters(
        pairRecords, humanClusters.size(), [](const OrthologPairRecord& r) { return r.posteriorRowSums; },
        [](const OrthologPairRecord& r) -> const std::vector<double>& { return r.humanGene->expression; },
        humanClusterParams, scratch);
    if (!humanOk) return -1;
    const bool mouseOk = estimateClusters(
        pairRecords, mouseClusters.size(), [](const OrthologPairRecord& r) { return r.posteriorColumnSums; },
        [](const OrthologPairRecord& r) -> const std::vector<double>& { return r.mouseGene->expression; },
        mouseClusterParams, scratch);
    return mouseOk ? 0 : -1;
}

namespace {

// The squared distances of x to every mean (stored column by column), each
// summed in column order.
__attribute__((target_clones("avx2", "default"))) void squaredDistances(const double* x, const double* meansByColumn,
                                                                         std::size_t columns, std::size_t clusters,
                                                                         double* sums) {
    for (std::size_t c = 0; c < clusters; ++c) sums[c] = 0.0;
    for (std::size_t i = 0; i < columns; ++i) {
        const double* means = meansByColumn + i * clusters;
        const double xi = x[i];
        for (std::size_t c = 0; c < clusters; ++c) {
            const double d = means[c] - xi;
            sums[c] += d * d;
        }
    }
}

// Nearest-mean search over all clusters at once: the means are stored column
// by column so that the k distance sums advance together, each still summed
// in column order.
class NearestMeanSearch {
public:
    NearestMeanSearch(const std::vector<ClusterParameters>& params, ClusterUpdateWorkspace& workspace)
        : clusterCount_(params.size()),
          columns_(params.empty() ? 0 : params.front().mean.size()),
          meansByColumn_(workspace.meansByColumn),
          sums_(workspace.distanceSums) {
        meansByColumn_.resize(columns_ * clusterCount_);
        for (std::size_t c = 0; c < clusterCount_; ++c) {
            if (params[c].mean.size() != columns_) fatalError("Two vectors have different sizes. ");
            for (std::size_t i = 0; i < columns_; ++i) meansByColumn_[i * clusterCount_ + c] = params[c].mean[i];
        }
        sums_.resize(clusterCount_);
    }

    // Position of the nearest mean, ties to the first; -1 when no distance is below infinity.
    int find(const GeneRecord& gene) {
        if (clusterCount_ == 0) return -1;
        if (gene.expression.size() != columns_) fatalError("Two vectors have different sizes. ");
        double* sums = sums_.data();
        squaredDistances(gene.expression.data(), meansByColumn_.data(), columns_, clusterCount_, sums);
        double best = std::numeric_limits<double>::infinity();
        int position = -1;
        for (std::size_t c = 0; c < clusterCount_; ++c) {
            const double d = std::sqrt(sums[c]);
            if (d < best) {
                best = d;
                position = static_cast<int>(c);
            }
        }
        return position;
    }

private:
    std::size_t clusterCount_;
    std::size_t columns_;
    std::vector<double>& meansByColumn_;
    std::vector<double>& sums_;
};

}  // namespace

int nearestMean(const std::vector<ClusterParameters>& params, const GeneRecord& gene) {
    ClusterUpdateWorkspace workspace;
    return NearestMeanSearch(params, workspace).find(gene);
}

int reassignClusterMembers(const std::vector<ClusterParameters>& humanClusterParams,
                           const std::vector<ClusterParameters>& mouseClusterParams,
                           const std::vector<GeneCluster*>& humanClusters,
                           const std::vector<GeneCluster*>& mouseClusters, const std::vector<GenePair>& humanToMouse,
                           const std::vector<GeneRecord*>& unpairedHumanGenes,
                           const std::vector<GeneRecord*>& unpairedMouseGenes, std::vector<GenePair>& scatterPairs,
                           ClusterUpdateWorkspace* workspace) {
    ClusterUpdateWorkspace humanLocal, mouseLocal;
    NearestMeanSearch humanSearch(humanClusterParams, workspace ? workspace[0] : humanLocal);
    NearestMeanSearch mouseSearch(mouseClusterParams, workspace ? workspace[1] : mouseLocal);
    for (GeneCluster* cluster : humanClusters) cluster->clearMembers();
    for (GeneCluster* cluster : mouseClusters) cluster->clearMembers();
    scatterPairs.clear();
    const int kHm = static_cast<int>(humanClusters.size());
    const int kMs = static_cast<int>(mouseClusters.size());

    const auto place = [](NearestMeanSearch& search, const std::vector<GeneCluster*>& clusters, GeneRecord* gene) {
        const int position = search.find(*gene);
        if (position < 0 || position >= static_cast<int>(clusters.size())) return false;
        clusters[position]->appendMember(gene);
        return true;
    };

    for (const GenePair& pair : humanToMouse) {
        if (pair.human->clusterIndex != kHm && pair.mouse->clusterIndex != kMs) {
            if (!place(humanSearch, humanClusters, pair.human)) return -1;
            if (!place(mouseSearch, mouseClusters, pair.mouse)) return -1;
        } else {
            scatterPairs.push_back(pair);
        }
    }
    for (GeneRecord* gene : unpairedHumanGenes) {
        if (!place(humanSearch, humanClusters, gene)) return -1;
    }
    for (GeneRecord* gene : unpairedMouseGenes) {
        if (!place(mouseSearch, mouseClusters, gene)) return -1;
    }
    for (GeneCluster* cluster : humanClusters) {
        cluster->propagateIndex();
        cluster->recomputeCenter();
    }
    for (GeneCluster* cluster : mouseClusters) {
        cluster->propagateIndex();
        cluster->recomputeCenter();
    }
    return 0;
}

}  // namespace orthomix
