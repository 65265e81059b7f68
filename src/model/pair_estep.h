#pragma once

#include <vector>

#include "model/densities.h"
#include "model/pair_table.h"
#include "records/gene_record.h"

namespace orthomix {

// One ortholog pair of an EM run. The M-step needs of the pair's posterior
// only its row sums (weights of the human clusters) and column sums (weights
// of the mouse clusters); the record keeps those, in storage owned by the run.
struct OrthologPairRecord {
    GeneRecord* humanGene = nullptr;
    GeneRecord* mouseGene = nullptr;
    double* posteriorRowSums = nullptr;     // k_hm values
    double* posteriorColumnSums = nullptr;  // k_ms values
};

// A cluster's Gaussian prepared for repeated evaluation: per column -2v and
// sqrt(6.2831852 v), the columns with a variance of exactly 0 left out.
struct ClusterDensityForm {
    std::vector<double> mean;
    std::vector<double> negTwoVariance;
    std::vector<double> normaliser;
    std::vector<std::size_t> activeColumns;
    bool finite = true;  // every mean and variance is a finite number
};

void prepareDensityForms(const std::vector<ClusterParameters>& parameters, std::vector<ClusterDensityForm>& forms);

// The same value as gaussianDensity(x, form's mean, variance), bit for bit.
// With finite parameters and finite x every factor is finite, so a product
// that has reached 0 stays 0 and the remaining columns are skipped.
double preparedDensity(const double* x, const ClusterDensityForm& form, bool xFinite = false);

// Moves both genes of the pair to the most probable cell (bestRow, bestColumn)
// or, when the scatter posterior is larger (or a value is NaN), to scatter;
// with no cell above 0 and no scatter weight both keep their labels.
void assignPairLabels(OrthologPairRecord& record, double best, int bestRow, int bestColumn, double scatterPosterior,
                      int kHm, int kMs);

// The E-step of one pair given the densities of its human gene under every
// human cluster and of its mouse gene under every mouse cluster. Writes the
// record's posterior row and column sums (and the full posterior when
// `posterior` is given, k_hm * k_ms row-major), moves both genes to the most
// probable cell or to scatter, and returns the pair's total density (1.0 when
// it is not positive). `joint` is scratch of k_hm * k_ms values.
double pairEStep(const PairTable& pairTable, const double* humanDensities, const double* mouseDensities,
                 double scatterTerm, OrthologPairRecord& record, double* joint, double* posterior = nullptr);

// Convenience form that evaluates the densities itself.
double pairEStep(const PairTable& pairTable, OrthologPairRecord& record, int kHm, int kMs,
                 const std::vector<ClusterParameters>& humanClusterParams,
                 const std::vector<ClusterParameters>& mouseClusterParams, double scatterProbability,
                 double humanScatterDensity, double mouseScatterDensity, double* posterior = nullptr);

}  // namespace orthomix
