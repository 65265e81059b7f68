#include "model/kmeans_start.h"

#include <algorithm>
#include <cstring>

#include "model/nearest_mean.h"

namespace orthomix {

std::vector<std::uint32_t> drawSeedPositions(RandomGenerator& random, std::int32_t k, std::size_t geneCount) {
    std::vector<std::uint32_t> seeds;
    std::vector<char> taken(geneCount, 0);
    const auto count = static_cast<std::uint32_t>(geneCount);
    for (std::int32_t i = 0; i < k; ++i) {
        std::uint32_t position;
        do {
            position = static_cast<std::uint32_t>(random.draw()) % count;
        } while (taken[position]);
        taken[position] = 1;
        seeds.push_back(position);
    }
    return seeds;
}

namespace {

// Seeds whose row has the same bits as another seed's row. Rows are sorted
// by their bytes, an order that holds for NaN too.
std::int32_t countIdenticalSeeds(const ExpressionMatrix& expression, std::vector<std::uint32_t> seeds) {
    const std::size_t bytes = expression.columns() * sizeof(double);
    const auto compare = [&](std::uint32_t a, std::uint32_t b) {
        return bytes == 0 ? 0 : std::memcmp(expression.row(a), expression.row(b), bytes);
    };
    std::sort(seeds.begin(), seeds.end(), [&](std::uint32_t a, std::uint32_t b) { return compare(a, b) < 0; });
    std::int32_t identical = 0;
    for (std::size_t i = 1; i < seeds.size(); ++i) {
        if (compare(seeds[i], seeds[i - 1]) == 0) ++identical;
    }
    return identical;
}

}  // namespace

KMeansStart runKMeans(const ExpressionMatrix& expression, const std::vector<std::uint32_t>& seeds, double tolerance,
                      std::int32_t maxIterations, ThreadPool* pool, NearestMeanMethod method) {
    const std::size_t geneCount = expression.rows();
    const std::size_t columns = expression.columns();
    const std::size_t k = seeds.size();
    OrganismClusters clusters;
    clusters.columns = columns;
    clusters.members.resize(k);
    clusters.centres.resize(k * columns);
    for (std::size_t c = 0; c < k; ++c) {
        const double* seed = expression.row(seeds[c]);
        std::copy(seed, seed + columns, clusters.centres.begin() + static_cast<std::ptrdiff_t>(c * columns));
    }

    KMeansStart start;
    NearestMeanSearch search;
    std::vector<int> nearest(geneCount);
    std::int32_t passes = 0;
    for (;;) {
        for (auto& members : clusters.members) members.clear();
        search.prepare(clusters.centres.data(), k, columns);
        findNearestMeans(search, expression, nearest, pool, method);
        for (std::uint32_t g = 0; g < geneCount; ++g) {
            // A gene whose distances are all NaN lands in cluster 0.
            clusters.members[nearest[g] < 0 ? 0 : static_cast<std::size_t>(nearest[g])].push_back(g);
        }
        clusters.recomputeCentres(expression, pool);
        const double previous = start.meanDistance;
        start.meanDistance = clusters.spread(expression, geneCount, pool);
        ++passes;
        // The first pass compares with 0.0, so a second pass always follows a
        // positive objective; a NaN ratio stops.
        const bool changed = relativeChange(previous, start.meanDistance) >= tolerance;
        if (!(changed && passes <= maxIterations)) break;
    }

    // Empty clusters are dropped; the others keep their order.
    start.labels.assign(geneCount, -1);
    start.clusters.columns = columns;
    for (std::size_t c = 0; c < k; ++c) {
        if (clusters.members[c].empty()) continue;
        const auto position = static_cast<std::int32_t>(start.clusters.count());
        for (const std::uint32_t gene : clusters.members[c]) start.labels[gene] = position;
        start.clusters.members.push_back(std::move(clusters.members[c]));
        const double* centre = clusters.centre(c);
        start.clusters.centres.insert(start.clusters.centres.end(), centre, centre + columns);
    }
    if (start.clusters.count() < k) start.identicalSeeds = countIdenticalSeeds(expression, seeds);
    return start;
}

}  // namespace orthomix
