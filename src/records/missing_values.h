#pragma once

#include <cstddef>
#include <vector>

#include "records/organism_data.h"

namespace orthomix {

// What a value that is not a number (NA, an empty cell, 1e309) stands for.
enum class MissingValues {
    Zero,      // 0, as it was read
    DropGene,  // its gene is left out
    GeneMean,  // the mean of the gene's other values (0 when it has none)
};

// Applies the rule to the cells that held no number, given as row * columns
// + column in increasing order, and returns how many genes were left out.
std::size_t settleMissingValues(OrganismData& organism, const std::vector<std::size_t>& missingCells,
                                MissingValues rule);

}  // namespace orthomix
