#pragma once

#include <cstdint>
#include <vector>

#include "numeric/matrix.h"
#include "numeric/svd.h"
#include "records/gene_cluster.h"
#include "records/gene_record.h"

namespace orthomix {

// Rows: human clusters, columns: mouse clusters.
struct PairTable {
    int rows = 0;
    int cols = 0;
    std::vector<double> cells;  // row-major

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

// The cluster-pair prior of one EM run: the counted and smoothed table, its
// scatter probability and the pairs counted as scatter.
struct PairTableState {
    PairCounts pairCounts;
    PairTable pairTable;
    double scatterProbability = 0.0;
    double diagonalCoefficient = 0.0;
    std::vector<GenePair> scatterPairs;
    PairTableFitWorkspace workspace;
};

// Counts the pairs per cell from the genes' clusterIndex, moves the largest
// counts onto the diagonal by swapping clusters (and renumbering them), adds
// the pseudo count 5 per cell, and derives the table and scatter probability.
void estimatePairTable(std::vector<GeneCluster*>& humanClusters, std::vector<GeneCluster*>& mouseClusters,
                       const std::vector<GenePair>& humanToMouse, std::int32_t pseudoCounts, PairTableState& state);

// Replaces the table by the logistic fit of its logits on intercept, row,
// column and (non-negative) diagonal effects, renormalised with the scatter
// probability. Tables of one row or one column stay as they are.
void smoothPairTable(PairTableState& state);

// Basis values of the fit at cell number x of an R-by-C table: intercept, row
// and column indicators (last row and column as reference), diagonal indicator.
void pairTableBasis(double x, std::vector<double>& values, int R, int C);

}  // namespace orthomix
