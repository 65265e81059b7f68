// Built for the processor that builds it (see bench/CMakeLists.txt): the
// floors are the best this machine does, not what a portable build does.
#include "product_floors.h"

#include <Eigen/Core>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace orthomix::bench {
namespace {

using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// Keeps a result alive so that the work producing it is not optimised away.
volatile double sink = 0.0;

// The best of a few rounds: at least kMinRounds, more while the rounds so far
// took less than kBudgetSeconds. The first round also pays for touching
// freshly allocated memory; the best one does not.
template <typename Work>
double bestSeconds(Work work) {
    constexpr int kMinRounds = 3;
    constexpr int kMaxRounds = 9;
    constexpr double kBudgetSeconds = 2.0;
    double best = std::numeric_limits<double>::infinity();
    double total = 0.0;
    for (int round = 0; round < kMaxRounds && (round < kMinRounds || total < kBudgetSeconds); ++round) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, seconds);
        total += seconds;
    }
    return best;
}

// Values in [low, high), spread without pattern, the same in every run; no
// subnormals, which would slow the arithmetic down.
void fill(double* values, std::size_t count, double low, double high) {
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const double unit = static_cast<double>(state >> 11) * 0x1.0p-53;
        values[i] = low + (high - low) * unit;
    }
}

Matrix filledMatrix(std::size_t rows, std::size_t columns, double low, double high) {
    Matrix m(static_cast<Eigen::Index>(rows), static_cast<Eigen::Index>(columns));
    fill(m.data(), rows * columns, low, high);
    return m;
}

// Seconds of left times right, the product written into a matrix allocated beforehand.
double productSeconds(const Matrix& left, const Matrix& right) {
    Matrix result(left.rows(), right.cols());
    return bestSeconds([&] {
        result.noalias() = left * right;
        sink = sink + result(0, 0);
    });
}

double densitiesSeconds(const OrganismShape& organism) {
    const Matrix features = filledMatrix(organism.pairedGenes, 2 * organism.columns, -3.0, 3.0);
    const Matrix weights = filledMatrix(2 * organism.columns, organism.clusters, -1.0, 1.0);
    return productSeconds(features, weights);
}

double mStepSeconds(const OrganismShape& organism, std::size_t pairs) {
    const Matrix posteriors = filledMatrix(organism.clusters, pairs, 0.0, 1.0);
    const Matrix features = filledMatrix(pairs, 2 * organism.columns, -3.0, 3.0);
    return productSeconds(posteriors, features);
}

double reassignmentSeconds(const OrganismShape& organism) {
    const Matrix values = filledMatrix(organism.keptGenes, organism.columns, -3.0, 3.0);
    const Matrix means = filledMatrix(organism.columns, organism.clusters, -1.0, 1.0);
    return productSeconds(values, means);
}

// Per pair: the exp of each of its k_hm and k_ms log densities, then the
// cluster-pair table weighed by both sides' shares, k_hm x k_ms
// multiply-adds, written so that the compiler can vectorise it without
// reordering any sum.
double pairsSeconds(const RunShape& shape) {
    const std::size_t kHm = shape.human.clusters;
    const std::size_t kMs = shape.mouse.clusters;
    std::vector<double> humanLogDensities(shape.pairs * kHm);
    std::vector<double> mouseLogDensities(shape.pairs * kMs);
    std::vector<double> table(kHm * kMs);
    fill(humanLogDensities.data(), humanLogDensities.size(), -30.0, 0.0);
    fill(mouseLogDensities.data(), mouseLogDensities.size(), -30.0, 0.0);
    fill(table.data(), table.size(), 0.0, 1.0 / static_cast<double>(kHm * kMs));
    std::vector<double> humanShares(kHm), mouseShares(kMs), columnSums(kMs);
    return bestSeconds([&] {
        double total = 0.0;
        for (std::size_t r = 0; r < shape.pairs; ++r) {
            const double* humanLog = humanLogDensities.data() + r * kHm;
            const double* mouseLog = mouseLogDensities.data() + r * kMs;
            for (std::size_t i = 0; i < kHm; ++i) humanShares[i] = std::exp(humanLog[i]);
            for (std::size_t j = 0; j < kMs; ++j) mouseShares[j] = std::exp(mouseLog[j]);
            std::fill(columnSums.begin(), columnSums.end(), 0.0);
            for (std::size_t i = 0; i < kHm; ++i) {
                const double share = humanShares[i];
                const double* row = table.data() + i * kMs;
                for (std::size_t j = 0; j < kMs; ++j) columnSums[j] += share * row[j];
            }
            for (std::size_t j = 0; j < kMs; ++j) total += columnSums[j] * mouseShares[j];
        }
        sink = sink + total;
    });
}

}  // namespace

PhaseFloors measurePhaseFloors(const RunShape& shape) {
    Eigen::setNbThreads(1);
    PhaseFloors floors;
    for (const OrganismShape* organism : {&shape.human, &shape.mouse}) {
        floors.densities += densitiesSeconds(*organism);
        floors.mStep += mStepSeconds(*organism, shape.pairs);
        floors.reassignment += reassignmentSeconds(*organism);
    }
    floors.pairs = pairsSeconds(shape);
    return floors;
}

}  // namespace orthomix::bench
