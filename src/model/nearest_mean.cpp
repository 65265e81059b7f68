#include "model/nearest_mean.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace orthomix {
namespace {

// Four clusters side by side; each lane is one cluster's sum, in column order.
using Lanes = double __attribute__((vector_size(4 * sizeof(double))));

// Blocks of eight clusters keep their sums in registers through all columns.
constexpr std::size_t kClusterBlock = 8;

__attribute__((target_clones("avx2", "default"))) void squaredDistances(const double* x, const double* meansByColumn,
                                                                         std::size_t columns, std::size_t clusters,
                                                                         double* sums) {
    std::size_t first = 0;
    for (; first + kClusterBlock <= clusters; first += kClusterBlock) {
        Lanes low = {0.0, 0.0, 0.0, 0.0};
        Lanes high = {0.0, 0.0, 0.0, 0.0};
        for (std::size_t i = 0; i < columns; ++i) {
            const double* means = meansByColumn + i * clusters + first;
            const Lanes xi = {x[i], x[i], x[i], x[i]};
            Lanes meanLow, meanHigh;
            std::memcpy(&meanLow, means, sizeof meanLow);
            std::memcpy(&meanHigh, means + 4, sizeof meanHigh);
            const Lanes dLow = meanLow - xi;
            const Lanes dHigh = meanHigh - xi;
            low += dLow * dLow;
            high += dHigh * dHigh;
        }
        std::memcpy(sums + first, &low, sizeof low);
        std::memcpy(sums + first + 4, &high, sizeof high);
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
