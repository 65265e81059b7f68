#pragma once

#include <cstdint>
#include <vector>

#include "model/cluster_parameters.h"
#include "model/organism_clusters.h"

namespace orthomix {

// One organism inside an attempt: its clusters, every gene's label and the
// clusters' Gaussians. A label is a cluster position, the cluster count for a
// gene the E-step sent to scatter; a gene in no cluster keeps the label the
// E-step last gave it.
struct OrganismState {
    OrganismClusters clusters;
    std::vector<std::int32_t> labels;
    ClusterParameters parameters;

    int clusterCount() const { return static_cast<int>(clusters.count()); }
    // Every member's label becomes its cluster's position.
    void labelMembers(std::size_t cluster) {
        for (const std::uint32_t gene : clusters.members[cluster]) labels[gene] = static_cast<std::int32_t>(cluster);
    }
};

}  // namespace orthomix
