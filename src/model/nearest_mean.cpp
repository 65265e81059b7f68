#include "model/nearest_mean.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "support/processor.h"
#include "support/wide_vectors.h"

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

// x.m for four rows against `Vectors` vectors of four means: 4 x Vectors
// sums in registers, one fused multiply-add per term, in column order. Rows
// past `rows` repeat the last one and are not written.
template <std::size_t Vectors>
[[gnu::always_inline]] [[gnu::target("avx2,fma")]] inline void crossBlock(const double* const* x, std::size_t rows,
                                                                          std::size_t columns,
                                                                          const double* meansByColumn,
                                                                          std::size_t stride, double* cross) {
    __m256d sums[4][Vectors];
#pragma GCC unroll 4
    for (std::size_t r = 0; r < 4; ++r) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Vectors; ++v) sums[r][v] = _mm256_setzero_pd();
    }
    for (std::size_t i = 0; i < columns; ++i) {
        __m256d mean[Vectors];
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Vectors; ++v) mean[v] = _mm256_loadu_pd(meansByColumn + i * stride + v * kLanes);
#pragma GCC unroll 4
        for (std::size_t r = 0; r < 4; ++r) {
            const __m256d value = _mm256_broadcast_sd(x[r] + i);
#pragma GCC unroll 4
            for (std::size_t v = 0; v < Vectors; ++v) sums[r][v] = _mm256_fmadd_pd(value, mean[v], sums[r][v]);
        }
    }
#pragma GCC unroll 4
    for (std::size_t r = 0; r < 4; ++r) {
        if (r >= rows) break;
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Vectors; ++v) _mm256_storeu_pd(cross + r * stride + v * kLanes, sums[r][v]);
    }
}

[[gnu::target("avx2,fma")]] void crossProductsFused(const double* const* x, std::size_t rows, std::size_t columns,
                                                    const double* meansByColumn, std::size_t stride, double* cross) {
    constexpr std::size_t kVectors = 3;  // 12 sums and 3 means in the 16 vector registers
    for (std::size_t first = 0; first < stride; first += kVectors * kLanes) {
        const double* means = meansByColumn + first;
        double* out = cross + first;
        switch (std::min(kVectors, (stride - first) / kLanes)) {
            case 1: crossBlock<1>(x, rows, columns, means, stride, out); break;
            case 2: crossBlock<2>(x, rows, columns, means, stride, out); break;
            default: crossBlock<3>(x, rows, columns, means, stride, out); break;
        }
    }
}

// The same on eight means to a vector, the lanes of the last vector past
// `stride` masked off: each sum takes the same terms in the same order, so
// both give the same bits.
template <std::size_t Vectors>
[[gnu::always_inline]] [[gnu::target("avx512f,fma")]] inline void wideCrossBlock(
    const double* const* x, std::size_t rows, std::size_t columns, const double* meansByColumn, std::size_t stride,
    __mmask8 lastMask, double* cross) {
    __m512d sums[4][Vectors];
#pragma GCC unroll 4
    for (std::size_t r = 0; r < 4; ++r) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Vectors; ++v) sums[r][v] = _mm512_setzero_pd();
    }
    for (std::size_t i = 0; i < columns; ++i) {
        const double* meanRow = meansByColumn + i * stride;
        __m512d mean[Vectors];
#pragma GCC unroll 4
        for (std::size_t v = 0; v + 1 < Vectors; ++v) mean[v] = _mm512_loadu_pd(meanRow + v * kWideLanes);
        mean[Vectors - 1] = _mm512_maskz_loadu_pd(lastMask, meanRow + (Vectors - 1) * kWideLanes);
#pragma GCC unroll 4
        for (std::size_t r = 0; r < 4; ++r) {
            const __m512d value = _mm512_set1_pd(x[r][i]);
#pragma GCC unroll 4
            for (std::size_t v = 0; v < Vectors; ++v) sums[r][v] = _mm512_fmadd_pd(value, mean[v], sums[r][v]);
        }
    }
#pragma GCC unroll 4
    for (std::size_t r = 0; r < 4; ++r) {
        if (r >= rows) break;
#pragma GCC unroll 4
        for (std::size_t v = 0; v + 1 < Vectors; ++v) _mm512_storeu_pd(cross + r * stride + v * kWideLanes, sums[r][v]);
        _mm512_mask_storeu_pd(cross + r * stride + (Vectors - 1) * kWideLanes, lastMask, sums[r][Vectors - 1]);
    }
}

[[gnu::target("avx512f,fma")]] void wideCrossProducts(const double* const* x, std::size_t rows, std::size_t columns,
                                                      const double* meansByColumn, std::size_t stride,
                                                      double* cross) {
    constexpr std::size_t kVectors = 4;  // 16 sums and 4 means of the 32 vector registers
    for (std::size_t first = 0; first < stride; first += kVectors * kWideLanes) {
        const double* means = meansByColumn + first;
        double* out = cross + first;
        const auto [vectors, lastMask] = wideVectorsOf(stride - first, kVectors);
        switch (vectors) {
            case 1: wideCrossBlock<1>(x, rows, columns, means, stride, lastMask, out); break;
            case 2: wideCrossBlock<2>(x, rows, columns, means, stride, lastMask, out); break;
            case 3: wideCrossBlock<3>(x, rows, columns, means, stride, lastMask, out); break;
            default: wideCrossBlock<4>(x, rows, columns, means, stride, lastMask, out); break;
        }
    }
}

void crossProductsPortable(const double* const* x, std::size_t rows, std::size_t columns,
                           const double* meansByColumn, std::size_t stride, double* cross) {
    for (std::size_t r = 0; r < rows; ++r) {
        double* out = cross + r * stride;
        std::fill(out, out + stride, 0.0);
        for (std::size_t i = 0; i < columns; ++i) {
            const double value = x[r][i];
            const double* means = meansByColumn + i * stride;
            for (std::size_t c = 0; c < stride; ++c) out[c] += value * means[c];
        }
    }
}

// The squared distance as squaredDistances computes each lane: the squared
// differences summed in column order.
double squaredDistance(const double* x, const double* mean, std::size_t columns) {
    double sum = 0.0;
    for (std::size_t i = 0; i < columns; ++i) {
        const double d = mean[i] - x[i];
        sum += d * d;
    }
    return sum;
}

// How far, relative to (|x| + |m|)^2, the expanded squared distance and the
// one summed term by term may each stray from the true one, with room to
// spare, so that every mean the exact search could choose is measured.
double expansionSlack(std::size_t columns) {
    constexpr double kRounding = 2.220446049250313e-16;
    return (4.0 * static_cast<double>(columns) + 16.0) * kRounding;
}

// Four squared distances at once, each summed as squaredDistance sums it:
// four independent chains of additions instead of one that waits on each.
void squaredDistancesOfFour(const double* const* x, const double* const* means, std::size_t columns, double* out) {
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < columns; ++i) {
        for (std::size_t lane = 0; lane < 4; ++lane) {
            const double d = means[lane][i] - x[lane][i];
            sums[lane] += d * d;
        }
    }
    for (std::size_t lane = 0; lane < 4; ++lane) out[lane] = sums[lane];
}

// Element i in partial sum i % 4, so that the sums advance side by side.
double sumOfSquares(const double* x, std::size_t columns) {
    double partial[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 4 <= columns; i += 4) {
        for (std::size_t lane = 0; lane < 4; ++lane) partial[lane] += x[i + lane] * x[i + lane];
    }
    for (; i < columns; ++i) partial[i % 4] += x[i] * x[i];
    return (partial[0] + partial[1]) + (partial[2] + partial[3]);
}

// What the screen of one row's expanded distances found: the lowest upper
// end of their error intervals, and whether a single mean has its lower end
// at or below it (no other can then be the nearest), with that mean.
struct RowScreen {
    double lowestTop = std::numeric_limits<double>::infinity();
    bool single = false;
    std::size_t singleCluster = 0;
    bool finite = true;
};

using LaneMask = std::int64_t __attribute__((vector_size(4 * sizeof(std::int64_t))));

// Fills expanded[0..k) with (|x|^2 - 2 x.m) + |m|^2, each rounded as one
// scalar expression would be, four clusters side by side. Each lane keeps
// the lowest upper end and the two lowest lower ends of its clusters, and
// the lanes are compared at the end without a branch: min and compare are
// exact, so the lanes change no result.
__attribute__((target_clones("avx2", "default"))) void screenRow(double squares, double norm, const double* products,
                                                                 const double* meanSquares, const double* meanNorms,
                                                                 std::size_t k, double slack, double* expanded,
                                                                 RowScreen& screen) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const Lanes squaresLanes = {squares, squares, squares, squares};
    const Lanes normLanes = {norm, norm, norm, norm};
    const Lanes slackLanes = {slack, slack, slack, slack};
    Lanes lowestTop = {kInfinity, kInfinity, kInfinity, kInfinity};
    Lanes lowestBottom = lowestTop, secondBottom = lowestTop;
    Lanes lowestCluster = {0.0, 0.0, 0.0, 0.0};
    Lanes cluster = {0.0, 1.0, 2.0, 3.0};
    // top - top is 0 for a finite top and NaN otherwise; a NaN stays.
    Lanes nonFinite = {0.0, 0.0, 0.0, 0.0};
    std::size_t c = 0;
    for (; c + kLanes <= k; c += kLanes) {
        Lanes product, meanSquare, meanNorm;
        std::memcpy(&product, products + c, sizeof product);
        std::memcpy(&meanSquare, meanSquares + c, sizeof meanSquare);
        std::memcpy(&meanNorm, meanNorms + c, sizeof meanNorm);
        const Lanes value = (squaresLanes - 2.0 * product) + meanSquare;
        std::memcpy(expanded + c, &value, sizeof value);
        const Lanes reach = normLanes + meanNorm;
        const Lanes margin = slackLanes * (reach * reach);
        const Lanes top = value + margin;
        const Lanes bottom = value - margin;
        nonFinite += top - top;
        lowestTop = top < lowestTop ? top : lowestTop;
        const LaneMask below = bottom < lowestBottom;
        secondBottom = below ? lowestBottom : (bottom < secondBottom ? bottom : secondBottom);
        lowestCluster = below ? cluster : lowestCluster;
        lowestBottom = below ? bottom : lowestBottom;
        cluster += 4.0;
    }
    for (; c < k; ++c) {
        // The last one to three clusters, each in the lane it would have among four.
        const std::size_t lane = c % kLanes;
        expanded[c] = (squares - 2.0 * products[c]) + meanSquares[c];
        const double reach = norm + meanNorms[c];
        const double margin = slack * (reach * reach);
        const double top = expanded[c] + margin;
        const double bottom = expanded[c] - margin;
        nonFinite[lane] += top - top;
        lowestTop[lane] = top < lowestTop[lane] ? top : lowestTop[lane];
        const bool below = bottom < lowestBottom[lane];
        secondBottom[lane] = below ? lowestBottom[lane] : (bottom < secondBottom[lane] ? bottom : secondBottom[lane]);
        lowestCluster[lane] = below ? static_cast<double>(c) : lowestCluster[lane];
        lowestBottom[lane] = below ? bottom : lowestBottom[lane];
    }
    const double top = std::min(std::min(lowestTop[0], lowestTop[1]), std::min(lowestTop[2], lowestTop[3]));
    const Lanes tops = {top, top, top, top};
    // A single mean within reach: one lane's lowest lower end, no lane's second.
    const LaneMask firstWithin = lowestBottom <= tops;
    const LaneMask secondWithin = secondBottom <= tops;
    const std::int64_t lanesWithin = -(firstWithin[0] + firstWithin[1] + firstWithin[2] + firstWithin[3]);
    const bool noSecond = (secondWithin[0] | secondWithin[1] | secondWithin[2] | secondWithin[3]) == 0;
    const std::size_t lane = firstWithin[0] ? 0 : firstWithin[1] ? 1 : firstWithin[2] ? 2 : 3;
    screen.lowestTop = top;
    screen.single = lanesWithin == 1 && noSecond;
    screen.singleCluster = static_cast<std::size_t>(lowestCluster[lane]);
    screen.finite =
        std::isfinite(squares) && ((nonFinite[0] + nonFinite[1]) + (nonFinite[2] + nonFinite[3])) == 0.0;
}

// The same screen on eight clusters to a vector, the lanes past k masked
// off. Every value is rounded as in the four-lane screen, and which means are
// within reach does not depend on the lane a mean sits in, so both screens
// give the same answer.
[[gnu::target("avx512f")]] void wideScreenRow(double squares, double norm, const double* products,
                                              const double* meanSquares, const double* meanNorms, std::size_t k,
                                              double slack, double* expanded, RowScreen& screen) {
    const __m512d squaresLanes = _mm512_set1_pd(squares);
    const __m512d normLanes = _mm512_set1_pd(norm);
    const __m512d slackLanes = _mm512_set1_pd(slack);
    const __m512d two = _mm512_set1_pd(2.0);
    const __m512d infinity = _mm512_set1_pd(std::numeric_limits<double>::infinity());
    __m512d lowestTop = infinity, lowestBottom = infinity, secondBottom = infinity;
    __m512d nonFinite = _mm512_setzero_pd();  // as in the four-lane screen
    __m512i lowestCluster = _mm512_setzero_si512();
    __m512i cluster = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
    const __m512i step = _mm512_set1_epi64(static_cast<long long>(kWideLanes));
    for (std::size_t c = 0; c < k; c += kWideLanes) {
        const __mmask8 real = firstLanesMask(std::min(kWideLanes, k - c));
        const __m512d product = _mm512_maskz_loadu_pd(real, products + c);
        const __m512d meanSquare = _mm512_maskz_loadu_pd(real, meanSquares + c);
        const __m512d meanNorm = _mm512_maskz_loadu_pd(real, meanNorms + c);
        const __m512d value =
            _mm512_add_pd(_mm512_sub_pd(squaresLanes, _mm512_mul_pd(two, product)), meanSquare);
        _mm512_mask_storeu_pd(expanded + c, real, value);
        const __m512d reach = _mm512_add_pd(normLanes, meanNorm);
        const __m512d margin = _mm512_mul_pd(slackLanes, _mm512_mul_pd(reach, reach));
        const __m512d top = _mm512_add_pd(value, margin);
        const __m512d bottom = _mm512_sub_pd(value, margin);
        nonFinite = _mm512_mask_add_pd(nonFinite, real, nonFinite, _mm512_sub_pd(top, top));
        // min(a, b) is a < b ? a : b, as the four-lane screen's choices.
        lowestTop = _mm512_mask_min_pd(lowestTop, real, top, lowestTop);
        const __mmask8 below = _mm512_mask_cmp_pd_mask(real, bottom, lowestBottom, _CMP_LT_OQ);
        secondBottom = _mm512_mask_min_pd(secondBottom, real, bottom, secondBottom);
        secondBottom = _mm512_mask_mov_pd(secondBottom, below, lowestBottom);
        lowestCluster = _mm512_mask_mov_epi64(lowestCluster, below, cluster);
        lowestBottom = _mm512_mask_mov_pd(lowestBottom, below, bottom);
        cluster = _mm512_add_epi64(cluster, step);
    }
    // The lowest top in every lane, by swapping halves, quarters and
    // neighbours: no lane holds NaN, so the order of the minima is free.
    // (The masked forms: the plain ones leave GCC 12 warning of an
    // uninitialised operand inside its own headers.)
    constexpr __mmask8 kAll = 0xFF;
    __m512d tops = _mm512_mask_shuffle_f64x2(lowestTop, kAll, lowestTop, lowestTop, 0x4E);
    tops = _mm512_mask_min_pd(tops, kAll, lowestTop, tops);
    __m512d swapped = _mm512_mask_shuffle_f64x2(tops, kAll, tops, tops, 0xB1);
    tops = _mm512_mask_min_pd(tops, kAll, tops, swapped);
    swapped = _mm512_mask_permute_pd(tops, kAll, tops, 0x55);
    tops = _mm512_mask_min_pd(tops, kAll, tops, swapped);
    const __mmask8 firstWithin = _mm512_cmp_pd_mask(lowestBottom, tops, _CMP_LE_OQ);
    const __mmask8 secondWithin = _mm512_cmp_pd_mask(secondBottom, tops, _CMP_LE_OQ);
    screen.lowestTop = _mm512_cvtsd_f64(tops);
    screen.single = std::popcount(static_cast<unsigned>(firstWithin)) == 1 && secondWithin == 0;
    const __m512i within = _mm512_maskz_compress_epi64(firstWithin, lowestCluster);
    screen.singleCluster = static_cast<std::size_t>(within[0]);
    screen.finite = std::isfinite(squares) && _mm512_cmp_pd_mask(nonFinite, _mm512_setzero_pd(), _CMP_EQ_OQ) == 0xFF;
}

}  // namespace

void NearestMeanSearch::findRows(const double* rows, std::size_t begin, std::size_t end, int* nearest,
                                 NearestMeanScratch& scratch, VectorKernel kernel) const {
    if (clusterCount_ == 0 || columns_ == 0) {
        for (std::size_t g = begin; g < end; ++g) nearest[g - begin] = -1;
        return;
    }
    const std::size_t k = clusterCount_;
    const std::size_t d = columns_;
    scratch.cross.resize(4 * stride_);
    scratch.expanded.resize(k);
    scratch.sums.resize(stride_);
    std::vector<NearestMeanScratch::Candidate>& candidates = scratch.candidates;
    using CrossProducts = void (*)(const double* const*, std::size_t, std::size_t, const double*, std::size_t, double*);
    const VectorKernel chosen = kernelOnThisProcessor(kernel);
    const CrossProducts crossProducts = chosen == VectorKernel::Best        ? wideCrossProducts
                                        : chosen == VectorKernel::FourLanes ? crossProductsFused
                                                                            : crossProductsPortable;
    const auto screenOf = chosen == VectorKernel::Best ? wideScreenRow : screenRow;
    const double slack = expansionSlack(d);
    for (std::size_t g = begin; g < end; g += 4) {
        const std::size_t count = std::min<std::size_t>(4, end - g);
        const double* x[4];
        for (std::size_t r = 0; r < 4; ++r) x[r] = rows + (g + std::min(r, count - 1)) * d;
        crossProducts(x, count, d, meansByColumn_.data(), stride_, scratch.cross.data());
        // The means each row may be nearest to, by row and then in cluster order.
        candidates.clear();
        for (std::size_t r = 0; r < count; ++r) {
            const double squares = sumOfSquares(x[r], d);
            const double norm = std::sqrt(squares);
            const double* products = scratch.cross.data() + r * stride_;
            double* expanded = scratch.expanded.data();
            RowScreen screen;
            screenOf(squares, norm, products, meanSquares_.data(), meanNorms_.data(), k, slack, expanded, screen);
            if (!screen.finite) {
                nearest[g + r - begin] = find(x[r], scratch.sums.data(), nullptr);
                continue;
            }
            const double lowestTop = screen.lowestTop;
            // Most rows have one mean within reach, found by the screen itself.
            if (screen.single) {
                nearest[g + r - begin] = static_cast<int>(screen.singleCluster);
                continue;
            }
            const std::size_t before = candidates.size();
            for (std::size_t c = 0; c < k; ++c) {
                const double reach = norm + meanNorms_[c];
                if (expanded[c] - slack * (reach * reach) <= lowestTop) {
                    candidates.push_back({static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(c), 0.0});
                }
            }
            // A single mean within reach is the nearest by any measure.
            if (candidates.size() == before + 1) {
                nearest[g + r - begin] = static_cast<int>(candidates.back().cluster);
                candidates.pop_back();
            }
        }
        std::size_t first = 0;
        for (; first + 4 <= candidates.size(); first += 4) {
            const double* values[4];
            const double* means[4];
            double out[4];
            for (std::size_t lane = 0; lane < 4; ++lane) {
                values[lane] = x[candidates[first + lane].row];
                means[lane] = means_.data() + candidates[first + lane].cluster * d;
            }
            squaredDistancesOfFour(values, means, d, out);
            for (std::size_t lane = 0; lane < 4; ++lane) candidates[first + lane].squaredDistance = out[lane];
        }
        for (; first < candidates.size(); ++first) {
            candidates[first].squaredDistance =
                squaredDistance(x[candidates[first].row], means_.data() + candidates[first].cluster * d, d);
        }
        // As find chooses: the first of the smallest distances.
        for (std::size_t next = 0; next < candidates.size();) {
            const std::uint32_t row = candidates[next].row;
            double best = std::numeric_limits<double>::infinity();
            int position = -1;
            for (; next < candidates.size() && candidates[next].row == row; ++next) {
                const double distance = std::sqrt(candidates[next].squaredDistance);
                if (distance < best) {
                    best = distance;
                    position = static_cast<int>(candidates[next].cluster);
                }
            }
            nearest[g + row - begin] = position;
        }
    }
}

void NearestMeanSearch::prepare(const double* means, std::size_t clusterCount, std::size_t columns) {
    clusterCount_ = clusterCount;
    columns_ = columns;
    stride_ = (clusterCount + kLanes - 1) / kLanes * kLanes;
    meansByColumn_.assign(columns * stride_, 0.0);
    for (std::size_t c = 0; c < clusterCount; ++c) {
        for (std::size_t i = 0; i < columns; ++i) meansByColumn_[i * stride_ + c] = means[c * columns + i];
    }
    sums_.resize(stride_);
    means_.assign(means, means + clusterCount * columns);
    meanSquares_.resize(clusterCount);
    meanNorms_.resize(clusterCount);
    for (std::size_t c = 0; c < clusterCount; ++c) {
        meanSquares_[c] = sumOfSquares(means + c * columns, columns);
        meanNorms_[c] = std::sqrt(meanSquares_[c]);
    }
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

void findNearestMeans(const NearestMeanSearch& search, const ExpressionMatrix& expression, std::vector<int>& nearest,
                      ThreadPool* pool, NearestMeanMethod method) {
    nearest.resize(expression.rows());
    if (expression.rows() == 0) return;
    forRanges(pool, expression.rows(), [&](std::size_t begin, std::size_t end) {
        if (method == NearestMeanMethod::Expanded) {
            NearestMeanScratch scratch;
            search.findRows(expression.row(0), begin, end, nearest.data() + begin, scratch);
            return;
        }
        std::vector<double> scratch(search.scratchSize());
        for (std::size_t g = begin; g < end; ++g) nearest[g] = search.find(expression.row(g), scratch.data(), nullptr);
    });
}

}  // namespace orthomix
