#pragma once

#include <cstddef>
#include <vector>

#include "model/cluster_parameters.h"
#include "model/densities.h"
#include "model/pair_estep.h"
#include "model/pair_table.h"

namespace orthomix {

// The clusters of one organism prepared for log densities, stored column by
// column so that all clusters of a gene are evaluated side by side:
// log f_c(x) = logNormaliser[c] - sum_i halfInverseVariance[i][c] (x_i - mean[i][c])^2.
// Zero-variance columns have a half inverse variance of 0 and so drop out.
struct LogDensityForms {
    std::size_t clusterCount = 0;
    std::size_t columns = 0;
    std::vector<double> mean;                 // [column * clusterCount + cluster]
    std::vector<double> halfInverseVariance;  // [column * clusterCount + cluster]
    std::vector<double> logNormaliser;        // [cluster]
};

void prepareLogDensityForms(const ClusterParameters& parameters, LogDensityForms& forms);

// log f_c(x) for every cluster c, written to out[0..clusterCount-1].
void logDensities(const double* x, const LogDensityForms& forms, double* out);

// exp(x) for x <= 0 to about one part in 1e15, 0 below -708; written so that
// loops over it vectorise.
double expNonPositive(double x);

// The E-step of one pair in the log domain: posteriors by a max-shifted
// log-sum-exp, so that nothing underflows. Same assignment rules and posterior
// sums as pairEStep; returns the logarithm of the pair's total density (0 when
// every term is zero). logTable holds log P row-major; scratch has
// k_hm * k_ms values.
double pairLogEStep(const double* logTable, int kHm, int kMs, const double* humanLogDensities,
                    const double* mouseLogDensities, double logScatterTerm, double* rowSums, double* columnSums,
                    double* scratch, PairLabels& labels, double* posterior = nullptr);

}  // namespace orthomix
