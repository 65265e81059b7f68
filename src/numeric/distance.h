#pragma once

#include <cmath>
#include <cstddef>

namespace orthomix {

// Euclidean distance of two vectors of `length` values: the square root of
// the squared differences summed in column order. The one distance of the
// tool: k-means, the nearest-mean reassignment, spreads and assignment tables.
inline double euclideanDistance(const double* a, const double* b, std::size_t length) {
    double sum = 0.0;
    for (std::size_t i = 0; i < length; ++i) {
        const double d = a[i] - b[i];
        sum += d * d;
    }
    return std::sqrt(sum);
}

}  // namespace orthomix
