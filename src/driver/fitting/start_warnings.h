#pragma once

#include <string>
#include <vector>

#include "driver/fitting/repetitions.h"

namespace orthomix {

// One warning per organism (without "warning: ") whose k-means starts left
// fewer clusters than k, and why: identical seed genes, or clusters that lost
// their genes.
std::vector<std::string> mergedStartWarnings(const std::vector<AttemptRecord>& attempts);

// A warning (without "warning: ") counting the accepted repetitions whose EM
// stopped at the iteration cap without converging; empty when none did.
std::string iterationCapWarning(const std::vector<AttemptRecord>& attempts);

// A warning (without "warning: ") when the chosen k is the smallest or the
// largest of a sweep of several values: the BIC may fall further outside the
// range tried. Empty otherwise.
std::string sweepEdgeWarning(const std::vector<std::int32_t>& ks, std::int32_t chosen);

}  // namespace orthomix
