#include "numeric/gamma_function.h"

#include <cmath>
#include <limits>

namespace orthomix {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

// Below this argument logGamma moves up by Gamma(x + 1) = x Gamma(x) first:
// from 15 on, the asymptotic series below is exact to the last bit.
constexpr double kAsymptoticFrom = 15.0;

// Factorials up to this are computed as exact products.
constexpr double kExactFactorials = 20.0;

// Iteration cap of the series and the continued fraction. Both converge in
// about sqrt(a) steps near x = a, far fewer elsewhere; the cap only stops a
// runaway loop on arguments the tool never produces (a beyond 10^9).
constexpr int kMaxTerms = 1000000;

// Stirling's asymptotic series of ln Gamma(x) for x >= kAsymptoticFrom.
double logGammaAsymptotic(double x) {
    const double halfLogTwoPi = 0.91893853320467274178;  // ln(2 pi) / 2
    const double inverse = 1.0 / x;
    const double inverseSquared = inverse * inverse;
    // Coefficients B_2n / (2n (2n - 1)) with the Bernoulli numbers B_2n, n = 1..7,
    // evaluated from the innermost term outwards.
    double series = 1.0 / 156.0;
    series = series * inverseSquared - 691.0 / 360360.0;
    series = series * inverseSquared + 1.0 / 1188.0;
    series = series * inverseSquared - 1.0 / 1680.0;
    series = series * inverseSquared + 1.0 / 1260.0;
    series = series * inverseSquared - 1.0 / 360.0;
    series = series * inverseSquared + 1.0 / 12.0;
    return (x - 0.5) * std::log(x) - x + halfLogTwoPi + series * inverse;
}

// P(a, x) by its power series; meant for x < a + 1, where it converges fast.
double lowerBySeries(double a, double x, double logPrefactor) {
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n < kMaxTerms; ++n) {
        term *= x / (a + n);
        sum += term;
        if (term < sum * kEpsilon) break;
    }
    return std::exp(logPrefactor - logGamma(a + 1.0) + std::log(sum));
}

// Q(a, x) by its continued fraction (modified Lentz evaluation); meant for
// x >= a + 1.
double upperByContinuedFraction(double a, double x, double logPrefactor) {
    const double tiny = std::numeric_limits<double>::min() / kEpsilon;
    double b = x + 1.0 - a;
    double c = 1.0 / tiny;
    double d = 1.0 / b;
    double fraction = d;
    for (int i = 1; i < kMaxTerms; ++i) {
        const double numerator = -i * (i - a);
        b += 2.0;
        d = numerator * d + b;
        if (std::fabs(d) < tiny) d = tiny;
        c = b + numerator / c;
        if (std::fabs(c) < tiny) c = tiny;
        d = 1.0 / d;
        const double step = d * c;
        fraction *= step;
        if (std::fabs(step - 1.0) < kEpsilon) break;
    }
    return std::exp(logPrefactor - logGamma(a) + std::log(fraction));
}

}  // namespace

double logGamma(double x) {
    if (!(x > 0.0)) return kNaN;
    if (std::isinf(x)) return x;
    double product = 1.0;
    while (x < kAsymptoticFrom) {
        product *= x;
        x += 1.0;
    }
    return logGammaAsymptotic(x) - std::log(product);
}

double logFactorial(double n) {
    // Up to 20! the product is exact in a double, and ln 0! = ln 1! = 0
    // exactly, as counts of nothing should be.
    if (n >= 0.0 && n <= kExactFactorials && n == std::floor(n)) {
        double product = 1.0;
        for (double i = 2.0; i <= n; i += 1.0) product *= i;
        return std::log(product);
    }
    return logGamma(n + 1.0);
}

double upperRegularisedGamma(double a, double x) {
    if (!(a > 0.0) || !(x >= 0.0)) return kNaN;
    if (x == 0.0) return 1.0;
    if (std::isinf(x)) return 0.0;
    // x^a e^-x, the factor both expansions share, kept as a logarithm so that
    // tails far below the smallest normal double are not lost on the way.
    const double logPrefactor = a * std::log(x) - x;
    if (x < a + 1.0) return 1.0 - lowerBySeries(a, x, logPrefactor);
    return upperByContinuedFraction(a, x, logPrefactor);
}

double chiSquareUpperTail(double statistic, double degreesOfFreedom) {
    if (!(degreesOfFreedom > 0.0) || std::isnan(statistic)) return kNaN;
    if (statistic <= 0.0) return 1.0;
    return upperRegularisedGamma(degreesOfFreedom / 2.0, statistic / 2.0);
}

}  // namespace orthomix
