#include "model/organism_clusters.h"

#include <algorithm>

#include "numeric/distance.h"

namespace orthomix {

void OrganismClusters::recomputeCentre(std::size_t cluster, const ExpressionMatrix& expression) {
    const std::vector<std::uint32_t>& list = members[cluster];
    if (list.empty()) return;
    double* sums = centres.data() + cluster * columns;
    std::fill(sums, sums + columns, 0.0);
    // Member-major walk: each column still sums its members in list order.
    for (const std::uint32_t gene : list) {
        const double* values = expression.row(gene);
        for (std::size_t i = 0; i < columns; ++i) sums[i] += values[i];
    }
    const double count = static_cast<double>(static_cast<std::uint32_t>(list.size()));
    for (std::size_t i = 0; i < columns; ++i) sums[i] /= count;
}

double OrganismClusters::meanDistanceToCentre(std::size_t cluster, const ExpressionMatrix& expression) const {
    const std::vector<std::uint32_t>& list = members[cluster];
    if (list.empty()) return 0.0;
    const double* c = centre(cluster);
    double sum = 0.0;
    for (const std::uint32_t gene : list) sum += euclideanDistance(expression.row(gene), c, columns);
    return sum / static_cast<double>(static_cast<std::uint32_t>(list.size()));
}

double OrganismClusters::spread(const ExpressionMatrix& expression, std::size_t geneCount, ThreadPool* pool) const {
    std::vector<double> meanDistances(count());
    forRanges(pool, count(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t c = begin; c < end; ++c) meanDistances[c] = meanDistanceToCentre(c, expression);
    });
    double sum = 0.0;
    for (std::size_t c = 0; c < count(); ++c) {
        const double memberCount = static_cast<double>(static_cast<std::uint32_t>(members[c].size()));
        sum += meanDistances[c] * memberCount / static_cast<double>(geneCount);
    }
    return sum;
}

void OrganismClusters::recomputeCentres(const ExpressionMatrix& expression, ThreadPool* pool) {
    forRanges(pool, count(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t c = begin; c < end; ++c) recomputeCentre(c, expression);
    });
}

}  // namespace orthomix
