#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/results/result_assembly.h"
#include "records/organism_data.h"
#include "io/atomic_file.h"

namespace orthomix {

// Where one gene ended in the best repetition.
struct GeneAssignment {
    std::int32_t cluster = -1;         // position in the membership file; -1 for scatter
    std::int32_t nearestCluster = -1;  // position of the nearest centre; -1 when none is at a finite distance
    double nearestDistance = 0.0;      // Euclidean distance to that centre
};

// One assignment per gene, in gene order, against the membership file's
// clusters. Those list each identifier once, so a gene's cluster is found by
// identifier: genes that share one all get the first cluster listing it.
// Nearest-centre ties go to the first cluster.
std::vector<GeneAssignment> assignGenes(const OrganismData& organism, const MembershipView& view);

// A header, then one tab-separated line per gene in gene order: identifier,
// annotation, cluster position or "scatter", nearest cluster, its distance;
// with `posteriors` (one per gene) also the posterior, empty where it is NaN.
void writeAssignmentTable(AtomicOutputFile& out, const OrganismData& organism, const MembershipView& view,
                          const std::vector<double>* posteriors = nullptr);

}  // namespace orthomix
