#pragma once

#include <vector>

#include "records/gene_cluster.h"

namespace orthomix {

// Replaces the cluster's shared members by private copies, one per distinct
// name (the first member of a name wins), sorted by name; then refreshes the
// copies' index and the centre. The shared gene records stay untouched.
void snapshotCluster(GeneCluster& cluster);

// Builds the nH x nM gene-pair clusters (cell i * nM + j) of the pairs whose
// genes sit in human cluster i and mouse cluster j; pairs with an index
// outside 0..nH-1 or 0..nM-1 (scatter, or a cluster the best repetition does
// not have) are skipped. New clusters and pseudo-genes go to the stores.
void buildGenePairClusters(const std::vector<GeneCluster*>& humanClusters,
                           const std::vector<GeneCluster*>& mouseClusters, const std::vector<GenePair>& pairs,
                           std::vector<GeneCluster*>& output, ClusterStore& clusterStore, GeneStore& geneStore);

}  // namespace orthomix
