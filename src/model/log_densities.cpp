#include "model/log_densities.h"

#include <Eigen/Core>
#include <immintrin.h>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "support/processor.h"
#include "support/wide_vectors.h"

namespace orthomix {

using RowMajorMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

constexpr std::size_t kLanes = 4;  // doubles in one vector register of the fused kernel

void GeneFeatures::build(const ExpressionMatrix& expression, const std::vector<std::uint32_t>& genes) {
    rows = genes.size();
    columns = expression.columns();
    rowValues.resize(rows);
    largestMagnitude.assign(columns, 0.0);
    for (std::size_t g = 0; g < rows; ++g) {
        const double* x = expression.row(genes[g]);
        rowValues[g] = x;
        for (std::size_t i = 0; i < columns; ++i) largestMagnitude[i] = std::max(largestMagnitude[i], std::fabs(x[i]));
    }
}

void prepareLogDensityForms(const ClusterParameters& parameters, const GeneFeatures& genes, LogDensityForms& forms) {
    const std::size_t k = parameters.clusterCount;
    const std::size_t d = parameters.columns;
    forms.clusterCount = k;
    forms.columns = d;
    forms.weights.assign(2 * d * k, 0.0);
    forms.paddedClusterCount = (k + kLanes - 1) / kLanes * kLanes;
    forms.constants.assign(k, 0.0);
    forms.squaredClusters.clear();
    forms.means.assign(parameters.means.begin(), parameters.means.end());
    forms.halfInverseVariances.assign(k * d, 0.0);
    forms.logNormalisers.assign(k, 0.0);
    constexpr double kRounding = 2.220446049250313e-16;
    for (std::size_t c = 0; c < k; ++c) {
        const double* mean = parameters.mean(c);
        const double* variance = parameters.variance(c);
        double constant = 0.0;
        double logNormaliser = 0.0;
        double errorBound = 0.0;
        for (std::size_t i = 0; i < d; ++i) {
            const double v = variance[i];
            if (v == 0.0) continue;
            const double inverse = 1.0 / v;
            forms.weights[i * k + c] = -0.5 * inverse;
            forms.weights[(d + i) * k + c] = mean[i] * inverse;
            forms.halfInverseVariances[c * d + i] = 0.5 * inverse;
            logNormaliser -= 0.5 * std::log(kTwoPi * v);
            const double reach = genes.largestMagnitude[i] + std::fabs(mean[i]);
            errorBound += inverse * (reach * reach);
        }
        for (std::size_t i = 0; i < d; ++i) {
            if (variance[i] != 0.0) constant -= 0.5 * (mean[i] * mean[i]) / variance[i];
        }
        forms.constants[c] = logNormaliser + constant;
        forms.logNormalisers[c] = logNormaliser;
        // A few roundings of each term of the expanded sum; NaN parameters
        // take the expansion and stay NaN.
        if (4.0 * kRounding * errorBound > kLargestExpansionError) forms.squaredClusters.push_back(c);
    }
    const std::size_t padded = forms.paddedClusterCount;
    forms.paddedWeights.assign(2 * d * padded, 0.0);
    for (std::size_t t = 0; t < 2 * d; ++t) {
        std::copy(forms.weights.begin() + static_cast<std::ptrdiff_t>(t * k),
                  forms.weights.begin() + static_cast<std::ptrdiff_t>((t + 1) * k),
                  forms.paddedWeights.begin() + static_cast<std::ptrdiff_t>(t * padded));
    }
}

namespace {

void portableProduct(const GeneFeatures& genes, std::size_t begin, std::size_t end, const LogDensityForms& forms,
                     double* out) {
    const std::size_t d = forms.columns;
    std::vector<double> featureRows((end - begin) * 2 * d);
    for (std::size_t g = begin; g < end; ++g) {
        const double* x = genes.row(g);
        double* feature = featureRows.data() + (g - begin) * 2 * d;
        for (std::size_t i = 0; i < d; ++i) {
            feature[i] = x[i] * x[i];
            feature[d + i] = x[i];
        }
    }
    const auto rows = static_cast<Eigen::Index>(end - begin);
    const auto depth = static_cast<Eigen::Index>(2 * d);
    const auto k = static_cast<Eigen::Index>(forms.clusterCount);
    const Eigen::Map<const RowMajorMatrix> features(featureRows.data(), rows, depth);
    const Eigen::Map<const RowMajorMatrix> weights(forms.weights.data(), depth, k);
    const Eigen::Map<const Eigen::RowVectorXd> constants(forms.constants.data(), k);
    Eigen::Map<RowMajorMatrix> result(out, rows, k);
    result.noalias() = features * weights;
    result.rowwise() += constants;
}

// Four genes against `Vectors` vectors of four clusters: 4 x Vectors sums in
// registers, each a dot product over the features in their order (the
// squares, then the values), one fused multiply-add per term; then the
// cluster's constant is added. The rows past `rows` repeat the last gene and
// are not written.
template <std::size_t Vectors>
[[gnu::always_inline]] [[gnu::target("avx2,fma")]] inline void fusedBlock(const double* const* genes,
                                                                           std::size_t rows, std::size_t columns,
                                                                           const double* weights, std::size_t stride,
                                                                           const double* constants,
                                                                           std::size_t clusters, double* out,
                                                                           std::size_t outStride) {
    __m256d sums[4][Vectors];
#pragma GCC unroll 4
    for (std::size_t r = 0; r < 4; ++r) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Vectors; ++v) sums[r][v] = _mm256_setzero_pd();
    }
    for (std::size_t half = 0; half < 2; ++half) {
        const bool squares = half == 0;
        for (std::size_t i = 0; i < columns; ++i) {
            const double* weightRow = weights + (half * columns + i) * stride;
            __m256d weight[Vectors];
#pragma GCC unroll 4
            for (std::size_t v = 0; v < Vectors; ++v) weight[v] = _mm256_loadu_pd(weightRow + v * kLanes);
#pragma GCC unroll 4
            for (std::size_t r = 0; r < 4; ++r) {
                const __m256d value = _mm256_broadcast_sd(genes[r] + i);
                const __m256d feature = squares ? _mm256_mul_pd(value, value) : value;
#pragma GCC unroll 4
                for (std::size_t v = 0; v < Vectors; ++v) sums[r][v] = _mm256_fmadd_pd(feature, weight[v], sums[r][v]);
            }
        }
    }
    // Stored with constant indices only, so that the sums stay in registers
    // through the loop above.
    alignas(32) double lanes[4][Vectors * kLanes];
#pragma GCC unroll 4
    for (std::size_t r = 0; r < 4; ++r) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Vectors; ++v) _mm256_store_pd(lanes[r] + v * kLanes, sums[r][v]);
    }
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < clusters; ++c) out[r * outStride + c] = lanes[r][c] + constants[c];
    }
}

[[gnu::target("avx2,fma")]] void fusedProduct(const GeneFeatures& genes, std::size_t begin, std::size_t end,
                                              const LogDensityForms& forms, double* out) {
    constexpr std::size_t kVectors = 3;  // 12 sums and 3 weights in the 16 vector registers
    const std::size_t columns = forms.columns;
    const std::size_t k = forms.clusterCount;
    const std::size_t padded = forms.paddedClusterCount;
    for (std::size_t g = begin; g < end; g += 4) {
        const std::size_t rows = std::min<std::size_t>(4, end - g);
        const double* values[4];
        for (std::size_t r = 0; r < 4; ++r) values[r] = genes.row(g + std::min(r, rows - 1));
        double* block = out + (g - begin) * k;
        for (std::size_t first = 0; first < padded; first += kVectors * kLanes) {
            const double* weights = forms.paddedWeights.data() + first;
            const double* constants = forms.constants.data() + first;
            const std::size_t clusters = std::min(k - first, kVectors * kLanes);
            switch (std::min(kVectors, (padded - first) / kLanes)) {
                case 1: fusedBlock<1>(values, rows, columns, weights, padded, constants, clusters, block + first, k); break;
                case 2: fusedBlock<2>(values, rows, columns, weights, padded, constants, clusters, block + first, k); break;
                default: fusedBlock<3>(values, rows, columns, weights, padded, constants, clusters, block + first, k); break;
            }
        }
    }
}

// The same on eight clusters to a vector: 4 x Vectors sums of eight
// clusters each. The lanes of the last vector past the padded clusters are
// masked off. Each sum takes the same terms in the same order as above, so
// both kernels give every density the same bits.
template <std::size_t Vectors>
[[gnu::always_inline]] [[gnu::target("avx512f,fma")]] inline void wideFusedBlock(
    const double* const* genes, std::size_t rows, std::size_t columns, const double* weights, std::size_t stride,
    __mmask8 lastMask, const double* constants, std::size_t clusters, double* out, std::size_t outStride) {
    __m512d sums[4][Vectors];
#pragma GCC unroll 4
    for (std::size_t r = 0; r < 4; ++r) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Vectors; ++v) sums[r][v] = _mm512_setzero_pd();
    }
    for (std::size_t half = 0; half < 2; ++half) {
        const bool squares = half == 0;
        for (std::size_t i = 0; i < columns; ++i) {
            const double* weightRow = weights + (half * columns + i) * stride;
            __m512d weight[Vectors];
#pragma GCC unroll 4
            for (std::size_t v = 0; v + 1 < Vectors; ++v) weight[v] = _mm512_loadu_pd(weightRow + v * kWideLanes);
            weight[Vectors - 1] = _mm512_maskz_loadu_pd(lastMask, weightRow + (Vectors - 1) * kWideLanes);
#pragma GCC unroll 4
            for (std::size_t r = 0; r < 4; ++r) {
                const __m512d value = _mm512_set1_pd(genes[r][i]);
                const __m512d feature = squares ? _mm512_mul_pd(value, value) : value;
#pragma GCC unroll 4
                for (std::size_t v = 0; v < Vectors; ++v) sums[r][v] = _mm512_fmadd_pd(feature, weight[v], sums[r][v]);
            }
        }
    }
    alignas(64) double lanes[4][Vectors * kWideLanes];
#pragma GCC unroll 4
    for (std::size_t r = 0; r < 4; ++r) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Vectors; ++v) _mm512_store_pd(lanes[r] + v * kWideLanes, sums[r][v]);
    }
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < clusters; ++c) out[r * outStride + c] = lanes[r][c] + constants[c];
    }
}

[[gnu::target("avx512f,fma")]] void wideFusedProduct(const GeneFeatures& genes, std::size_t begin, std::size_t end,
                                                     const LogDensityForms& forms, double* out) {
    constexpr std::size_t kVectors = 4;  // 16 sums and 4 weights of the 32 vector registers
    const std::size_t columns = forms.columns;
    const std::size_t k = forms.clusterCount;
    const std::size_t padded = forms.paddedClusterCount;
    for (std::size_t g = begin; g < end; g += 4) {
        const std::size_t rows = std::min<std::size_t>(4, end - g);
        const double* values[4];
        for (std::size_t r = 0; r < 4; ++r) values[r] = genes.row(g + std::min(r, rows - 1));
        double* block = out + (g - begin) * k;
        for (std::size_t first = 0; first < padded; first += kVectors * kWideLanes) {
            const double* weights = forms.paddedWeights.data() + first;
            const double* constants = forms.constants.data() + first;
            const std::size_t clusters = std::min(k - first, kVectors * kWideLanes);
            const auto [vectors, lastMask] = wideVectorsOf(padded - first, kVectors);
            switch (vectors) {
                case 1:
                    wideFusedBlock<1>(values, rows, columns, weights, padded, lastMask, constants, clusters,
                                        block + first, k);
                    break;
                case 2:
                    wideFusedBlock<2>(values, rows, columns, weights, padded, lastMask, constants, clusters,
                                        block + first, k);
                    break;
                case 3:
                    wideFusedBlock<3>(values, rows, columns, weights, padded, lastMask, constants, clusters,
                                        block + first, k);
                    break;
                default:
                    wideFusedBlock<4>(values, rows, columns, weights, padded, lastMask, constants, clusters,
                                        block + first, k);
                    break;
            }
        }
    }
}

}  // namespace

void logDensities(const GeneFeatures& genes, std::size_t begin, std::size_t end, const LogDensityForms& forms,
                  double* out, VectorKernel kernel) {
    if (end <= begin || forms.clusterCount == 0) return;
    switch (kernelOnThisProcessor(kernel)) {
        case VectorKernel::Best: wideFusedProduct(genes, begin, end, forms, out); break;
        case VectorKernel::FourLanes: fusedProduct(genes, begin, end, forms, out); break;
        case VectorKernel::Portable: portableProduct(genes, begin, end, forms, out); break;
    }
    const std::size_t d = forms.columns;
    for (const std::size_t c : forms.squaredClusters) {
        const double* mean = forms.means.data() + c * d;
        const double* weight = forms.halfInverseVariances.data() + c * d;
        for (std::size_t g = begin; g < end; ++g) {
            const double* x = genes.row(g);
            double sum = 0.0;
            for (std::size_t i = 0; i < d; ++i) {
                const double difference = x[i] - mean[i];
                sum += weight[i] * (difference * difference);
            }
            out[(g - begin) * forms.clusterCount + c] = forms.logNormalisers[c] - sum;
        }
    }
}
}  // namespace orthomix
