#include "model/densities.h"

#include <cmath>
#include <cstdint>
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

void prepareClusterDensityForms(const ClusterParameters& parameters, ClusterDensityForms& forms) {
    const std::size_t k = parameters.clusterCount;
    const std::size_t d = parameters.columns;
    forms.clusterCount = k;
    forms.columns = d;
    forms.mean.assign(d * k, 0.0);
    forms.negTwoVariance.assign(d * k, -1.0);
    forms.normaliser.assign(d * k, 1.0);
    forms.active.assign(d * k, 0);
    forms.finite.assign(k, ~std::uint64_t{0});
    for (std::size_t c = 0; c < k; ++c) {
        const double* mean = parameters.mean(c);
        const double* variance = parameters.variance(c);
        for (std::size_t i = 0; i < d; ++i) {
            const double v = variance[i];
            if (!(v >= 0.0) || !std::isfinite(v) || !std::isfinite(mean[i])) forms.finite[c] = 0;
            forms.mean[i * k + c] = mean[i];
            if (v == 0.0) continue;
            forms.negTwoVariance[i * k + c] = -2.0 * v;
            forms.normaliser[i * k + c] = std::sqrt(kTwoPi * v);
            forms.active[i * k + c] = ~std::uint64_t{0};
        }
    }
}

__attribute__((target_clones("avx2", "default"))) void densitiesOfGene(const double* x, bool xFinite,
                                                                        const ClusterDensityForms& forms, double* out,
                                                                        DensityScratch& scratch) {
    const std::size_t k = forms.clusterCount;
    scratch.terms.resize(k);
    scratch.live.resize(k);
    double* terms = scratch.terms.data();
    // Per cluster, all bits set while its product may still change: a
    // product of finite factors that has reached 0 stays 0, so its remaining
    // exp calls are skipped, as density() skips them.
    std::uint64_t* live = scratch.live.data();
    const std::uint64_t* finite = forms.finite.data();
    const std::uint64_t canStop = xFinite ? ~std::uint64_t{0} : 0;
    for (std::size_t c = 0; c < k; ++c) {
        out[c] = 1.0;
        live[c] = ~std::uint64_t{0};
    }
    for (std::size_t i = 0; i < forms.columns; ++i) {
        const double xi = x[i];
        const double* mean = forms.mean.data() + i * k;
        const double* negTwoVariance = forms.negTwoVariance.data() + i * k;
        const double* normaliser = forms.normaliser.data() + i * k;
        const std::uint64_t* active = forms.active.data() + i * k;
        for (std::size_t c = 0; c < k; ++c) {
            const double d = xi - mean[c];
            terms[c] = (d * d) / negTwoVariance[c];
        }
        for (std::size_t c = 0; c < k; ++c) {
            if ((active[c] & live[c]) != 0) {
                terms[c] = std::exp(terms[c]);
            } else {
                terms[c] = 1.0;
            }
        }
        for (std::size_t c = 0; c < k; ++c) out[c] = out[c] * (terms[c] / normaliser[c]);
        std::uint64_t anyLive = 0;
        for (std::size_t c = 0; c < k; ++c) {
            const std::uint64_t zero = out[c] == 0.0 ? ~std::uint64_t{0} : 0;
            live[c] &= ~(zero & finite[c] & canStop);
            anyLive |= live[c];
        }
        if (anyLive == 0) return;
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
