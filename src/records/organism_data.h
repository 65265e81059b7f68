#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "records/expression_matrix.h"

namespace orthomix {

// One organism's genes in data-file order: identifiers, annotations and the
// expression matrix are parallel (row g of the matrix is gene g). Read-only
// once preprocessing has run.
struct OrganismData {
    std::vector<std::string> sampleNames;
    std::vector<std::string> identifiers;
    std::vector<std::string> annotations;  // "" where the annotation file names no text
    ExpressionMatrix expression;

    std::size_t geneCount() const { return identifiers.size(); }
    std::size_t sampleCount() const { return sampleNames.size(); }
};

}  // namespace orthomix
