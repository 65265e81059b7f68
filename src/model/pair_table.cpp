#include "model/pair_table.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace orthomix {
namespace {

constexpr std::int32_t kCellPseudoCount = 5;
// The scatter share is the pseudo and scatter counts over ten times the pairs.
constexpr std::int32_t kScatterDenominatorFactor = 10;

// Largest count in the block of rows and columns >= t; the first in
// row-major order wins a tie.
void findLargestCount(const PairCounts& counts, int t, int& bestRow, int& bestCol) {
    std::int32_t best = -1;
    bestRow = t;
    bestCol = t;
    for (int i = t; i < counts.rows; ++i) {
        for (int j = t; j < counts.cols; ++j) {
            if (counts.at(i, j) > best) {
                best = counts.at(i, j);
                bestRow = i;
                bestCol = j;
            }
        }
    }
}

// Greedily moves the largest remaining count onto each diagonal cell in turn.
ClusterOrders diagonalise(PairCounts& counts) {
    ClusterOrders orders;
    orders.human.resize(static_cast<std::size_t>(counts.rows));
    orders.mouse.resize(static_cast<std::size_t>(counts.cols));
    std::iota(orders.human.begin(), orders.human.end(), 0);
    std::iota(orders.mouse.begin(), orders.mouse.end(), 0);
    const int steps = std::min(counts.rows, counts.cols);
    for (int t = 0; t < steps; ++t) {
        int bi = t;
        int bj = t;
        findLargestCount(counts, t, bi, bj);
        if (bi != t) {
            std::swap_ranges(&counts.at(t, 0), &counts.at(t, 0) + counts.cols, &counts.at(bi, 0));
            std::swap(orders.human[t], orders.human[bi]);
        }
        if (bj != t) {
            for (int i = 0; i < counts.rows; ++i) std::swap(counts.at(i, t), counts.at(i, bj));
            std::swap(orders.mouse[t], orders.mouse[bj]);
        }
    }
    return orders;
}

bool isCluster(std::int32_t label, int clusterCount) { return label >= 0 && label < clusterCount; }

}  // namespace

ClusterOrders estimatePairTable(const std::vector<OrthologPair>& pairs, const std::vector<std::int32_t>& humanLabels,
                                const std::vector<std::int32_t>& mouseLabels, int humanClusters, int mouseClusters,
                                std::int32_t pseudoCounts, PairTableState& state) {
    state.pairCounts.reset(humanClusters, mouseClusters);
    state.table.reset(humanClusters, mouseClusters);
    state.table.scatterProbability = 0.0;

    // 64 bits: a pseudo count near the 32-bit limit plus the scatter pairs,
    // or the cells' pseudo counts of a large k, must not wrap.
    std::int64_t scatterCount = 0;
    for (const OrthologPair& pair : pairs) {
        const std::int32_t row = humanLabels[pair.human];
        const std::int32_t col = mouseLabels[pair.mouse];
        // Every gene of a pair carries a cluster or the scatter label; anything
        // else would index outside the table and counts as scatter.
        if (!isCluster(row, humanClusters) || !isCluster(col, mouseClusters)) {
            ++scatterCount;
            continue;
        }
        ++state.pairCounts.at(row, col);
    }
    state.scatterPairs = static_cast<std::size_t>(scatterCount);

    ClusterOrders orders = diagonalise(state.pairCounts);

    std::int64_t total = 0;
    for (const std::int32_t count : state.pairCounts.cells) total += std::int64_t{count} + kCellPseudoCount;
    const std::int64_t scatterWeight = std::int64_t{pseudoCounts} + scatterCount;
    // The product wraps as a 32-bit integer and is divided as unsigned.
    const std::uint32_t denominator = kScatterDenominatorFactor * static_cast<std::uint32_t>(pairs.size());
    // Exact conversions below 2^53, so ordinary counts give the bits they always gave.
    const double scatterShare = static_cast<double>(scatterWeight) / static_cast<double>(denominator);
    const double totalCount = static_cast<double>(total);
    for (std::size_t cell = 0; cell < state.pairCounts.cells.size(); ++cell) {
        double probability = (state.pairCounts.cells[cell] + kCellPseudoCount) / totalCount;
        probability = probability / (scatterShare + 1.0);
        state.table.cells[cell] = probability;
    }
    state.table.scatterProbability = scatterShare / (scatterShare + 1.0);
    return orders;
}

void fitPairTableStructured(const std::vector<double>& y, int R, int C, std::vector<double>& coefficients) {
    const auto rows = static_cast<std::size_t>(R);
    const auto cols = static_cast<std::size_t>(C);
    std::vector<double> rowMean(rows, 0.0), colMean(cols, 0.0);
    double grandMean = 0.0;
    for (std::size_t i = 0; i < rows; ++i) {
        for (std::size_t j = 0; j < cols; ++j) {
            rowMean[i] += y[i * cols + j];
            colMean[j] += y[i * cols + j];
        }
        grandMean += rowMean[i];
        rowMean[i] /= C;
    }
    for (std::size_t j = 0; j < cols; ++j) colMean[j] /= R;
    grandMean /= static_cast<double>(rows * cols);

    // The diagonal indicator's row, column and grand means; its doubly
    // centred form is what the additive effects cannot explain.
    const std::size_t diagonal = std::min(rows, cols);
    const double diagonalRowMean = 1.0 / C;
    const double diagonalColMean = 1.0 / R;
    const double diagonalGrandMean = static_cast<double>(diagonal) / static_cast<double>(rows * cols);
    double numerator = 0.0;
    double denominator = 0.0;
    for (std::size_t i = 0; i < rows; ++i) {
        for (std::size_t j = 0; j < cols; ++j) {
            const double indicator = i == j ? 1.0 : 0.0;
            const double centred = indicator - (i < diagonal ? diagonalRowMean : 0.0) -
                                   (j < diagonal ? diagonalColMean : 0.0) + diagonalGrandMean;
            numerator += centred * y[i * cols + j];
            denominator += centred * centred;
        }
    }
    const double delta = numerator / denominator;

    // Means of y - delta * indicator give the additive part; the last row
    // and column are the reference levels.
    const auto zRow = [&](std::size_t i) { return rowMean[i] - delta * (i < diagonal ? diagonalRowMean : 0.0); };
    const auto zCol = [&](std::size_t j) { return colMean[j] - delta * (j < diagonal ? diagonalColMean : 0.0); };
    const double zGrand = grandMean - delta * diagonalGrandMean;
    coefficients.assign(rows + cols, 0.0);
    coefficients[0] = (zRow(rows - 1) + zCol(cols - 1)) - zGrand;
    for (std::size_t i = 0; i + 1 < rows; ++i) coefficients[1 + i] = zRow(i) - zRow(rows - 1);
    for (std::size_t j = 0; j + 1 < cols; ++j) coefficients[rows + j] = zCol(j) - zCol(cols - 1);
    coefficients[rows + cols - 1] = delta;
}

Status smoothPairTable(PairTableState& state, PairTableFit method) {
    PairTable& table = state.table;
    const int rows = table.rows;
    const int cols = table.cols;
    // One row or column leaves nothing to smooth (and an empty table nothing at all).
    if (rows <= 1 || cols <= 1) return okStatus();

    PairTableFitWorkspace& fit = state.workspace;
    const std::size_t points = static_cast<std::size_t>(rows) * cols;
    fit.x.resize(points);
    fit.y.resize(points);
    fit.sig.assign(points, 1.0);
    for (std::size_t p = 0; p < points; ++p) {
        const double probability = table.cells[p];
        fit.x[p] = static_cast<double>(p);
        fit.y[p] = std::log(probability / (1.0 - probability));
    }
    if (method == PairTableFit::Structured) {
        fitPairTableStructured(fit.y, rows, cols, fit.coefficients);
    } else {
        fit.coefficients.assign(static_cast<std::size_t>(rows + cols), 0.0);
        const Result<double> fitted = svdLeastSquaresFit(fit.x, fit.y, fit.sig, fit.coefficients, fit.u, fit.v,
                                                         fit.singularValues, pairTableBasis, rows, cols, fit.solver);
        if (!fitted) return fitted.error();
    }

    const std::vector<double>& a = fit.coefficients;
    fit.rowEffects.assign(static_cast<std::size_t>(rows), 0.0);
    fit.colEffects.assign(static_cast<std::size_t>(cols), 0.0);
    for (int i = 0; i + 1 < rows; ++i) fit.rowEffects[i] = a[1 + i];
    for (int j = 0; j + 1 < cols; ++j) fit.colEffects[j] = a[rows + j];
    state.diagonalCoefficient = a[rows + cols - 1];
    // Only a negative fit is clamped; the other effects are not refitted.
    if (state.diagonalCoefficient < 0.0) state.diagonalCoefficient = 0.0;

    double total = 0.0;
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            const double eta =
                ((fit.rowEffects[i] + fit.colEffects[j]) + (i == j ? state.diagonalCoefficient : 0.0)) + a[0];
            const double q = 1.0 / (1.0 / std::exp(eta) + 1.0);
            table.at(i, j) = q;
            total += q;
        }
    }
    total += table.scatterProbability;
    for (double& cell : table.cells) cell /= total;
    table.scatterProbability /= total;
    return okStatus();
}

void pairTableBasis(double x, std::vector<double>& values, int R, int C) {
    const std::size_t count = values.size();
    values[0] = 1.0;
    for (std::size_t k = 1; k < count; ++k) values[k] = 0.0;
    const int row = static_cast<int>(std::floor(x / C));
    const int col = static_cast<int>(x) % C;
    if (row != R - 1) values[1 + row] = 1.0;
    if (col != C - 1) values[R + col] = 1.0;
    values[count - 1] = row == col ? 1.0 : 0.0;
}

}  // namespace orthomix
