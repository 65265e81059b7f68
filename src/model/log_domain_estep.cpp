#include "model/log_domain_estep.h"

#include <Eigen/Core>
#include <immintrin.h>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace orthomix {

using RowMajorMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

constexpr std::size_t kLanes = 4;  // doubles in one vector register of the fused kernel

void GeneFeatures::build(const ExpressionMatrix& expression, const std::vector<std::uint32_t>& genes) {
    rows = genes.size();
    columns = expression.columns();
    values.resize(rows * columns);
    largestMagnitude.assign(columns, 0.0);
    for (std::size_t g = 0; g < rows; ++g) {
        const double* x = expression.row(genes[g]);
        double* out = values.data() + g * columns;
        for (std::size_t i = 0; i < columns; ++i) {
            out[i] = x[i];
            largestMagnitude[i] = std::max(largestMagnitude[i], std::fabs(x[i]));
        }
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

bool processorHasFusedMultiplyAdd() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

}  // namespace

void logDensities(const GeneFeatures& genes, std::size_t begin, std::size_t end, const LogDensityForms& forms,
                  double* out, LogDensityKernel kernel) {
    if (end <= begin || forms.clusterCount == 0) return;
    if (kernel == LogDensityKernel::Best && processorHasFusedMultiplyAdd()) {
        fusedProduct(genes, begin, end, forms, out);
    } else {
        portableProduct(genes, begin, end, forms, out);
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

namespace {

// Sum in four interleaved partial sums, so that the loop vectorises; fixed
// order, so the result is the same on every run.
inline double sumOf(const double* values, std::size_t count) {
    double partial[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        for (std::size_t lane = 0; lane < 4; ++lane) partial[lane] += values[i + lane];
    }
    for (; i < count; ++i) partial[i % 4] += values[i];
    return (partial[0] + partial[1]) + (partial[2] + partial[3]);
}

inline double largestOf(const double* values, std::size_t count, double start) {
    double partial[4] = {start, start, start, start};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        for (std::size_t lane = 0; lane < 4; ++lane) {
            partial[lane] = values[i + lane] > partial[lane] ? values[i + lane] : partial[lane];
        }
    }
    for (; i < count; ++i) partial[0] = values[i] > partial[0] ? values[i] : partial[0];
    const double a = partial[0] > partial[1] ? partial[0] : partial[1];
    const double b = partial[2] > partial[3] ? partial[2] : partial[3];
    return a > b ? a : b;
}

}  // namespace

[[gnu::always_inline]] inline double expNonPositiveInline(double x) {
    // x = n ln2 + r with |r| <= ln2 / 2, exp(r) by its Taylor series to degree 12.
    constexpr double kInverseLn2 = 1.4426950408889634;
    constexpr double kLn2High = 6.93147180369123816490e-01;
    constexpr double kLn2Low = 1.90821492927058770002e-10;
    constexpr double kRoundShift = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer
    const double clamped = x < -708.0 ? -708.0 : x;
    const double shifted = clamped * kInverseLn2 + kRoundShift;
    const double n = shifted - kRoundShift;
    const double r = (clamped - n * kLn2High) - n * kLn2Low;
    double p = 1.0 / 479001600.0;
    p = p * r + 1.0 / 39916800.0;
    p = p * r + 1.0 / 3628800.0;
    p = p * r + 1.0 / 362880.0;
    p = p * r + 1.0 / 40320.0;
    p = p * r + 1.0 / 5040.0;
    p = p * r + 1.0 / 720.0;
    p = p * r + 1.0 / 120.0;
    p = p * r + 1.0 / 24.0;
    p = p * r + 1.0 / 6.0;
    p = p * r + 0.5;
    p = p * r + 1.0;
    p = p * r + 1.0;
    // The low bits of `shifted` hold n; rebuild 2^n from them without a conversion.
    const auto nBits = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(shifted) -
                                                 std::bit_cast<std::uint64_t>(kRoundShift));
    const double scale = std::bit_cast<double>(static_cast<std::uint64_t>(nBits + 1023) << 52);
    // NaN passes through every step above; only the underflow needs a select.
    const double result = p * scale;
    return x < -708.0 ? 0.0 : result;
}

double expNonPositive(double x) { return expNonPositiveInline(x); }

ScatterTerm ScatterTerm::of(double value) {
    ScatterTerm term;
    term.value = value;
    term.sign = value > 0.0 ? 1 : value < 0.0 ? -1 : 0;
    term.logMagnitude = std::log(std::fabs(value));
    if (std::isnan(value)) {
        term.sign = 1;
        term.logMagnitude = value;
    }
    return term;
}

void PairLogScratch::prepare(const PairTable& table) {
    const auto kHm = static_cast<std::size_t>(table.rows);
    const auto kMs = static_cast<std::size_t>(table.cols);
    humanShares.resize(kHm);
    mouseShares.resize(kMs);
    cells.resize(kMs);
    rowLargest.resize(kHm);
    tableRowLargest.resize(kHm);
    for (std::size_t i = 0; i < kHm; ++i) tableRowLargest[i] = largestOf(table.cells.data() + i * kMs, kMs, 0.0);
}

__attribute__((target_clones("avx2", "default"))) double pairLogEStep(
    const PairTable& table, const double* humanLogDensities, const double* mouseLogDensities,
    const ScatterTerm& scatter, double* rowSums, double* columnSums, PairLogScratch& scratch, PairLabels& labels,
    double* posterior) {
    constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();
    const auto rowCount = static_cast<std::size_t>(table.rows);
    const auto columnCount = static_cast<std::size_t>(table.cols);
    double* humanShares = scratch.humanShares.data();
    double* mouseShares = scratch.mouseShares.data();
    double* cells = scratch.cells.data();
    double* rowLargest = scratch.rowLargest.data();

    // Every cell is humanShare * (mouseShare * P), its joint density times
    // exp(-shift). The largest shares are exp(kHeadroom), so that the cells
    // use the whole range of numbers: the table sums to at most 1, so no sum
    // of cells exceeds exp(2 kHeadroom). A scatter term larger than every
    // cell sets the scale instead, and the human shares shrink to match.
    constexpr double kHeadroom = 350.0;
    const double humanLargest = largestOf(humanLogDensities, rowCount, kMinusInfinity);
    const double mouseLargest = largestOf(mouseLogDensities, columnCount, kMinusInfinity);
    const bool anyCell = humanLargest > kMinusInfinity && mouseLargest > kMinusInfinity;
    const double cellsTop = humanLargest + mouseLargest;
    const double top = scatter.sign > 0 && scatter.logMagnitude > cellsTop ? scatter.logMagnitude : cellsTop;
    const double shift = top - 2.0 * kHeadroom;
    constexpr double kExpUnderflow = -746.0;  // exp of anything below is 0
    constexpr double kExpMinus64 = 1.603810890548638e-28;  // exp(-64)
    const auto shares = [&](const double* logDensities, std::size_t count, double largest, double headroom,
                            double* out) {
        const double scale = std::exp(headroom);
        for (std::size_t c = 0; c < count; ++c) {
            const double below = logDensities[c] - largest;
            // Further below, the share is subnormal or 0: exp of an argument
            // raised into range, scaled back down.
            out[c] = below >= -700.0                   ? expNonPositiveInline(below) * scale
                     : below + headroom < kExpUnderflow ? 0.0
                                                        : expNonPositiveInline(below + headroom + 64.0) * kExpMinus64;
        }
    };
    if (anyCell) {
        shares(humanLogDensities, rowCount, humanLargest, kHeadroom - (top - cellsTop), humanShares);
        shares(mouseLogDensities, columnCount, mouseLargest, kHeadroom, mouseShares);
    } else {
        for (std::size_t i = 0; i < rowCount; ++i) humanShares[i] = 0.0;
        for (std::size_t j = 0; j < columnCount; ++j) mouseShares[j] = 0.0;
    }

    // The scatter term on the cells' scale; scaling the term itself where
    // that cannot overflow keeps a tie between a cell and scatter a tie.
    constexpr double kSafeShift = 700.0;
    const double scatterShifted =
        !anyCell ? (scatter.sign == 0 ? 0.0 : scatter.sign * std::numeric_limits<double>::infinity())
        : std::fabs(shift) < kSafeShift ? scatter.value * std::exp(-shift)
                                        : scatter.sign * std::exp(scatter.logMagnitude - shift);

    // A term more than exp(708) below the pair's largest one counts as 0, as
    // exp does below -708 in a log-sum-exp. That leaves out most rows of a
    // large table at the cost of one product per row: a row whose bound
    // (its share times the largest mouse share times its largest table cell)
    // falls below the cut taken from the row of the largest human share can
    // hold no term above the final cut.
    constexpr double kNegligible = 3.307553003638408e-308;  // exp(-708)
    const auto rowPeak = [&](std::size_t i) {
        const double* tableRow = table.cells.data() + i * columnCount;
        for (std::size_t j = 0; j < columnCount; ++j) cells[j] = mouseShares[j] * tableRow[j];
        return humanShares[i] * largestOf(cells, columnCount, 0.0);
    };
    const double largestMouseShare = largestOf(mouseShares, columnCount, 0.0);
    std::size_t firstRow = 0;
    while (firstRow + 1 < rowCount && !(humanLogDensities[firstRow] == humanLargest)) ++firstRow;
    const double positiveScatter = scatterShifted > 0.0 ? scatterShifted : 0.0;
    const double firstPeak = rowCount > 0 && anyCell ? rowPeak(firstRow) : 0.0;
    const double roughCut = (firstPeak > positiveScatter ? firstPeak : positiveScatter) * kNegligible;
    for (std::size_t i = 0; i < rowCount; ++i) {
        const double bound = (humanShares[i] * largestMouseShare) * scratch.tableRowLargest[i];
        rowLargest[i] = bound < roughCut || humanShares[i] == 0.0 ? 0.0 : rowPeak(i);
    }
    const double best = largestOf(rowLargest, rowCount, 0.0);
    const double cut = (best > positiveScatter ? best : positiveScatter) * kNegligible;

    for (std::size_t j = 0; j < columnCount; ++j) columnSums[j] = 0.0;
    double cellTotal = 0.0;
    for (std::size_t i = 0; i < rowCount; ++i) {
        // NaN shares pass on, as a NaN density does in the exact step.
        if (rowLargest[i] < cut || rowLargest[i] == 0.0) {
            rowSums[i] = 0.0;
            continue;
        }
        const double humanShare = humanShares[i];
        const double* tableRow = table.cells.data() + i * columnCount;
        for (std::size_t j = 0; j < columnCount; ++j) {
            const double cell = humanShare * (mouseShares[j] * tableRow[j]);
            cells[j] = cell < cut ? 0.0 : cell;
            columnSums[j] += cells[j];
        }
        rowSums[i] = sumOf(cells, columnCount);
        cellTotal += rowSums[i];
    }

    // The total density and what a shifted cell is multiplied by to become
    // its posterior. As in the exact step, a total that is not positive
    // counts as 1, so that posteriors are the joint densities themselves.
    double logTotal = 0.0;
    double factor = 0.0;
    double scatterPosterior = 0.0;
    const double shiftedTotal = cellTotal + scatterShifted;
    if (std::isnan(cellTotal) || std::isnan(scatter.value)) {
        logTotal = factor = scatterPosterior = std::numeric_limits<double>::quiet_NaN();
    } else if (shiftedTotal > 0.0 && shiftedTotal < std::numeric_limits<double>::infinity()) {
        logTotal = shift + std::log(shiftedTotal);
        factor = 1.0 / shiftedTotal;
        scatterPosterior = scatterShifted * factor;
    } else if (scatter.sign > 0) {
        // The scatter term outweighs every cell beyond the range of numbers.
        const double logCells = cellTotal > 0.0 ? shift + std::log(cellTotal) : kMinusInfinity;
        logTotal = scatter.logMagnitude + std::log1p(std::exp(logCells - scatter.logMagnitude));
        scatterPosterior = std::exp(scatter.logMagnitude - logTotal);
        if (cellTotal > 0.0) factor = std::exp(shift - logTotal);
    } else {
        if (cellTotal > 0.0) factor = std::exp(shift);
        scatterPosterior = scatter.value;
    }
    for (std::size_t i = 0; i < rowCount; ++i) rowSums[i] *= factor;
    for (std::size_t j = 0; j < columnCount; ++j) columnSums[j] *= factor;

    // The first cell, in row-major order, of the largest value.
    int bestRow = -1;
    int bestColumn = -1;
    if (best > 0.0 && best >= cut) {
        std::size_t i = 0;
        while (rowLargest[i] != best) ++i;
        const double* tableRow = table.cells.data() + i * columnCount;
        std::size_t j = 0;
        while (humanShares[i] * (mouseShares[j] * tableRow[j]) != best) ++j;
        bestRow = static_cast<int>(i);
        bestColumn = static_cast<int>(j);
    }
    if (posterior) {
        for (std::size_t i = 0; i < rowCount; ++i) {
            const double* tableRow = table.cells.data() + i * columnCount;
            for (std::size_t j = 0; j < columnCount; ++j) {
                const double cell = rowLargest[i] < cut || rowLargest[i] == 0.0 ? 0.0 : humanShares[i] * (mouseShares[j] * tableRow[j]);
                posterior[i * columnCount + j] = (cell < cut ? 0.0 : cell) * factor;
            }
        }
    }
    // Only a cell whose posterior is above 0 can be chosen, as in the exact step.
    const double bestPosterior = bestRow < 0 ? 0.0 : best * factor;
    labels = bestPosterior > 0.0 ? choosePairLabels(bestPosterior, bestRow, bestColumn, scatterPosterior)
                                 : choosePairLabels(0.0, -1, -1, scatterPosterior);
    return logTotal;
}

}  // namespace orthomix
