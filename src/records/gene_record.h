#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orthomix {

// One gene of one organism, a cluster centroid (named "CENTER") or a
// gene-pair pseudo-gene.
struct GeneRecord {
    GeneRecord(std::vector<double> values, std::string geneName)
        : expression(std::move(values)), name(std::move(geneName)) {}

    std::vector<double> expression;
    std::string name;
    std::string annotation;
    // Index of the gene's cluster; -1 while unassigned, and the organism's
    // number of clusters when the gene is in the scatter group.
    std::int32_t clusterIndex = -1;
    bool hasOrtholog = false;
};

// Owner of gene records; everything else refers to them by plain pointer.
using GeneStore = std::vector<std::unique_ptr<GeneRecord>>;

// Euclidean distance of the two expression vectors; fatal on a length mismatch.
double distance(const GeneRecord& a, const GeneRecord& b);

// An ortholog pair of a human and a mouse gene.
struct GenePair {
    GeneRecord* human = nullptr;
    GeneRecord* mouse = nullptr;
};

}  // namespace orthomix
