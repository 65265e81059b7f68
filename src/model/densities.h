#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/cluster_parameters.h"
#include "records/expression_matrix.h"

namespace orthomix {

// The approximation of 2 pi that the density's normalising constant uses.
inline constexpr double kTwoPi = 6.2831852;

// One cluster's Gaussian prepared for repeated evaluation: per column -2v and
// sqrt(6.2831852 v), the columns with a variance of exactly 0 left out.
struct DensityForm {
    const double* mean = nullptr;
    std::vector<double> negTwoVariance;
    std::vector<double> normaliser;
    std::vector<std::size_t> activeColumns;
    bool finite = true;  // every mean and variance is a finite number
};

// One form per cluster; forms must not outlive parameters (they point at its means).
void prepareDensityForms(const ClusterParameters& parameters, std::vector<DensityForm>& forms);

// Density of x under a diagonal Gaussian: the product, column by column in
// increasing order, of exp((x - m)^2 / (-2 v)) / sqrt(6.2831852 v), columns
// of zero variance left out (a density of 1.0 when all are). With finite
// parameters and finite x every factor is finite, so a product that has
// reached 0 stays 0 and the remaining columns are skipped.
inline double density(const double* x, const DensityForm& form, bool xFinite) {
    const bool stopAtZero = xFinite && form.finite;
    double result = 1.0;
    for (const std::size_t i : form.activeColumns) {
        const double d = x[i] - form.mean[i];
        result *= std::exp((d * d) / form.negTwoVariance[i]) / form.normaliser[i];
        if (stopAtZero && result == 0.0) return 0.0;
    }
    return result;
}

// All clusters of one organism prepared for the densities of one gene at a
// time, the clusters side by side: per column and cluster the mean, -2v and
// sqrt(6.2831852 v). A column of zero variance is marked inactive and gets
// -1 and 1, so that its factor is exactly 1.
struct ClusterDensityForms {
    std::size_t clusterCount = 0;
    std::size_t columns = 0;
    std::vector<double> mean, negTwoVariance, normaliser;  // [column * clusterCount + cluster]
    // All bits set for yes, so that they combine with bitwise operations.
    std::vector<std::uint64_t> active;  // [column * clusterCount + cluster]
    std::vector<std::uint64_t> finite;  // [cluster]: every mean and variance finite
};

void prepareClusterDensityForms(const ClusterParameters& parameters, ClusterDensityForms& forms);

// density(x, cluster c) for every cluster c, bit for bit: each cluster's
// product keeps its column order, while the arithmetic around the exp calls
// runs over the clusters side by side. Zero-variance columns multiply by
// exactly 1, which changes no bit.
struct DensityScratch {
    std::vector<double> terms;
    std::vector<std::uint64_t> live;
};
void densitiesOfGene(const double* x, bool xFinite, const ClusterDensityForms& forms, double* out,
                     DensityScratch& scratch);

// The scatter component's density in one organism: the square root of the
// uniform density over the bounding box of its values. Columns in which every
// gene has the same value span no width and are left out.
double scatterDensity(const ExpressionMatrix& expression);

}  // namespace orthomix
