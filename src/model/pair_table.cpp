#include "model/pair_table.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "driver/fatal.h"
#include "numeric/svd.h"

namespace orthomix {

namespace {

constexpr std::int32_t kCellPseudoCount = 5;
// The scatter share is the pseudo and scatter counts over ten times the pairs.
constexpr std::int32_t kScatterDenominatorFactor = 10;

// Moves the cluster at position `from` to position `to` and back, renumbering
// both and their members.
void swapClusters(std::vector<GeneCluster*>& clusters, int from, int to) {
    std::swap(clusters[from], clusters[to]);
    clusters[from]->index = from;
    clusters[to]->index = to;
    clusters[from]->propagateIndex();
    clusters[to]->propagateIndex();
}

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

// Greedily moves the largest remaining count onto each diagonal cell in turn,
// reordering the clusters with the rows and columns.
void diagonalise(std::vector<GeneCluster*>& humanClusters, std::vector<GeneCluster*>& mouseClusters,
                 PairCounts& counts) {
    const int steps = std::min(counts.rows, counts.cols);
    for (int t = 0; t < steps; ++t) {
        int bi = t;
        int bj = t;
        findLargestCount(counts, t, bi, bj);
        if (bi != t) {
            std::swap_ranges(&counts.at(t, 0), &counts.at(t, 0) + counts.cols, &counts.at(bi, 0));
            swapClusters(humanClusters, t, bi);
        }
        if (bj != t) {
            for (int i = 0; i < counts.rows; ++i) std::swap(counts.at(i, t), counts.at(i, bj));
            swapClusters(mouseClusters, t, bj);
        }
    }
}

bool isCountable(std::int32_t clusterIndex, int clusterCount) {
    return clusterIndex >= 0 && clusterIndex < clusterCount;
}

}  // namespace

void estimatePairTable(std::vector<GeneCluster*>& humanClusters, std::vector<GeneCluster*>& mouseClusters,
                       const std::vector<GenePair>& humanToMouse, std::int32_t pseudoCounts, PairTableState& state) {
    const int humanCount = static_cast<int>(humanClusters.size());
    const int mouseCount = static_cast<int>(mouseClusters.size());
    state.scatterPairs.clear();
    state.scatterProbability = 0.0;
    state.pairCounts.reset(humanCount, mouseCount);
    state.pairTable.reset(humanCount, mouseCount);

    std::int32_t scatterCount = 0;
    for (const GenePair& pair : humanToMouse) {
        const std::int32_t row = pair.human->clusterIndex;
        const std::int32_t col = pair.mouse->clusterIndex;
        if (row == humanCount || col == mouseCount) {
            ++scatterCount;
            state.scatterPairs.push_back(pair);
            continue;
        }
        // An unassigned gene here would index outside the table.
        if (!isCountable(row, humanCount) || !isCountable(col, mouseCount)) {
            fatalError("pair of genes " + pair.human->name + " and " + pair.mouse->name +
                       " has no cluster when the pair table is counted");
        }
        ++state.pairCounts.at(row, col);
    }

    diagonalise(humanClusters, mouseClusters, state.pairCounts);

    std::int32_t total = 0;
    for (std::int32_t& count : state.pairCounts.cells) {
        count += kCellPseudoCount;
        total += count;
    }
    const std::int32_t scatterWeight = pseudoCounts + scatterCount;
    // The product wraps as a 32-bit integer and is divided as unsigned.
    const std::uint32_t denominator =
        kScatterDenominatorFactor * static_cast<std::uint32_t>(humanToMouse.size());
    const double scatterShare = scatterWeight / static_cast<double>(denominator);
    const double totalCount = total;
    for (std::size_t cell = 0; cell < state.pairCounts.cells.size(); ++cell) {
        double probability = state.pairCounts.cells[cell] / totalCount;
        probability = probability / (scatterShare + 1.0);
        state.pairTable.cells[cell] = probability;
    }
    state.scatterProbability = scatterShare / (scatterShare + 1.0);
}

void smoothPairTable(PairTableState& state) {
    PairTable& table = state.pairTable;
    const int rows = table.rows;
    const int cols = table.cols;
    // One row or column leaves nothing to smooth (and an empty table nothing at all).
    if (rows <= 1 || cols <= 1) return;

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
    fit.coefficients.assign(static_cast<std::size_t>(rows + cols), 0.0);
    svdLeastSquaresFit(fit.x, fit.y, fit.sig, fit.coefficients, fit.u, fit.v, fit.singularValues, pairTableBasis,
                       rows, cols, fit.solver);

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
    total += state.scatterProbability;
    for (double& cell : table.cells) cell /= total;
    state.scatterProbability /= total;
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
