#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/gene_cluster.h"

namespace orthomix {

// Where one gene ended in the best repetition.
struct GeneAssignment {
    std::int32_t cluster = -1;         // position in the cluster list; -1 for scatter
    std::int32_t nearestCluster = -1;  // position of the nearest centroid; -1 when no cluster has one
    double nearestDistance = 0.0;      // Euclidean distance to that centroid
};

// One assignment per gene, in gene order, against the snapshotted best
// clusters. The snapshots keep one copy per name, so a gene's cluster is found
// by name: genes that share an identifier all get the cluster holding that
// name (the first such cluster in list order). Nearest centroid ties go to
// the first cluster in list order.
std::vector<GeneAssignment> assignGenes(const std::vector<GeneRecord*>& genes,
                                        const std::vector<GeneCluster*>& clusters);

// A header, then one tab-separated line per gene in gene order: identifier,
// annotation, cluster position or "scatter", nearest cluster, its distance.
// Written atomically; fatal "Cannot open file <path>" when it cannot be.
void writeAssignmentTable(const std::string& path, const std::vector<GeneRecord*>& genes,
                          const std::vector<GeneCluster*>& clusters);

}  // namespace orthomix
