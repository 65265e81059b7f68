#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/expression_matrix.h"
#include "support/processor.h"
#include "support/thread_pool.h"

namespace orthomix {

// The hard clustering of one organism's genes at one moment of an attempt:
// each cluster's members (gene positions, in the order they were appended; a
// gene placed through several ortholog pairs is listed once per pair) and its
// centre, the mean of its members.
struct OrganismClusters {
    std::size_t columns = 0;
    std::vector<std::vector<std::uint32_t>> members;
    std::vector<double> centres;  // [cluster * columns + column]

    std::size_t count() const { return members.size(); }
    const double* centre(std::size_t cluster) const { return centres.data() + cluster * columns; }

    // The centre becomes the mean of the members, each column summed in member
    // order, so every kernel gives the same bits; a cluster without members
    // keeps its centre.
    void recomputeCentre(std::size_t cluster, const ExpressionMatrix& expression,
                         VectorKernel kernel = VectorKernel::Best);

    // Mean distance of the members to the centre; 0.0 without members.
    double meanDistanceToCentre(std::size_t cluster, const ExpressionMatrix& expression) const;

    // Sum over clusters of the mean member distance times the member count
    // over geneCount: the mean distance of a gene to its centre, genes in no
    // cluster counting as 0.
    // The clusters' mean distances may be found on several threads; the sum
    // stays in cluster order.
    double spread(const ExpressionMatrix& expression, std::size_t geneCount, ThreadPool* pool = nullptr) const;

    // recomputeCentre for every cluster, clusters side by side on the pool.
    void recomputeCentres(const ExpressionMatrix& expression, ThreadPool* pool);
};

// Relative change of a spread or objective, |old - new| / old; NaN for 0 / 0.
inline double relativeChange(double oldValue, double newValue) { return std::fabs((oldValue - newValue) / oldValue); }

}  // namespace orthomix
