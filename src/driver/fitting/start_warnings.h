#pragma once

#include <string>
#include <vector>

#include "driver/fitting/repetitions.h"

namespace orthomix {

// One warning per organism (without "warning: ") whose k-means starts left
// fewer clusters than k, and why: identical seed genes, or clusters that lost
// their genes.
std::vector<std::string> mergedStartWarnings(const std::vector<AttemptRecord>& attempts);

}  // namespace orthomix
