#pragma once

#include <cstdint>
#include <vector>

namespace orthomix {

// P = 2 k (d_hm + d_ms + 1), the free parameters the BIC counts.
std::int64_t freeParameterCount(std::int32_t k, std::int32_t humanColumns, std::int32_t mouseColumns);

// BIC = ln(N) * P - 2 L with P = 2 k (d_hm + d_ms + 1) free parameters; lower is better.
double computeBic(double logLikelihood, std::int32_t k, std::int32_t humanColumns, std::int32_t mouseColumns,
                  std::int32_t geneCount);

// The entropy of a clustering's assignments from each gene's posterior of its
// own cluster, p: per gene -(p ln p + (1 - p) ln(1 - p)), its cluster against
// all others taken together, which is a lower bound of the entropy over every
// cluster. Genes without a posterior (NaN) are left out; both organisms' genes
// count, human first, in gene order.
double assignmentEntropy(const std::vector<double>& humanPosteriors, const std::vector<double>& mousePosteriors);

}  // namespace orthomix
