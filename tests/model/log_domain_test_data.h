// Helpers of the log-domain tests: random clusters and the log densities of one gene.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "model/cluster_parameters.h"
#include "model/log_densities.h"
#include "records/expression_matrix.h"

namespace orthomix::testing {

inline ClusterParameters randomClusters(std::mt19937_64& random, int k, int columns) {
    std::uniform_real_distribution<double> meanDraw(-2.0, 2.0), varianceDraw(0.2, 3.0);
    ClusterParameters parameters;
    parameters.resize(static_cast<std::size_t>(k), static_cast<std::size_t>(columns));
    for (int c = 0; c < k; ++c) {
        for (int i = 0; i < columns; ++i) {
            parameters.means[c * columns + i] = meanDraw(random);
            parameters.variances[c * columns + i] = i == 1 ? 0.0 : varianceDraw(random);  // one ignored column
        }
    }
    return parameters;
}

// Log densities of a single gene through the matrix product.
inline std::vector<double> logDensitiesOf(const std::vector<double>& x, const ClusterParameters& parameters) {
    ExpressionMatrix gene(0, x.size());
    gene.appendRow(x.data());
    GeneFeatures features;
    features.build(gene, {0});
    LogDensityForms forms;
    prepareLogDensityForms(parameters, features, forms);
    std::vector<double> out(forms.clusterCount);
    logDensities(features, 0, 1, forms, out.data());
    return out;
}

}  // namespace orthomix::testing
