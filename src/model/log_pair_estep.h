#pragma once

#include <cstdint>
#include <vector>

#include "model/pair_estep.h"
#include "model/pair_table.h"

namespace orthomix {

// exp(x) for x <= 0 to about one part in 1e15, 0 below -708; written so that
// loops over it vectorise.
double expNonPositive(double x);

// The scatter term of a pair (scatter probability times the two uniform
// densities) as sign and logarithm of its size: a negative pseudo count can
// make it negative, and then no logarithm of the term itself exists.
struct ScatterTerm {
    double value = 0.0;
    int sign = 0;  // -1, 0 or 1
    double logMagnitude = 0.0;

    static ScatterTerm of(double value);
};

// Scratch of pairLogEStep, prepared once for a table.
struct PairLogScratch {
    std::vector<double> humanShares, cells, rowLargest;
    std::vector<double> mouseShares;      // paddedWidth of them, the padding 0
    std::vector<double> tableRowLargest;  // the largest cell of every row of the table
    // The table's rows, each padded with zeros to a whole number of groups
    // of four columns, so that the row and column sums take every group
    // whole; whether every cell is finite; the rows whose human share is
    // not 0, and their row sums' partial sums carried from one block of
    // columns to the next.
    std::size_t paddedWidth = 0;
    std::vector<double> paddedCells, rowPartials;
    bool cellsFinite = true;
    std::vector<std::uint32_t> sharedRows;
    void prepare(const PairTable& table);
};

// The E-step of one pair in the log domain, factorised: the human and the
// mouse log densities are each shifted by their largest value and
// exponentiated (k_hm + k_ms exponentials), and every cell is the product of
// the two shares and the table, so that nothing underflows or overflows. The
// row and column sums come from the table's products with the shares, not
// cell by cell; the largest cell is searched only in rows whose bound can
// reach it. A largest cell below exp(-708) times a positive scatter term is
// not chosen. `scratch` must have been prepared for `table`.
// Same assignment rules and posterior sums as pairEStep, with the same
// treatment of a total that is not positive; returns the logarithm of the
// pair's total density (0 when it is not positive). The full posterior goes
// to `posterior` when given (k_hm * k_ms, row-major).
double pairLogEStep(const PairTable& table, const double* humanLogDensities, const double* mouseLogDensities,
                    const ScatterTerm& scatter, double* rowSums, double* columnSums, PairLogScratch& scratch,
                    PairLabels& labels, double* posterior = nullptr);

}  // namespace orthomix
