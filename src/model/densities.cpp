#include "model/densities.h"

#include <cmath>
#include <limits>

namespace orthomix {

void prepareDensityForms(const ClusterParameters& parameters, std::vector<DensityForm>& forms) {
    forms.resize(parameters.clusterCount);
    for (std::size_t c = 0; c < parameters.clusterCount; ++c) {
        const double* mean = parameters.mean(c);
        const double* variance = parameters.variance(c);
        DensityForm& form = forms[c];
        form.mean = mean;
        form.negTwoVariance.assign(parameters.columns, 0.0);
        form.normaliser.assign(parameters.columns, 0.0);
        form.activeColumns.clear();
        form.finite = true;
        for (std::size_t i = 0; i < parameters.columns; ++i) {
            const double v = variance[i];
            if (!(v >= 0.0) || !std::isfinite(v) || !std::isfinite(mean[i])) form.finite = false;
            if (v == 0.0) continue;
            form.negTwoVariance[i] = -2.0 * v;
            form.normaliser[i] = std::sqrt(kTwoPi * v);
            form.activeColumns.push_back(i);
        }
    }
}

double scatterDensity(const ExpressionMatrix& expression) {
    const std::size_t columns = expression.columns();
    if (expression.rows() == 0) return 1.0;
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::vector<double> lo(columns, inf);
    std::vector<double> hi(columns, -inf);
    for (std::size_t g = 0; g < expression.rows(); ++g) {
        const double* values = expression.row(g);
        for (std::size_t i = 0; i < columns; ++i) {
            if (values[i] < lo[i]) lo[i] = values[i];
            if (values[i] > hi[i]) hi[i] = values[i];
        }
    }
    double u = 1.0;
    for (std::size_t i = 0; i < columns; ++i) {
        // Dividing by a zero width would make every pair scatter.
        if (!(hi[i] > lo[i])) continue;
        u = u / (hi[i] - lo[i]);
    }
    return std::sqrt(u);
}

}  // namespace orthomix
