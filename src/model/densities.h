#pragma once

#include <utility>
#include <vector>

#include "records/gene_record.h"

namespace orthomix {

// One cluster's Gaussian: a mean and a variance per expression column. A
// variance of exactly 0 marks a column the density leaves out.
struct ClusterParameters {
    std::vector<double> mean;
    std::vector<double> variance;
};

// Density of x under a diagonal Gaussian: the product over columns of
// exp((x - m)^2 / (-2 v)) / sqrt(6.2831852 v), zero-variance columns skipped.
double gaussianDensity(const std::vector<double>& x, const std::vector<double>& mean,
                       const std::vector<double>& variance);

// sqrt of the sum of squared differences, summed in column order.
double euclideanDistance(const std::vector<double>& a, const std::vector<double>& b);

// Uniform densities of the scatter component: for each organism the square
// root of 1 / (volume of the bounding box of its values). Returns (human, mouse).
std::pair<double, double> scatterDensities(const std::vector<GeneRecord*>& humanGenes,
                                           const std::vector<GeneRecord*>& mouseGenes);

// The square root of the uniform density over one organism's bounding box;
// columns in which every gene has the same value are left out.
double scatterDensity(const std::vector<GeneRecord*>& genes);

// The approximation of 2 pi that the density's normalising constant uses.
inline constexpr double kTwoPi = 6.2831852;

}  // namespace orthomix
