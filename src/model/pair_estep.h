#pragma once

#include "model/pair_table.h"

namespace orthomix {

// Where the E-step puts the two genes of a pair.
struct PairLabels {
    enum class Kind { Cell, Scatter, Unchanged };
    Kind kind = Kind::Unchanged;
    int row = -1;     // the cell, for Kind::Cell
    int column = -1;
    double scatterPosterior = 0.0;  // the pair's posterior of scatter, which the decision weighed
};

// The decision for a pair given its most probable cell (bestRow, bestColumn)
// with posterior `best`, and its scatter posterior: scatter when that is
// larger (or a value is NaN), the cell otherwise (a tie goes to the cell);
// unchanged when no cell has weight and scatter has none either.
PairLabels choosePairLabels(double best, int bestRow, int bestColumn, double scatterPosterior);

// The E-step of one pair, given the densities of its human gene under every
// human cluster and of its mouse gene under every mouse cluster. Writes the
// posterior's row sums (weights of the human clusters) and column sums
// (weights of the mouse clusters), and the full posterior when `posterior` is
// given (k_hm * k_ms, row-major); returns the pair's total density, 1.0 when
// it is not positive. `joint` is scratch of k_hm * k_ms values.
double pairEStep(const PairTable& table, const double* humanDensities, const double* mouseDensities,
                 double scatterTerm, double* rowSums, double* columnSums, double* joint, PairLabels& labels,
                 double* posterior = nullptr);

}  // namespace orthomix
