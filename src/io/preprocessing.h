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
    // standard deviation is positive.
    void filterByThresholds();
    void standardise();
    void run() {
        filterByThresholds();
        standardise();
    }
};

}  // namespace orthomix
