#include "model/preprocessing.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace orthomix {
namespace {

// The two-pass form over values / scale.
GeneStatistics scaledStatistics(const double* values, std::size_t count, double scale) {
    GeneStatistics statistics;
    statistics.scale = scale;
    const double n = static_cast<double>(count);
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) sum += values[i] / scale;
    statistics.mean = sum / n;
    double squares = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double deviation = values[i] / scale - statistics.mean;
        squares += deviation * deviation;
    }
    statistics.standardDeviation = std::sqrt(squares / n);
    return statistics;
}

}  // namespace

GeneStatistics geneStatistics(const double* values, std::size_t count) {
    if (count == 0) return {};
    GeneStatistics statistics = scaledStatistics(values, count, 1.0);
    const bool overflowed = !std::isfinite(statistics.mean) || !std::isfinite(statistics.standardDeviation);
    if (!overflowed && statistics.standardDeviation > 0.0) return statistics;
    // The plain form is kept wherever it works, so that ordinary data give the same bits as always.
    double largest = 0.0;
    double smallest = values[0];
    double greatest = values[0];
    for (std::size_t i = 0; i < count; ++i) {
        largest = std::fmax(largest, std::fabs(values[i]));
        smallest = std::fmin(smallest, values[i]);
        greatest = std::fmax(greatest, values[i]);
    }
    const bool varies = smallest != greatest;
    if (!std::isfinite(largest) || largest == 0.0 || (!overflowed && !varies)) return statistics;
    GeneStatistics scaled = scaledStatistics(values, count, largest);
    scaled.mean *= largest;
    scaled.standardDeviation *= largest;
    return scaled;
}

namespace {

// Keeps the `most` candidates of largest standard deviation, in their order;
// of equal deviations the earlier candidate stays.
std::vector<std::size_t> mostVariable(const std::vector<std::size_t>& candidates,
                                      const std::vector<double>& deviations, std::size_t most) {
    if (candidates.size() <= most) return candidates;
    std::vector<std::size_t> order(candidates.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return deviations[a] > deviations[b]; });
    order.resize(most);
    std::sort(order.begin(), order.end());
    std::vector<std::size_t> kept;
    kept.reserve(most);
    for (const std::size_t i : order) kept.push_back(candidates[i]);
    return kept;
}

}  // namespace

PreprocessedOrganism preprocessOrganism(const OrganismData& organism, double cvThreshold, double exprThreshold,
                                        const VarianceFilter& variance) {
    const std::size_t columns = organism.expression.columns();
    PreprocessedOrganism result;
    PreprocessingCounts& counts = result.counts;
    OrganismData& kept = result.data;
    counts.read = organism.geneCount();
    kept.sampleNames = organism.sampleNames;
    kept.expression = ExpressionMatrix(0, columns);
    // The genes that pass every test, with their statistics.
    std::vector<std::size_t> passing;
    std::vector<GeneStatistics> passingStatistics;
    std::vector<double> deviations;
    for (std::size_t g = 0; g < organism.geneCount(); ++g) {
        if (columns == 0) break;
        const double* values = organism.expression.row(g);
        const GeneStatistics statistics = geneStatistics(values, columns);
        if (!std::isfinite(statistics.mean) || !std::isfinite(statistics.standardDeviation)) {
            ++counts.notFinite;
            continue;
        }
        // A constant gene would standardise to 0/0.
        if (!(statistics.standardDeviation > 0.0)) {
            ++counts.constant;
            continue;
        }
        // The sign of the mean is kept: a negative mean fails a positive threshold.
        const double variation = statistics.standardDeviation / statistics.mean;
        double maximum = values[0];
        for (std::size_t i = 0; i < columns; ++i) {
            if (values[i] > maximum) maximum = values[i];
        }
        // NaN fails every comparison.
        const bool variationPasses = variation >= cvThreshold;
        const bool maximumPasses = maximum >= exprThreshold;
        const bool deviationPasses =
            !variance.minDeviation || statistics.standardDeviation >= *variance.minDeviation;
        if (!variationPasses) ++counts.belowVariation;
        if (!maximumPasses) ++counts.belowMaximum;
        if (!deviationPasses) ++counts.belowDeviation;
        if (!variationPasses || !maximumPasses || !deviationPasses) continue;
        passing.push_back(g);
        passingStatistics.push_back(statistics);
        deviations.push_back(statistics.standardDeviation);
    }
    std::vector<std::size_t> chosen(passing.size());
    for (std::size_t i = 0; i < chosen.size(); ++i) chosen[i] = i;
    if (variance.mostVariable) chosen = mostVariable(chosen, deviations, *variance.mostVariable);
    counts.beyondTop = passing.size() - chosen.size();

    // Room for every kept gene at once: growing row by row copied the matrix over and over.
    kept.expression.reserveRows(chosen.size());
    kept.identifiers.reserve(chosen.size());
    kept.annotations.reserve(chosen.size());
    std::vector<double> standardised(columns);
    for (const std::size_t i : chosen) {
        const std::size_t g = passing[i];
        const double* values = organism.expression.row(g);
        const GeneStatistics& statistics = passingStatistics[i];
        if (statistics.scale == 1.0) {
            for (std::size_t c = 0; c < columns; ++c) {
                standardised[c] = (values[c] - statistics.mean) / statistics.standardDeviation;
            }
        } else {
            // values[c] - mean could overflow; the scaled values cannot.
            const double scale = statistics.scale;
            const double mean = statistics.mean / scale;
            const double deviation = statistics.standardDeviation / scale;
            for (std::size_t c = 0; c < columns; ++c) standardised[c] = (values[c] / scale - mean) / deviation;
        }
        kept.expression.appendRow(standardised.data());
        kept.identifiers.push_back(organism.identifiers[g]);
        kept.annotations.push_back(organism.annotations[g]);
    }
    counts.kept = kept.geneCount();
    return result;
}

}  // namespace orthomix
