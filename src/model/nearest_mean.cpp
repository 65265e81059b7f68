#include "model/nearest_mean.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace orthomix {
namespace {

// Four clusters side by side; each lane is one cluster's sum, in column order.
using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
constexpr std::size_t kLanes = 4;

// At most this many groups of four clusters keep their sums in registers
// through all columns; more groups are taken in turn.
constexpr std::size_t kMaxGroups = 12;

// The squared distances of x to `Groups` groups of four clusters. The groups'
// sums are independent chains of additions, so the processor overlaps them;
// one chain alone would wait for each addition.
template <std::size_t Groups>
[[gnu::always_inline]] inline void squaredDistancesOfGroups(const double* x, const double* meansByColumn,
                                                            std::size_t columns, std::size_t stride,
                                                            double* sums) {
    Lanes acc[Groups];
#pragma GCC unroll 16
    for (std::size_t j = 0; j < Groups; ++j) acc[j] = Lanes{0.0, 0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < columns; ++i) {
        const double* means = meansByColumn + i * stride;
        const Lanes xi = {x[i], x[i], x[i], x[i]};
#pragma GCC unroll 16
        for (std::size_t j = 0; j < Groups; ++j) {
            Lanes mean;
            std::memcpy(&mean, means + j * kLanes, sizeof mean);
            const Lanes d = mean - xi;
            acc[j] += d * d;
        }
    }
#pragma GCC unroll 16
    for (std::size_t j = 0; j < Groups; ++j) std::memcpy(sums + j * kLanes, &acc[j], sizeof acc[j]);
}

template <std::size_t... Groups>
[[gnu::always_inline]] inline void squaredDistancesOfSomeGroups(std::size_t groups, const double* x, const double* meansByColumn,
                                  std::size_t columns, std::size_t stride, double* sums,
                                  std::index_sequence<Groups...>) {
    ((groups == Groups + 1 ? squaredDistancesOfGroups<Groups + 1>(x, meansByColumn, columns, stride, sums) : void()),
     ...);
}

// meansByColumn: `stride` values per column, a multiple of four, the clusters
// beyond the real ones padded; sums gets `stride` values.
__attribute__((target_clones("avx2", "default"))) void squaredDistances(const double* x, const double* meansByColumn,
                                                                         std::size_t columns, std::size_t stride,
                                                                         double* sums) {
    for (std::size_t first = 0; first < stride; first += kMaxGroups * kLanes) {
        const std::size_t groups = std::min(kMaxGroups, (stride - first) / kLanes);
        squaredDistancesOfSomeGroups(groups, x, meansByColumn + first, columns, stride, sums + first,
                                     std::make_index_sequence<kMaxGroups>{});
    }
}

}  // namespace

void NearestMeanSearch::prepare(const double* means, std::size_t clusterCount, std::size_t columns) {
    clusterCount_ = clusterCount;
    columns_ = columns;
    stride_ = (clusterCount + kLanes - 1) / kLanes * kLanes;
    meansByColumn_.assign(columns * stride_, 0.0);
    for (std::size_t c = 0; c < clusterCount; ++c) {
        for (std::size_t i = 0; i < columns; ++i) meansByColumn_[i * stride_ + c] = means[c * columns + i];
    }
    sums_.resize(stride_);
}

int NearestMeanSearch::find(const double* x, double* distance) { return find(x, sums_.data(), distance); }

int NearestMeanSearch::find(const double* x, double* sums_, double* distance) const {
    if (clusterCount_ == 0) return -1;
    squaredDistances(x, meansByColumn_.data(), columns_, stride_, sums_);
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
