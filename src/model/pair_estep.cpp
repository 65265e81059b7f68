#include "model/pair_estep.h"

namespace orthomix {

PairLabels choosePairLabels(double best, int bestRow, int bestColumn, double scatterPosterior) {
    PairLabels labels;
    labels.scatterPosterior = scatterPosterior;
    if (!(best >= scatterPosterior)) {
        labels.kind = PairLabels::Kind::Scatter;
    } else if (bestRow != -1 && bestColumn != -1) {
        labels.kind = PairLabels::Kind::Cell;
        labels.row = bestRow;
        labels.column = bestColumn;
    }
    return labels;
}

double pairEStep(const PairTable& table, const double* humanDensities, const double* mouseDensities,
                 double scatterTerm, double* rowSums, double* columnSums, double* joint, PairLabels& labels,
                 double* posterior) {
    const int kHm = table.rows;
    const int kMs = table.cols;
    double total = 0.0;
    for (int i = 0; i < kHm; ++i) {
        const double* tableRow = &table.cells[static_cast<std::size_t>(i) * kMs];
        double* jointRow = joint + static_cast<std::size_t>(i) * kMs;
        for (int j = 0; j < kMs; ++j) {
            jointRow[j] = (humanDensities[i] * mouseDensities[j]) * tableRow[j];
            total += jointRow[j];
        }
    }
    total = total + scatterTerm;
    if (total <= 0.0) total = 1.0;

    const double scatterPosterior = scatterTerm / total;
    double best = 0.0;
    int bestRow = -1;
    int bestColumn = -1;
    for (int j = 0; j < kMs; ++j) columnSums[j] = 0.0;
    for (int i = 0; i < kHm; ++i) {
        const double* jointRow = joint + static_cast<std::size_t>(i) * kMs;
        double rowSum = 0.0;
        for (int j = 0; j < kMs; ++j) {
            const double p = jointRow[j] / total;
            if (posterior) posterior[static_cast<std::size_t>(i) * kMs + j] = p;
            rowSum += p;
            columnSums[j] += p;
            if (p > best) {
                best = p;
                bestRow = i;
                bestColumn = j;
            }
        }
        rowSums[i] = rowSum;
    }
    labels = choosePairLabels(best, bestRow, bestColumn, scatterPosterior);
    return total;
}

}  // namespace orthomix
