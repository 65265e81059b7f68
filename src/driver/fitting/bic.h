#pragma once

#include <cstdint>

namespace orthomix {

// P = 2 k (d_hm + d_ms + 1), the free parameters the BIC counts.
std::int64_t freeParameterCount(std::int32_t k, std::int32_t humanColumns, std::int32_t mouseColumns);

// BIC = ln(N) * P - 2 L with P = 2 k (d_hm + d_ms + 1) free parameters; lower is better.
double computeBic(double logLikelihood, std::int32_t k, std::int32_t humanColumns, std::int32_t mouseColumns,
                  std::int32_t geneCount);

}  // namespace orthomix
