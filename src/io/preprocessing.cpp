#include "io/preprocessing.h"

#include <cmath>
#include <cstddef>

namespace orthomix {

GeneStatistics geneStatistics(const std::vector<double>& values) {
    GeneStatistics statistics;
    if (values.empty()) return statistics;
    const double count = static_cast<double>(values.size());
    double sum = 0.0;
    for (const double x : values) sum += x;
    statistics.mean = sum / count;
    double squares = 0.0;
    for (const double x : values) squares += (x - statistics.mean) * (x - statistics.mean);
    statistics.standardDeviation = std::sqrt(squares / count);
    return statistics;
}

void GeneFilter::filterByThresholds() {
    std::size_t kept = 0;
    for (GeneRecord* gene : genes) {
        const std::vector<double>& values = gene->expression;
        if (values.empty()) continue;
        const GeneStatistics statistics = geneStatistics(values);
        // The sign of the mean is kept: a negative mean fails a positive threshold.
        const double variation = statistics.standardDeviation / statistics.mean;
        double maximum = values.front();
        for (const double x : values) {
            if (x > maximum) maximum = x;
        }
        // A constant gene would standardise to 0/0; NaN fails every comparison.
        const bool keep = variation >= cvThreshold && maximum >= exprThreshold && statistics.standardDeviation > 0.0;
        if (keep) genes[kept++] = gene;
    }
    genes.resize(kept);
}

void GeneFilter::standardise() {
    for (GeneRecord* gene : genes) {
        const GeneStatistics statistics = geneStatistics(gene->expression);
        for (double& x : gene->expression) x = (x - statistics.mean) / statistics.standardDeviation;
    }
}

}  // namespace orthomix
