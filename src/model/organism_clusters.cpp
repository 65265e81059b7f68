#include "model/organism_clusters.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>

#include "numeric/distance.h"
#include "support/wide_vectors.h"

namespace orthomix {

namespace {

// Members are rows from all over the matrix, in no order the processor can
// guess; their first cache lines are asked for a few members ahead (a
// longer row streams on its own once begun).
constexpr std::size_t kMembersAhead = 4;
constexpr std::size_t kBytesAhead = 1024;

inline void prefetchRow(const ExpressionMatrix& expression, std::uint32_t gene, std::size_t columns) {
    const char* row = reinterpret_cast<const char*>(expression.row(gene));
    const std::size_t bytes = std::min(columns * sizeof(double), kBytesAhead);
    for (std::size_t offset = 0; offset < bytes; offset += 64) __builtin_prefetch(row + offset);
}

// Sums of the members' values in `Vectors` vectors of eight columns from
// `first` on, the lanes of the last past `lastMask` off, each column summed in
// member order and divided by the member count.
template <std::size_t Vectors>
[[gnu::always_inline]] [[gnu::target("avx512f")]] inline void wideMeanOfMembers(
    const ExpressionMatrix& expression, const std::vector<std::uint32_t>& list, std::size_t first,
    __mmask8 lastMask, double* centre) {
    __m512d sums[Vectors];
#pragma GCC unroll 4
    for (std::size_t v = 0; v < Vectors; ++v) sums[v] = _mm512_setzero_pd();
    for (std::size_t m = 0; m < list.size(); ++m) {
        if (m + kMembersAhead < list.size()) prefetchRow(expression, list[m + kMembersAhead], expression.columns());
        const double* values = expression.row(list[m]) + first;
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Vectors; ++v) {
            const __m512d value = v + 1 < Vectors ? _mm512_loadu_pd(values + v * kWideLanes)
                                                  : _mm512_maskz_loadu_pd(lastMask, values + v * kWideLanes);
            sums[v] = _mm512_add_pd(sums[v], value);
        }
    }
    const __m512d count = _mm512_set1_pd(static_cast<double>(static_cast<std::uint32_t>(list.size())));
#pragma GCC unroll 4
    for (std::size_t v = 0; v < Vectors; ++v) {
        const __mmask8 lanes = v + 1 < Vectors ? static_cast<__mmask8>(0xFF) : lastMask;
        _mm512_mask_storeu_pd(centre + first + v * kWideLanes, lanes, _mm512_div_pd(sums[v], count));
    }
}

// The columns in blocks of up to 32, their sums in registers.
[[gnu::target("avx512f")]] void wideMeanOfMembers(const ExpressionMatrix& expression,
                                                  const std::vector<std::uint32_t>& list, std::size_t columns,
                                                  double* centre) {
    constexpr std::size_t kBlockColumns = 4 * kWideLanes;
    for (std::size_t first = 0; first < columns; first += kBlockColumns) {
        const auto [vectors, lastMask] = wideVectorsOf(columns - first, kBlockColumns / kWideLanes);
        switch (vectors) {
            case 1: wideMeanOfMembers<1>(expression, list, first, lastMask, centre); break;
            case 2: wideMeanOfMembers<2>(expression, list, first, lastMask, centre); break;
            case 3: wideMeanOfMembers<3>(expression, list, first, lastMask, centre); break;
            default: wideMeanOfMembers<4>(expression, list, first, lastMask, centre); break;
        }
    }
}

}  // namespace

void OrganismClusters::recomputeCentre(std::size_t cluster, const ExpressionMatrix& expression,
                                       VectorKernel kernel) {
    const std::vector<std::uint32_t>& list = members[cluster];
    if (list.empty()) return;
    double* sums = centres.data() + cluster * columns;
    if (kernelOnThisProcessor(kernel) == VectorKernel::Best) {
        wideMeanOfMembers(expression, list, columns, sums);
        return;
    }
    std::fill(sums, sums + columns, 0.0);
    // Member-major walk: each column still sums its members in list order.
    for (std::size_t m = 0; m < list.size(); ++m) {
        if (m + kMembersAhead < list.size()) prefetchRow(expression, list[m + kMembersAhead], columns);
        const double* values = expression.row(list[m]);
        for (std::size_t i = 0; i < columns; ++i) sums[i] += values[i];
    }
    const double count = static_cast<double>(static_cast<std::uint32_t>(list.size()));
    for (std::size_t i = 0; i < columns; ++i) sums[i] /= count;
}

double OrganismClusters::meanDistanceToCentre(std::size_t cluster, const ExpressionMatrix& expression) const {
    const std::vector<std::uint32_t>& list = members[cluster];
    if (list.empty()) return 0.0;
    const double* c = centre(cluster);
    double sum = 0.0;
    // Four members at a time: four independent chains of additions, each
    // distance still summed in column order, added to the total in member order.
    std::size_t m = 0;
    for (; m + 4 <= list.size(); m += 4) {
        for (std::size_t ahead = m + 4; ahead < m + 8 && ahead < list.size(); ++ahead) {
            prefetchRow(expression, list[ahead], columns);
        }
        const double* x0 = expression.row(list[m]);
        const double* x1 = expression.row(list[m + 1]);
        const double* x2 = expression.row(list[m + 2]);
        const double* x3 = expression.row(list[m + 3]);
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (std::size_t i = 0; i < columns; ++i) {
            const double d0 = x0[i] - c[i], d1 = x1[i] - c[i], d2 = x2[i] - c[i], d3 = x3[i] - c[i];
            s0 += d0 * d0;
            s1 += d1 * d1;
            s2 += d2 * d2;
            s3 += d3 * d3;
        }
        sum += std::sqrt(s0);
        sum += std::sqrt(s1);
        sum += std::sqrt(s2);
        sum += std::sqrt(s3);
    }
    for (; m < list.size(); ++m) sum += euclideanDistance(expression.row(list[m]), c, columns);
    return sum / static_cast<double>(static_cast<std::uint32_t>(list.size()));
}

double OrganismClusters::spread(const ExpressionMatrix& expression, std::size_t geneCount, ThreadPool* pool) const {
    std::vector<double> meanDistances(count());
    forRanges(pool, count(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t c = begin; c < end; ++c) meanDistances[c] = meanDistanceToCentre(c, expression);
    });
    double sum = 0.0;
    for (std::size_t c = 0; c < count(); ++c) {
        const double memberCount = static_cast<double>(static_cast<std::uint32_t>(members[c].size()));
        sum += meanDistances[c] * memberCount / static_cast<double>(geneCount);
    }
    return sum;
}

void OrganismClusters::recomputeCentres(const ExpressionMatrix& expression, ThreadPool* pool) {
    forRanges(pool, count(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t c = begin; c < end; ++c) recomputeCentre(c, expression);
    });
}

}  // namespace orthomix
