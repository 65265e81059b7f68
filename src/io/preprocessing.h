#pragma once

#include <vector>

#include "records/gene_record.h"

namespace orthomix {

// Drops genes that vary or express too little, then rescales every kept gene
// to mean 0 and population standard deviation 1.
struct GeneFilter {
    std::vector<GeneRecord*> genes;
    double cvThreshold = 0.0;
    double exprThreshold = 0.0;

    // Keeps a gene when CV >= cvThreshold and max >= exprThreshold, and its
    // standard deviation is positive; genes without values are dropped.
    void filterByThresholds();
    void standardise();
    void run() {
        filterByThresholds();
        standardise();
    }
};

// Mean and population standard deviation (divided by n) of a gene's values,
// summed in column order; both 0 for an empty vector.
struct GeneStatistics {
    double mean = 0.0;
    double standardDeviation = 0.0;
};
GeneStatistics geneStatistics(const std::vector<double>& values);

}  // namespace orthomix
