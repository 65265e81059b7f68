#pragma once

#include <string>
#include <vector>

#include "records/gene_cluster.h"

namespace orthomix {

// Header "probe set", "NAME", the column names; then each cluster's members
// (name, annotation, `dimension` values), clusters separated by three "NONE" lines.
void writeMembershipFile(const std::string& path, const std::vector<GeneCluster*>& clusters,
                         const std::vector<std::string>& columnNames);

// One line per pair: "  <H, M>--->\t[i,j]" with the genes' current cluster indices.
void writeGenePairResultFile(const std::string& path, const std::vector<GenePair>& pairs);

}  // namespace orthomix
