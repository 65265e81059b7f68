#include "numeric/hypergeometric.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numeric/gamma_function.h"

namespace orthomix {
namespace {

bool consistent(const Hypergeometric& h) {
    return h.population >= 0 && h.successes >= 0 && h.draws >= 0 && h.successes <= h.population &&
           h.draws <= h.population;
}

std::int64_t lowestValue(const Hypergeometric& h) {
    return std::max<std::int64_t>(0, h.draws - (h.population - h.successes));
}

std::int64_t highestValue(const Hypergeometric& h) { return std::min(h.successes, h.draws); }

// The most probable value (the lower one of two equally probable values).
std::int64_t modeValue(const Hypergeometric& h) {
    const double numerator = static_cast<double>(h.draws + 1) * static_cast<double>(h.successes + 1);
    const auto mode = static_cast<std::int64_t>(std::floor(numerator / static_cast<double>(h.population + 2)));
    return std::clamp(mode, lowestValue(h), highestValue(h));
}

double logBinomial(std::int64_t n, std::int64_t k) {
    return logFactorial(static_cast<double>(n)) - logFactorial(static_cast<double>(k)) -
           logFactorial(static_cast<double>(n - k));
}

// P(X = x + 1) / P(X = x), a ratio of exact integers.
double ratioUp(const Hypergeometric& h, std::int64_t x) {
    const double numerator = static_cast<double>(h.successes - x) * static_cast<double>(h.draws - x);
    const double denominator =
        static_cast<double>(x + 1) * static_cast<double>(h.population - h.successes - h.draws + x + 1);
    return numerator / denominator;
}

// P(X = x - 1) / P(X = x).
double ratioDown(const Hypergeometric& h, std::int64_t x) { return 1.0 / ratioUp(h, x - 1); }

// Whether the terms left after one of size `term` can no longer change `sum`:
// beyond the mode the ratio of neighbouring terms falls monotonically, so the
// rest is below term * ratio / (1 - ratio).
bool restIsNegligible(double term, double ratio, double sum) {
    if (term == 0.0) return true;
    if (ratio >= 1.0) return false;
    return term * ratio / (1.0 - ratio) < sum * (std::numeric_limits<double>::epsilon() / 4.0);
}

// Sum of P(X = y) / P(X = start) for y from `start` away from the mode
// (upwards when `upwards`) to the end of the support, largest term first.
double relativeTailSum(const Hypergeometric& h, std::int64_t start, bool upwards) {
    const std::int64_t end = upwards ? highestValue(h) : lowestValue(h);
    double term = 1.0;
    double sum = 1.0;
    for (std::int64_t y = start; y != end; upwards ? ++y : --y) {
        const double ratio = upwards ? ratioUp(h, y) : ratioDown(h, y);
        term *= ratio;
        sum += term;
        if (restIsNegligible(term, ratio, sum)) break;
    }
    return sum;
}

}  // namespace

double hypergeometricLogProbability(const Hypergeometric& h, std::int64_t value) {
    if (!consistent(h)) return std::numeric_limits<double>::quiet_NaN();
    if (value < lowestValue(h) || value > highestValue(h)) return -std::numeric_limits<double>::infinity();
    return logBinomial(h.successes, value) + logBinomial(h.population - h.successes, h.draws - value) -
           logBinomial(h.population, h.draws);
}

double hypergeometricUpperTail(const Hypergeometric& h, std::int64_t value) {
    if (!consistent(h)) return std::numeric_limits<double>::quiet_NaN();
    if (value <= lowestValue(h)) return 1.0;
    if (value > highestValue(h)) return 0.0;
    // The terms are summed from the end nearer the mode outwards, where they
    // shrink. Above the mode that is the tail itself; at or below it the
    // lower tail P(X <= value - 1) is summed and taken from 1, which loses at
    // most a few digits because the upper tail holds the mode's probability,
    // at least 1 / (support size).
    if (value > modeValue(h)) {
        return std::exp(hypergeometricLogProbability(h, value) + std::log(relativeTailSum(h, value, true)));
    }
    const double lower =
        std::exp(hypergeometricLogProbability(h, value - 1) + std::log(relativeTailSum(h, value - 1, false)));
    return std::clamp(1.0 - lower, 0.0, 1.0);
}

}  // namespace orthomix
