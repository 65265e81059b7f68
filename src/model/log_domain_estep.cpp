#include "model/log_domain_estep.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace orthomix {

void prepareLogDensityForms(const ClusterParameters& parameters, LogDensityForms& forms) {
    forms.clusterCount = parameters.clusterCount;
    forms.columns = parameters.columns;
    const std::size_t k = forms.clusterCount;
    forms.mean.assign(forms.columns * k, 0.0);
    forms.halfInverseVariance.assign(forms.columns * k, 0.0);
    forms.logNormaliser.assign(k, 0.0);
    for (std::size_t c = 0; c < k; ++c) {
        const double* mean = parameters.mean(c);
        const double* variance = parameters.variance(c);
        double logNormaliser = 0.0;
        for (std::size_t i = 0; i < forms.columns; ++i) {
            const double v = variance[i];
            forms.mean[i * k + c] = mean[i];
            if (v == 0.0) continue;
            forms.halfInverseVariance[i * k + c] = 0.5 / v;
            logNormaliser -= 0.5 * std::log(kTwoPi * v);
        }
        forms.logNormaliser[c] = logNormaliser;
    }
}

__attribute__((target_clones("avx2", "default"))) void logDensities(const double* x, const LogDensityForms& forms,
                                                                     double* out) {
    const std::size_t k = forms.clusterCount;
    const double* mean = forms.mean.data();
    const double* weight = forms.halfInverseVariance.data();
    for (std::size_t c = 0; c < k; ++c) out[c] = forms.logNormaliser[c];
    for (std::size_t i = 0; i < forms.columns; ++i) {
        const double xi = x[i];
        const double* m = mean + i * k;
        const double* w = weight + i * k;
        for (std::size_t c = 0; c < k; ++c) {
            const double d = xi - m[c];
            out[c] -= w[c] * (d * d);
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

__attribute__((target_clones("avx2", "default"))) double pairLogEStep(
    const double* logTable, int kHm, int kMs, const double* humanLogDensities, const double* mouseLogDensities,
    double logScatterTerm, double* rowSums, double* columnSums, double* scratch, PairLabels& labels,
    double* posterior) {
    const std::size_t cells = static_cast<std::size_t>(kHm) * kMs;
    for (int i = 0; i < kHm; ++i) {
        double* row = scratch + static_cast<std::size_t>(i) * kMs;
        const double* tableRow = logTable + static_cast<std::size_t>(i) * kMs;
        const double f = humanLogDensities[i];
        for (int j = 0; j < kMs; ++j) row[j] = (f + mouseLogDensities[j]) + tableRow[j];
    }
    const double largest = largestOf(scratch, cells, logScatterTerm);
    if (largest == -std::numeric_limits<double>::infinity()) {
        // Every term is zero: no weight anywhere, labels stay, the pair adds ln 1.
        labels = PairLabels{};
        for (int i = 0; i < kHm; ++i) rowSums[i] = 0.0;
        for (int j = 0; j < kMs; ++j) columnSums[j] = 0.0;
        if (posterior) {
            for (std::size_t c = 0; c < cells; ++c) posterior[c] = 0.0;
        }
        return 0.0;
    }
    for (std::size_t c = 0; c < cells; ++c) scratch[c] = expNonPositiveInline(scratch[c] - largest);
    const double scatterShare = expNonPositiveInline(logScatterTerm - largest);
    const double sum = sumOf(scratch, cells) + scatterShare;
    const double inverseSum = 1.0 / sum;
    const double scatterPosterior = scatterShare * inverseSum;
    for (std::size_t c = 0; c < cells; ++c) scratch[c] *= inverseSum;

    double best = 0.0;
    int bestRow = -1;
    int bestColumn = -1;
    for (int j = 0; j < kMs; ++j) columnSums[j] = 0.0;
    for (int i = 0; i < kHm; ++i) {
        const double* row = scratch + static_cast<std::size_t>(i) * kMs;
        rowSums[i] = sumOf(row, static_cast<std::size_t>(kMs));
        for (int j = 0; j < kMs; ++j) columnSums[j] += row[j];
    }
    for (std::size_t c = 0; c < cells; ++c) {
        if (scratch[c] > best) {
            best = scratch[c];
            bestRow = static_cast<int>(c) / kMs;
            bestColumn = static_cast<int>(c) % kMs;
        }
    }
    if (posterior) {
        for (std::size_t c = 0; c < cells; ++c) posterior[c] = scratch[c];
    }
    labels = choosePairLabels(best, bestRow, bestColumn, scatterPosterior);
    return largest + std::log(sum);
}

}  // namespace orthomix
