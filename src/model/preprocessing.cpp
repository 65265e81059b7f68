#include "model/preprocessing.h"

#include <cmath>

namespace orthomix {

GeneStatistics geneStatistics(const double* values, std::size_t count) {
    GeneStatistics statistics;
    if (count == 0) return statistics;
    const double n = static_cast<double>(count);
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) sum += values[i];
    statistics.mean = sum / n;
    double squares = 0.0;
    for (std::size_t i = 0; i < count; ++i) squares += (values[i] - statistics.mean) * (values[i] - statistics.mean);
    statistics.standardDeviation = std::sqrt(squares / n);
    return statistics;
}

OrganismData preprocessOrganism(const OrganismData& organism, double cvThreshold, double exprThreshold) {
    const std::size_t columns = organism.expression.columns();
    OrganismData kept;
    kept.sampleNames = organism.sampleNames;
    kept.expression = ExpressionMatrix(0, columns);
    std::vector<double> standardised(columns);
    for (std::size_t g = 0; g < organism.geneCount(); ++g) {
        if (columns == 0) break;
        const double* values = organism.expression.row(g);
        const GeneStatistics statistics = geneStatistics(values, columns);
        // The sign of the mean is kept: a negative mean fails a positive threshold.
        const double variation = statistics.standardDeviation / statistics.mean;
        double maximum = values[0];
        for (std::size_t i = 0; i < columns; ++i) {
            if (values[i] > maximum) maximum = values[i];
        }
        // A constant gene would standardise to 0/0; NaN fails every comparison.
        const bool keep = variation >= cvThreshold && maximum >= exprThreshold && statistics.standardDeviation > 0.0;
        if (!keep) continue;
        for (std::size_t i = 0; i < columns; ++i) {
            standardised[i] = (values[i] - statistics.mean) / statistics.standardDeviation;
        }
        kept.expression.appendRow(standardised.data());
        kept.identifiers.push_back(organism.identifiers[g]);
        kept.annotations.push_back(organism.annotations[g]);
    }
    return kept;
}

}  // namespace orthomix
