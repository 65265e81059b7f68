#pragma once

#include <vector>

#include "model/densities.h"
#include "model/pair_estep.h"
#include "records/gene_cluster.h"

namespace orthomix {

// Scratch of the M-step and the reassignment, reused across iterations.
struct ClusterUpdateWorkspace {
    std::vector<double> weights;
    std::vector<double> means, variances;
    std::vector<double> meansByColumn;
    std::vector<double> distanceSums;
};

// The M-step: every cluster's mean and variance as posterior-weighted averages
// over the pair records. Returns -1 when a cluster has no positive total
// weight, 0 otherwise.
int updateClusterParameters(const std::vector<GeneCluster*>& humanClusters,
                            const std::vector<GeneCluster*>& mouseClusters,
                            std::vector<ClusterParameters>& humanClusterParams,
                            std::vector<ClusterParameters>& mouseClusterParams,
                            const std::vector<OrthologPairRecord>& pairRecords,
                            ClusterUpdateWorkspace* workspace = nullptr);

// Position of the parameter entry whose mean is nearest to the gene, ties to
// the first; -1 when no distance is below infinity (for instance all NaN).
int nearestMean(const std::vector<ClusterParameters>& params, const GeneRecord& gene);

// Rebuilds every cluster's members by nearest mean: the genes of non-scatter
// pairs once per pair, then the unpaired genes; pairs with a scatter gene go
// to scatterPairs. Then refreshes indices and centres. Returns -1 when a gene
// finds no nearest mean, 0 otherwise. workspace, when given, points at two
// workspaces (human, mouse).
int reassignClusterMembers(const std::vector<ClusterParameters>& humanClusterParams,
                           const std::vector<ClusterParameters>& mouseClusterParams,
                           const std::vector<GeneCluster*>& humanClusters,
                           const std::vector<GeneCluster*>& mouseClusters, const std::vector<GenePair>& humanToMouse,
                           const std::vector<GeneRecord*>& unpairedHumanGenes,
                           const std::vector<GeneRecord*>& unpairedMouseGenes, std::vector<GenePair>& scatterPairs,
                           ClusterUpdateWorkspace* workspace = nullptr);

}  // namespace orthomix
