#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/nearest_mean.h"
#include "model/organism_clusters.h"
#include "numeric/random_generator.h"
#include "support/thread_pool.h"

namespace orthomix {

// The k seed genes of one organism's k-means start: position = draw mod
// geneCount, drawn again when the position is already a seed. The draws
// depend only on the generator's state, k and the gene count, never on
// expression values. Needs k at most the number of drawable positions
// (min(geneCount, 32768)).
std::vector<std::uint32_t> drawSeedPositions(RandomGenerator& random, std::int32_t k, std::size_t geneCount);

// Where a k-means start left one organism.
struct KMeansStart {
    OrganismClusters clusters;         // the non-empty clusters, renumbered in order
    std::vector<std::int32_t> labels;  // every gene's cluster
    double meanDistance = 0.0;         // mean distance of a gene to its centre
    // Seeds whose values equal those of another seed, counted only when a
    // cluster was dropped: such seeds start the same cluster, and all but one
    // of them end empty.
    std::int32_t identicalSeeds = 0;
};

// The short k-means from the seeds: every gene goes to the nearest centre
// (ties to the lower cluster), centres move to the member means, and the
// passes repeat while the objective changes by at least `tolerance` relative
// and the pass count stays within maxIterations (two passes for 1). Clusters
// left empty are dropped and the rest renumbered without gaps.
// The distances and centres may be computed on a pool; the result does not
// depend on it.
KMeansStart runKMeans(const ExpressionMatrix& expression, const std::vector<std::uint32_t>& seeds, double tolerance,
                      std::int32_t maxIterations, ThreadPool* pool = nullptr,
                      NearestMeanMethod method = NearestMeanMethod::RowByRow);

}  // namespace orthomix
