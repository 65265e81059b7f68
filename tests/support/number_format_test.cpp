// The result files' number form must be printf's %.6g to the byte, whatever
// path a value takes through the formatter.
#include "support/number_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace orthomix {
namespace {

std::string printed(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    return buffer;
}

// Every mismatch, up to a few, with the value's exact digits.
void expectSameAsPrintf(const std::vector<double>& values) {
    int shown = 0;
    for (const double value : values) {
        const std::string expected = printed(value);
        const std::string actual = formatNumber(value);
        if (actual != expected && shown++ < 10) {
            ADD_FAILURE() << "value " << formatRoundTrip(value) << ": printf gives " << expected << ", got "
                          << actual;
        }
    }
}

TEST(FormatGeneral6, MatchesPrintfAtEveryBoundaryOfTheForm) {
    std::vector<double> values = {1.0, -1.0, 0.5, 0.1, 0.3, 2.0 / 3.0, 123456.0, 1234567.0, 999999.0, 999999.4,
                                  999999.5, 999999.6, 1e6, 1e5, 99999.95, 0.0001, 0.00001, 0.0000999995, 0.000099999,
                                  9.999995, 9.9999949, 9.99999500001, 1e21, 1e22, 1e23, 1e27, 1e28, 1e-17, 1e-18,
                                  1e-300, 1e300, 5e-324, std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::max(), 0.0, -0.0, 1.5, 2.5, 1234565.0, 1234575.0,
                                  0.1234565, 12345.65, -0.271447, 2.55512, -3.26313, 0.0726586};
    // Every power of ten and its neighbours, where the decimal exponent is guessed.
    for (int power = -30; power <= 30; ++power) {
        const double ten = std::pow(10.0, power);
        values.push_back(ten);
        values.push_back(std::nextafter(ten, 0.0));
        values.push_back(std::nextafter(ten, 1e308));
        values.push_back(-ten);
        // The largest value that rounds down to six nines, and the next.
        values.push_back(9.999994999 * ten);
        values.push_back(9.999995 * ten);
        values.push_back(9.999995000001 * ten);
    }
    expectSameAsPrintf(values);
}

TEST(FormatGeneral6, MatchesPrintfOnDecimalTiesAndRandomValues) {
    std::mt19937_64 generator(20261209);
    std::vector<double> values;
    // Seven-digit decimals whose last digit is 5 sit on or next to a rounding tie.
    std::uniform_int_distribution<int> sevenDigits(1000000, 9999999);
    std::uniform_int_distribution<int> exponents(-22, 22);
    for (int i = 0; i < 200000; ++i) {
        const int digits = sevenDigits(generator) / 10 * 10 + 5;
        values.push_back(static_cast<double>(digits) * std::pow(10.0, exponents(generator)));
    }
    // Values over the whole range of magnitudes, of both signs.
    std::uniform_real_distribution<double> logMagnitude(-40.0, 40.0);
    std::uniform_int_distribution<int> sign(0, 1);
    for (int i = 0; i < 500000; ++i) {
        const double value = std::pow(10.0, logMagnitude(generator));
        values.push_back(sign(generator) ? value : -value);
    }
    // Standardised expression values, the files' usual content.
    std::normal_distribution<double> standard(0.0, 1.5);
    for (int i = 0; i < 500000; ++i) values.push_back(standard(generator));
    // Arbitrary bit patterns, subnormals and NaNs among them.
    for (int i = 0; i < 200000; ++i) values.push_back(std::bit_cast<double>(generator()));
    expectSameAsPrintf(values);
}

TEST(FormatGeneral6, WritesNonFiniteValuesAsPrintf) {
    expectSameAsPrintf({std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()});
    const std::string nan = formatNumber(std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(nan == "nan" || nan == "-nan") << nan;
}

}  // namespace
}  // namespace orthomix
