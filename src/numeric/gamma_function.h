#pragma once

namespace orthomix {

// Natural logarithm of the gamma function for x > 0 (NaN otherwise). Pure and
// free of shared state, unlike the C library's version, which records the sign
// in a global; safe to call from several threads.
double logGamma(double x);

// ln(n!) for n >= 0.
double logFactorial(double n);

// Q(a, x) = Gamma(a, x) / Gamma(a), the upper regularised incomplete gamma
// function, for a > 0 and x >= 0 (NaN otherwise). Values too small for a
// double become 0; representable ones, subnormal included, are kept.
double upperRegularisedGamma(double a, double x);

// P(X >= statistic) for X chi-square distributed with the given degrees of
// freedom (> 0); 1 for a statistic of 0 or below.
double chiSquareUpperTail(double statistic, double degreesOfFreedom);

}  // namespace orthomix
