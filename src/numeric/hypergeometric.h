#pragma once

#include <cstdint>

namespace orthomix {

// The hypergeometric distribution: the number of successes among `draws`
// items taken without replacement from `population` items of which
// `successes` are successes. Counts are non-negative, successes and draws at
// most the population.
struct Hypergeometric {
    std::int64_t population = 0;
    std::int64_t successes = 0;
    std::int64_t draws = 0;
};

// ln P(X = value); -infinity outside the support.
double hypergeometricLogProbability(const Hypergeometric& distribution, std::int64_t value);

// P(X >= value), the one-sided enrichment p-value of an observed count. 1 at
// or below the support's lowest value, 0 above its highest; tails down to the
// smallest subnormal double are returned, not rounded to 0. NaN when the
// counts are inconsistent.
double hypergeometricUpperTail(const Hypergeometric& distribution, std::int64_t value);

}  // namespace orthomix
