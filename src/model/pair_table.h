#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "numeric/matrix.h"
#include "numeric/svd.h"
#include "records/orthologs.h"
#include "support/error.h"

namespace orthomix {

// Cluster-pair probabilities: rows are human clusters, columns mouse clusters.
// With scatterProbability the cells sum to 1.
struct PairTable {
    int rows = 0;
    int cols = 0;
    std::vector<double> cells;  // row-major
    double scatterProbability = 0.0;

    double& at(int i, int j) { return cells[static_cast<std::size_t>(i) * cols + j]; }
    double at(int i, int j) const { return cells[static_cast<std::size_t>(i) * cols + j]; }
    void reset(int rowCount, int colCount) {
        rows = rowCount;
        cols = colCount;
        cells.assign(static_cast<std::size_t>(rowCount) * colCount, 0.0);
    }
};

struct PairCounts {
    int rows = 0;
    int cols = 0;
    std::vector<std::int32_t> cells;  // row-major

    std::int32_t& at(int i, int j) { return cells[static_cast<std::size_t>(i) * cols + j]; }
    std::int32_t at(int i, int j) const { return cells[static_cast<std::size_t>(i) * cols + j]; }
    void reset(int rowCount, int colCount) {
        rows = rowCount;
        cols = colCount;
        cells.assign(static_cast<std::size_t>(rowCount) * colCount, 0);
    }
};

// Scratch of the log-linear fit, kept between iterations so that the fit
// allocates only when the table grows.
struct PairTableFitWorkspace {
    std::vector<double> x, y, sig, coefficients, singularValues;
    Matrix u, v;
    SvdWorkspace solver;
    std::vector<double> rowEffects, colEffects;  // last row and column are the reference, 0
};

// The cluster-pair prior of one attempt's iteration.
struct PairTableState {
    PairCounts pairCounts;  // after the diagonalisation, before the pseudo counts
    PairTable table;
    double diagonalCoefficient = 0.0;
    std::size_t scatterPairs = 0;  // pairs counted as scatter
    PairTableFitWorkspace workspace;
};

// How the diagonalisation reordered the clusters: entry p is the position,
// before the reordering, of the cluster that now stands at position p.
struct ClusterOrders {
    std::vector<int> human;
    std::vector<int> mouse;
};

// Counts the pairs per cell from the genes' labels (a label equal to the
// organism's cluster count is scatter), moves the largest counts onto the
// diagonal by reordering rows and columns greedily, adds the pseudo count 5 to
// every cell and derives the table and the scatter probability. Returns the
// reordering, which the caller applies to its clusters.
ClusterOrders estimatePairTable(const std::vector<OrthologPair>& pairs, const std::vector<std::int32_t>& humanLabels,
                                const std::vector<std::int32_t>& mouseLabels, int humanClusters, int mouseClusters,
                                std::int32_t pseudoCounts, PairTableState& state);

// How the log-linear fit of the table is solved.
enum class PairTableFit {
    Decomposition,  // singular value decomposition of the whole design: O(k^4), the exact mode's arithmetic
    Structured,     // through the design's row, column and diagonal structure: O(k^2)
};

// Replaces the table by the logistic fit of its logits on intercept, row,
// column and (non-negative) diagonal effects, renormalised with the scatter
// probability. Tables of one row or one column stay as they are. Fails when
// the singular value decomposition does not converge.
Status smoothPairTable(PairTableState& state, PairTableFit fit = PairTableFit::Decomposition);

// The least-squares coefficients of the fit, in the order of pairTableBasis,
// for the logits y of an R-by-C table (R, C >= 2, row-major), solved through
// the structure of the design: for a given diagonal effect the other
// coefficients follow from row, column and grand means, and the diagonal
// effect from the doubly centred diagonal indicator.
void fitPairTableStructured(const std::vector<double>& y, int R, int C, std::vector<double>& coefficients);

// Basis values of the fit at cell number x of an R-by-C table: intercept, row
// and column indicators (last row and column as reference), diagonal indicator.
void pairTableBasis(double x, std::vector<double>& values, int R, int C);

}  // namespace orthomix
