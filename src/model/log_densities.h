#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/cluster_parameters.h"
#include "model/densities.h"
#include "records/expression_matrix.h"
#include "support/processor.h"

namespace orthomix {

// Genes prepared once per attempt for log densities as a matrix product:
// where each gene's values are, one gene after another, and the largest
// magnitude of every column. The features of a gene are its squared values,
// then its values; they are formed where they are used, so that a pass reads
// the values in place and nothing is copied. The expression matrix must
// outlive the features.
struct GeneFeatures {
    std::size_t rows = 0;
    std::size_t columns = 0;  // of the expression data
    std::vector<const double*> rowValues;
    std::vector<double> largestMagnitude;  // per column, over the genes

    void build(const ExpressionMatrix& expression, const std::vector<std::uint32_t>& genes);
    const double* row(std::size_t gene) const { return rowValues[gene]; }
};

// One organism's clusters prepared for log densities, so that
// log f_c(x) = constant[c] + sum_i x_i^2 weight[i][c] + sum_i x_i weight[columns + i][c]
// with weight[i][c] = -1 / (2 v) and weight[columns + i][c] = m / v; columns
// of zero variance get weight 0 and so drop out. Expanding the square loses
// digits where (x - m)^2 is far below x^2 + m^2 / v: for a cluster whose
// variances are tiny against its genes' range, the difference is evaluated
// as it stands instead.
struct LogDensityForms {
    std::size_t clusterCount = 0;
    std::size_t columns = 0;
    std::vector<double> weights;    // [(2 columns) x clusterCount], row-major
    // The same with every row padded with zeros to paddedClusterCount, a
    // whole number of vectors, for the vector kernel.
    std::size_t paddedClusterCount = 0;
    std::vector<double> paddedWeights;
    std::vector<double> constants;  // [clusterCount]
    std::vector<std::size_t> squaredClusters;  // clusters evaluated without the expansion
    std::vector<double> means, halfInverseVariances, logNormalisers;  // [cluster * columns + column], [cluster]
};

// The largest log-density error the expansion may make before a cluster is
// evaluated without it.
inline constexpr double kLargestExpansionError = 1e-6;

void prepareLogDensityForms(const ClusterParameters& parameters, const GeneFeatures& genes, LogDensityForms& forms);

// log f_c of genes [begin, end) of `genes` for every cluster c, written to
// out[g * clusterCount + c] (g counted from 0, not from begin): one matrix
// product. The portable kernel is the linear-algebra library's product.
void logDensities(const GeneFeatures& genes, std::size_t begin, std::size_t end, const LogDensityForms& forms,
                  double* out, VectorKernel kernel = VectorKernel::Best);

}  // namespace orthomix
