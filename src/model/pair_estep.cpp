#include "model/pair_estep.h"

#include <cmath>

namespace orthomix {

void prepareDensityForms(const std::vector<ClusterParameters>& parameters, std::vector<ClusterDensityForm>& forms) {
    forms.resize(parameters.size());
    for (std::size_t c = 0; c < parameters.size(); ++c) {
        const ClusterParameters& p = parameters[c];
        ClusterDensityForm& form = forms[c];
        form.mean = p.mean;
        form.negTwoVariance.assign(p.variance.size(), 0.0);
        form.normaliser.assign(p.variance.size(), 0.0);
        form.activeColumns.clear();
        form.finite = true;
        for (std::size_t i = 0; i < p.variance.size(); ++i) {
            const double v = p.variance[i];
            if (!(v >= 0.0) || !std::isfinite(v) || !std::isfinite(p.mean[i])) form.finite = false;
            if (v == 0.0) continue;
            form.negTwoVariance[i] = -2.0 * v;
            form.normaliser[i] = std::sqrt(kTwoPi * v);
            form.activeColumns.push_back(i);
        }
    }
}

double preparedDensity(const double* x, const ClusterDensityForm& form, bool xFinite) {
    const bool stopAtZero = xFinite && form.finite;
    double result = 1.0;
    for (const std::size_t i : form.activeColumns) {
        const double d = x[i] - form.mean[i];
        result *= std::exp((d * d) / form.negTwoVariance[i]) / form.normaliser[i];
        if (stopAtZero && result == 0.0) return 0.0;
    }
    return result;
}

void assignPairLabels(OrthologPairRecord& record, double best, int bestRow, int bestColumn, double scatterPosterior,
                      int kHm, int kMs) {
    // A tie with the scatter posterior goes to the cell; NaN goes to scatter.
    if (!(best >= scatterPosterior)) {
        record.humanGene->clusterIndex = kHm;
        record.mouseGene->clusterIndex = kMs;
    } else if (bestRow != -1 && bestColumn != -1) {
        record.humanGene->clusterIndex = bestRow;
        record.mouseGene->clusterIndex = bestColumn;
    }
}

double pairEStep(const PairTable& pairTable, const double* humanDensities, const double* mouseDensities,
                 double scatterTerm, OrthologPairRecord& record, double* joint, double* posterior) {
    const int kHm = pairTable.rows;
    const int kMs = pairTable.cols;
    double total = 0.0;
    for (int i = 0; i < kHm; ++i) {
        const double* tableRow = &pairTable.cells[static_cast<std::size_t>(i) * kMs];
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
    double* rowSums = record.posteriorRowSums;
    double* columnSums = record.posteriorColumnSums;
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

    assignPairLabels(record, best, bestRow, bestColumn, scatterPosterior, kHm, kMs);
    return total;
}

double pairEStep(const PairTable& pairTable, OrthologPairRecord& record, int kHm, int kMs,
                 const std::vector<ClusterParameters>& humanClusterParams,
                 const std::vector<ClusterParameters>& mouseClusterParams, double scatterProbability,
                 double humanScatterDensity, double mouseScatterDensity, double* posterior) {
    std::vector<double> f(static_cast<std::size_t>(kHm));
    std::vector<double> g(static_cast<std::size_t>(kMs));
    for (int i = 0; i < kHm; ++i) {
        f[i] = gaussianDensity(record.humanGene->expression, humanClusterParams[i].mean, humanClusterParams[i].variance);
    }
    for (int j = 0; j < kMs; ++j) {
        g[j] = gaussianDensity(record.mouseGene->expression, mouseClusterParams[j].mean, mouseClusterParams[j].variance);
    }
    std::vector<double> joint(static_cast<std::size_t>(kHm) * kMs);
    PairTable table;
    table.reset(kHm, kMs);
    for (int i = 0; i < kHm; ++i) {
        for (int j = 0; j < kMs; ++j) table.at(i, j) = pairTable.at(i, j);
    }
    const double scatterTerm = (scatterProbability * humanScatterDensity) * mouseScatterDensity;
    return pairEStep(table, f.data(), g.data(), scatterTerm, record, joint.data(), posterior);
}

}  // namespace orthomix
