#include "model/kmeans.h"

#include <cmath>
#include <limits>

namespace orthomix {
namespace {

void assignToNearestCenter(const std::vector<GeneRecord*>& genes, const std::vector<GeneCluster*>& clusters) {
    for (GeneRecord* gene : genes) {
        // Ties go to the lowest index; a gene whose distances are all NaN lands in cluster 0.
        double best = std::numeric_limits<double>::infinity();
        std::size_t bestCluster = 0;
        for (std::size_t c = 0; c < clusters.size(); ++c) {
            const double d = distance(*gene, *clusters[c]->center);
            if (d < best) {
                best = d;
                bestCluster = c;
            }
        }
        clusters[bestCluster]->appendMember(gene);
    }
}

}  // namespace

void KMeansRun::run(RandomGenerator& random, ClusterStore& store) {
    clusters.clear();
    const auto dimension = static_cast<std::int32_t>(genes.front()->expression.size());
    for (GeneRecord* gene : genes) gene->clusterIndex = -1;

    const auto geneCount = static_cast<std::uint32_t>(genes.size());
    for (std::int32_t i = 0; i < k; ++i) {
        store.push_back(std::make_unique<GeneCluster>(i, dimension));
        GeneCluster* cluster = store.back().get();
        std::uint32_t position;
        do {
            position = static_cast<std::uint32_t>(random.draw()) % geneCount;
        } while (genes[position]->clusterIndex != -1);
        genes[position]->clusterIndex = i;
        cluster->setCenterFrom(*genes[position]);
        clusters.push_back(cluster);
    }

    std::int32_t passes = 0;
    for (;;) {
        for (GeneCluster* cluster : clusters) cluster->clearMembers();
        assignToNearestCenter(genes, clusters);
        for (GeneCluster* cluster : clusters) cluster->recomputeCenter();
        const double previous = meanDistance;
        double objective = 0.0;
        for (const GeneCluster* cluster : clusters) {
            objective += cluster->meanDistanceToCenter() * cluster->memberCount() / static_cast<double>(geneCount);
        }
        meanDistance = objective;
        ++passes;
        // The first pass compares with 0.0, so a second pass always follows a
        // positive objective; a NaN ratio stops.
        const bool changed = std::fabs(previous - meanDistance) / previous >= tolerance;
        if (!(changed && passes <= maxIterations)) break;
    }

    for (const GeneCluster* cluster : clusters) cluster->propagateIndex();

    std::vector<GeneCluster*> kept;
    for (GeneCluster* cluster : clusters) {
        if (cluster->memberCount() == 0) continue;
        cluster->index = static_cast<std::int32_t>(kept.size());
        cluster->propagateIndex();
        kept.push_back(cluster);
    }
    clusters = std::move(kept);
    nonEmptyClusterCount = static_cast<std::int32_t>(clusters.size());
}

}  // namespace orthomix
