#pragma once

#include <cstdint>
#include <vector>

#include "numeric/random_generator.h"
#include "records/gene_cluster.h"

namespace orthomix {

// A short k-means from k randomly drawn seed genes: the random start of one
// organism in one repetition.
struct KMeansRun {
    std::vector<GeneRecord*> genes;      // shared records
    std::vector<GeneCluster*> clusters;  // in index order; owned by the store passed to run
    double meanDistance = 0.0;           // mean distance of a gene to its cluster's centre
    std::int32_t maxIterations = 1;
    std::int32_t k = 0;
    std::int32_t nonEmptyClusterCount = 0;
    double tolerance = 0.0;

    // Seeds, assigns and updates, then drops empty clusters and renumbers the
    // rest. New clusters go to store. Needs at least one gene and k at most
    // the number of drawable genes.
    void run(RandomGenerator& random, ClusterStore& store);
};

}  // namespace orthomix
