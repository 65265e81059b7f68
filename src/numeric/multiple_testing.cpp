#include "numeric/multiple_testing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>

namespace orthomix {

std::vector<double> benjaminiHochbergQValues(const std::vector<double>& pValues) {
    std::vector<double> qValues(pValues.size(), std::numeric_limits<double>::quiet_NaN());
    std::vector<std::size_t> ranked;
    ranked.reserve(pValues.size());
    for (std::size_t i = 0; i < pValues.size(); ++i) {
        if (!std::isnan(pValues[i])) ranked.push_back(i);
    }
    // Ties keep the input order, so the order of the walk below is fixed.
    std::stable_sort(ranked.begin(), ranked.end(),
                     [&](std::size_t a, std::size_t b) { return pValues[a] < pValues[b]; });
    const double tests = static_cast<double>(ranked.size());
    double running = 1.0;
    for (std::size_t r = ranked.size(); r > 0; --r) {
        const std::size_t index = ranked[r - 1];
        running = std::min(running, pValues[index] * tests / static_cast<double>(r));
        qValues[index] = running;
    }
    return qValues;
}

}  // namespace orthomix
