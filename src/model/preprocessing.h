#pragma once

#include <cstddef>

#include "records/organism_data.h"

namespace orthomix {

// Mean and population standard deviation (divided by n) of a gene's values,
// summed in column order; both 0 without values.
struct GeneStatistics {
    double mean = 0.0;
    double standardDeviation = 0.0;
};
GeneStatistics geneStatistics(const double* values, std::size_t count);

// The genes whose coefficient of variation (standard deviation / mean, sign
// kept) is at least cvThreshold, whose largest value is at least
// exprThreshold and whose standard deviation is positive, in their order,
// each rescaled to mean 0 and standard deviation 1.
OrganismData preprocessOrganism(const OrganismData& organism, double cvThreshold, double exprThreshold);

}  // namespace orthomix
