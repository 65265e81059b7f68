#include "model/densities.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "driver/fatal.h"

namespace orthomix {
namespace {

[[noreturn]] void failMeanVarianceLength(const std::vector<double>& mean,
                                         const std::vector<double>& variance) {
    // The values go to standard output for inspection; a batch job must not
    // wait for input afterwards.
    std::string line;
    char buffer[64];
    for (double value : mean) {
        std::snprintf(buffer, sizeof buffer, "%g\t", value);
        line += buffer;
    }
    for (double value : variance) {
        std::snprintf(buffer, sizeof buffer, "%g\t", value);
        line += buffer;
    }
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    fatalError(" a vector's mean and var must have same length");
}

}  // namespace

double gaussianDensity(const std::vector<double>& x, const std::vector<double>& mean,
                       const std::vector<double>& variance) {
    if (mean.size() != variance.size() || x.size() > mean.size()) failMeanVarianceLength(mean, variance);
    double result = 1.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double v = variance[i];
        if (v == 0.0) continue;
        const double d = x[i] - mean[i];
        result *= std::exp((d * d) / (-2.0 * v)) / std::sqrt(kTwoPi * v);
    }
    return result;
}

double euclideanDistance(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) fatalError("Two vectors have different sizes. ");
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = a[i] - b[i];
        sum += d * d;
    }
    return std::sqrt(sum);
}

double scatterDensity(const std::vector<GeneRecord*>& genes) {
    if (genes.empty()) return 1.0;
    const std::size_t columns = genes.front()->expression.size();
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::vector<double> lo(columns, inf);
    std::vector<double> hi(columns, -inf);
    for (const GeneRecord* gene : genes) {
        const double* values = gene->expression.data();
        for (std::size_t i = 0; i < columns; ++i) {
            if (values[i] < lo[i]) lo[i] = values[i];
            if (values[i] > hi[i]) hi[i] = values[i];
        }
    }
    double u = 1.0;
    for (std::size_t i = 0; i < columns; ++i) {
        // A constant column spans no width; dividing by it would make every
        // pair scatter.
        if (!(hi[i] > lo[i])) continue;
        u = u / (hi[i] - lo[i]);
    }
    return std::sqrt(u);
}

std::pair<double, double> scatterDensities(const std::vector<GeneRecord*>& humanGenes,
                                           const std::vector<GeneRecord*>& mouseGenes) {
    return {scatterDensity(humanGenes), scatterDensity(mouseGenes)};
}

}  // namespace orthomix
