#include "model/nearest_mean.h"

#include <cmath>
#include <limits>

namespace orthomix {
namespace {

// Blocks of this many clusters keep their sums in registers through all columns.
constexpr std::size_t kClusterBlock = 8;

__attribute__((target_clones("avx2", "default"))) void squaredDistances(const double* x, const double* meansByColumn,
                                                                         std::size_t columns, std::size_t clusters,
                                                                         double* sums) {
    std::size_t first = 0;
    for (; first + kClusterBlock <= clusters; first += kClusterBlock) {
        double block[kClusterBlock] = {};
        for (std::size_t i = 0; i < columns; ++i) {
            const double* means = meansByColumn + i * clusters + first;
            const double xi = x[i];
            for (std::size_t b = 0; b < kClusterBlock; ++b) {
                const double d = means[b] - xi;
                block[b] += d * d;
            }
        }
        for (std::size_t b = 0; b < kClusterBlock; ++b) sums[first + b] = block[b];
    }
    for (std::size_t c = first; c < clusters; ++c) sums[c] = 0.0;
    for (std::size_t i = 0; i < columns; ++i) {
        const double* means = meansByColumn + i * clusters;
        const double xi = x[i];
        for (std::size_t c = first; c < clusters; ++c) {
            const double d = means[c] - xi;
            sums[c] += d * d;
        }
    }
}

}  // namespace

void NearestMeanSearch::prepare(const double* means, std::size_t clusterCount, std::size_t columns) {
    clusterCount_ = clusterCount;
    columns_ = columns;
    meansByColumn_.resize(columns * clusterCount);
    for (std::size_t c = 0; c < clusterCount; ++c) {
        for (std::size_t i = 0; i < columns; ++i) meansByColumn_[i * clusterCount + c] = means[c * columns + i];
    }
    sums_.resize(clusterCount);
}

int NearestMeanSearch::find(const double* x, double* distance) { return find(x, sums_.data(), distance); }

int NearestMeanSearch::find(const double* x, double* sums_, double* distance) const {
    if (clusterCount_ == 0) return -1;
    squaredDistances(x, meansByColumn_.data(), columns_, clusterCount_, sums_);
    double best = std::numeric_limits<double>::infinity();
    int position = -1;
    for (std::size_t c = 0; c < clusterCount_; ++c) {
        const double d = std::sqrt(sums_[c]);
        if (d < best) {
            best = d;
            position = static_cast<int>(c);
        }
    }
    if (distance) *distance = best;
    return position;
}

}  // namespace orthomix
