#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "records/gene_record.h"

namespace orthomix {

// One cluster of one organism. Members are shared gene records, except after
// snapshotCluster, when the cluster owns private copies of them.
struct GeneCluster {
    GeneCluster(std::int32_t clusterIndex, std::int32_t columnCount)
        : index(clusterIndex), dimension(columnCount) {}

    std::vector<GeneRecord*> members;  // in the order of appending
    std::unique_ptr<GeneRecord> center;
    std::int32_t index;
    std::int32_t dimension;
    GeneStore ownedMembers;  // filled only by a snapshot

    std::uint32_t memberCount() const { return static_cast<std::uint32_t>(members.size()); }
    void appendMember(GeneRecord* gene) { members.push_back(gene); }
    void clearMembers() { members.clear(); }

    // Mean distance of the members to the centre; 0.0 for an empty cluster.
    double meanDistanceToCenter() const;
    // Every member's clusterIndex := index.
    void propagateIndex() const;
    // center := a new "CENTER" record holding a copy of the gene's values.
    void setCenterFrom(const GeneRecord& gene);
    // center := the member means over `dimension` columns; an empty cluster keeps its centre.
    void recomputeCenter();
};

using ClusterStore = std::vector<std::unique_ptr<GeneCluster>>;

inline constexpr const char* kCenterName = "CENTER";

}  // namespace orthomix
