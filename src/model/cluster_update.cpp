#include "model/cluster_update.h"

#include <limits>

namespace orthomix {
namespace {

// Weighted mean and variance of one cluster; weightOf(r) is record r's weight.
template <typename WeightOf, typename ValuesOf>
bool estimateCluster(const std::vector<OrthologPairRecord>& records, std::size_t columns, WeightOf weightOf,
                     ValuesOf valuesOf, ClusterParameters& out) {
    double totalWeight = 0.0;
    for (const OrthologPairRecord& record : records) totalWeight += weightOf(record);
    if (totalWeight <= 0.0) return false;  // NaN passes on, as in the estimate itself

    const double reciprocal = 1.0 / totalWeight;
    out.mean.assign(columns, 0.0);
    out.variance.assign(columns, 0.0);
    double* mean = out.mean.data();
    double* variance = out.variance.data();
    // Record-major walks: every column still sums its records in list order.
    for (const OrthologPairRecord& record : records) {
        const double w = weightOf(record);
        if (w == 0.0) continue;
        const double* x = valuesOf(record);
        for (std::size_t i = 0; i < columns; ++i) mean[i] += x[i] * w;
    }
    for (std::size_t i = 0; i < columns; ++i) mean[i] = mean[i] * reciprocal;
    for (const OrthologPairRecord& record : records) {
        const double w = weightOf(record);
        if (w == 0.0) continue;
        const double* x = valuesOf(record);
        for (std::size_t i = 0; i < columns; ++i) {
            const double d = x[i] - mean[i];
            variance[i] += (d * d) * w;
        }
    }
    for (std::size_t i = 0; i < columns; ++i) variance[i] = variance[i] * reciprocal;
    return true;
}

std::size_t columnCount(const std::vector<OrthologPairRecord>& records, bool human) {
    if (records.empty()) return 0;
    return human ? records.front().humanGene->expression.size() : records.front().mouseGene->expression.size();
}

}  // namespace

int updateClusterParameters(const std::vector<GeneCluster*>& humanClusters,
                            const std::vector<GeneCluster*>& mouseClusters,
                            std::vector<ClusterParameters>& humanClusterParams,
                            std::vector<ClusterParameters>& mouseClusterParams,
                            const std::vector<OrthologPairRecord>& pairRecords) {
    humanClusterParams.clear();
    mouseClusterParams.clear();
    const std::size_t humanColumns = columnCount(pairRecords, true);
    const std::size_t mouseColumns = columnCount(pairRecords, false);
    for (std::size_t c = 0; c < humanClusters.size(); ++c) {
        ClusterParameters params;
        const bool ok = estimateCluster(
            pairRecords, humanColumns, [c](const OrthologPairRecord& r) { return r.posteriorRowSums[c]; },
            [](const OrthologPairRecord& r) { return r.humanGene->expression.data(); }, params);
        if (!ok) return -1;
        humanClusterParams.push_back(std::move(params));
    }
    for (std::size_t c = 0; c < mouseClusters.size(); ++c) {
        ClusterParameters params;
        const bool ok = estimateCluster(
            pairRecords, mouseColumns, [c](const OrthologPairRecord& r) { return r.posteriorColumnSums[c]; },
            [](const OrthologPairRecord& r) { return r.mouseGene->expression.data(); }, params);
        if (!ok) return -1;
        mouseClusterParams.push_back(std::move(params));
    }
    return 0;
}

int nearestMean(const std::vector<ClusterParameters>& params, const GeneRecord& gene) {
    double best = std::numeric_limits<double>::infinity();
    int position = -1;
    for (std::size_t c = 0; c < params.size(); ++c) {
        const double d = euclideanDistance(params[c].mean, gene.expression);
        if (d < best) {
            best = d;
            position = static_cast<int>(c);
        }
    }
    return position;
}

int reassignClusterMembers(const std::vector<ClusterParameters>& humanClusterParams,
                           const std::vector<ClusterParameters>& mouseClusterParams,
                           const std::vector<GeneCluster*>& humanClusters,
                           const std::vector<GeneCluster*>& mouseClusters, const std::vector<GenePair>& humanToMouse,
                           const std::vector<GeneRecord*>& unpairedHumanGenes,
                           const std::vector<GeneRecord*>& unpairedMouseGenes, std::vector<GenePair>& scatterPairs) {
    for (GeneCluster* cluster : humanClusters) cluster->clearMembers();
    for (GeneCluster* cluster : mouseClusters) cluster->clearMembers();
    scatterPairs.clear();
    const int kHm = static_cast<int>(humanClusters.size());
    const int kMs = static_cast<int>(mouseClusters.size());

    const auto place = [](const std::vector<ClusterParameters>& params, const std::vector<GeneCluster*>& clusters,
                          GeneRecord* gene) {
        const int position = nearestMean(params, *gene);
        if (position < 0 || position >= static_cast<int>(clusters.size())) return false;
        clusters[position]->appendMember(gene);
        return true;
    };

    for (const GenePair& pair : humanToMouse) {
        if (pair.human->clusterIndex != kHm && pair.mouse->clusterIndex != kMs) {
            if (!place(humanClusterParams, humanClusters, pair.human)) return -1;
            if (!place(mouseClusterParams, mouseClusters, pair.mouse)) return -1;
        } else {
            scatterPairs.push_back(pair);
        }
    }
    for (GeneRecord* gene : unpairedHumanGenes) {
        if (!place(humanClusterParams, humanClusters, gene)) return -1;
    }
    for (GeneRecord* gene : unpairedMouseGenes) {
        if (!place(mouseClusterParams, mouseClusters, gene)) return -1;
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
