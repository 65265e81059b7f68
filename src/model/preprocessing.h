#pragma once

#include <cstddef>
#include <optional>

#include "records/organism_data.h"

namespace orthomix {

// Mean and population standard deviation (divided by n) of a gene's values,
// summed in column order; both 0 without values. Values so large that the
// sums overflow, or so small that the squares vanish, are taken again divided
// by `scale`, their largest magnitude (1 otherwise), so that both statistics
// are finite for every finite input.
struct GeneStatistics {
    double mean = 0.0;
    double standardDeviation = 0.0;
    double scale = 1.0;
};
GeneStatistics geneStatistics(const double* values, std::size_t count);

// Why genes were left out; a gene below both thresholds counts in both.
struct PreprocessingCounts {
    std::size_t read = 0;
    std::size_t kept = 0;
    std::size_t belowVariation = 0;  // coefficient of variation below the threshold (or not a number)
    std::size_t belowMaximum = 0;    // largest value below the threshold
    std::size_t constant = 0;        // standard deviation 0; counted here only
    std::size_t notFinite = 0;       // mean or standard deviation not finite; counted here only
    std::size_t belowDeviation = 0;  // standard deviation below the minimum
    std::size_t beyondTop = 0;       // passed every test but was not among the most variable kept
};

// Filters on the spread of the values as read; absent means none.
struct VarianceFilter {
    std::optional<double> minDeviation;      // smallest standard deviation kept
    std::optional<std::size_t> mostVariable; // keep at most this many, largest standard deviation first
};

struct PreprocessedOrganism {
    OrganismData data;
    PreprocessingCounts counts;
};

// The genes whose coefficient of variation (standard deviation / mean, sign
// kept) is at least cvThreshold, whose largest value is at least
// exprThreshold and whose standard deviation is positive and finite, in their
// order, each rescaled to mean 0 and standard deviation 1.
// With a variance filter, a gene must also reach its minimum standard
// deviation, and of the genes that pass every test only the mostVariable of
// largest standard deviation stay (ties by their order).
PreprocessedOrganism preprocessOrganism(const OrganismData& organism, double cvThreshold, double exprThreshold,
                                        const VarianceFilter& variance = {});

}  // namespace orthomix
