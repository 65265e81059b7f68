#include "support/number_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace orthomix {
namespace {

// Powers of ten that are doubles exactly: a product or quotient by one of
// them is rounded once.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLargestExactPower = 22;

// Powers of ten (the doubles nearest them) to guess a decimal exponent with;
// the guess is checked, so it need not be exact.
constexpr int kSmallestTabledPower = -17;
constexpr int kLargestTabledPower = 28;
constexpr double kPowersOfTen[] = {1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6,
                                   1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,  1e4,  1e5,  1e6,
                                   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,  1e15, 1e16, 1e17, 1e18,
                                   1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,  1e27, 1e28};

// |value| * 10^(5 - exponent), rounded once; false when the power is not exact.
bool sixDigitScale(double magnitude, int exponent, double& scaled) {
    const int power = 5 - exponent;
    if (power > kLargestExactPower || -power > kLargestExactPower) return false;
    scaled = power >= 0 ? magnitude * kExactPowersOfTen[power] : magnitude / kExactPowersOfTen[-power];
    return true;
}

// The six significant digits of |value| and its decimal exponent, when they
// are certain. The scaled value is within a ten-billionth of the exact
// product, so its rounding to an integer is certain unless its fraction
// lies within a millionth of one half; those rare values, ties among them,
// are left to the exact formatter, as is everything out of the range of
// exact powers of ten.
bool sixSignificantDigits(double magnitude, std::uint32_t& digits, int& exponent) {
    constexpr double kUncertain = 1e-6;
    const int binaryExponent = static_cast<int>((std::bit_cast<std::uint64_t>(magnitude) >> 52) & 0x7ff) - 1023;
    // floor(binaryExponent * log10(2)) for every exponent of a double; then
    // 10^exponent <= magnitude < 10^(exponent + 1) holds for this guess or the next.
    exponent = (binaryExponent * 78913) >> 18;
    if (exponent + 1 >= kSmallestTabledPower && exponent + 1 <= kLargestTabledPower &&
        magnitude >= kPowersOfTen[exponent + 1 - kSmallestTabledPower]) {
        ++exponent;
    }
    for (int tries = 0; tries < 3; ++tries) {
        double scaled = 0.0;
        if (!sixDigitScale(magnitude, exponent, scaled)) return false;
        // scaled is below 10^7 here: truncation is its floor. The rounding
        // up is added as a number, not taken as a branch: it is as good as
        // random.
        const auto whole = static_cast<std::int64_t>(scaled);
        const double fraction = scaled - static_cast<double>(whole);
        if (std::fabs(fraction - 0.5) < kUncertain) return false;
        const std::int64_t rounded = whole + static_cast<std::int64_t>(fraction > 0.5);
        if (rounded < 100000) {
            --exponent;
        } else if (rounded >= 1000000) {
            ++exponent;
        } else {
            digits = static_cast<std::uint32_t>(rounded);
            return true;
        }
    }
    return false;
}

// "00" to "99", for writing two digits at once.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

static_assert(std::endian::native == std::endian::little, "digits are placed in words by little-endian stores");

// The six digits of 100000 <= digits < 1000000 as characters in the low
// six bytes of a word, the first digit in the lowest byte (the order in
// which a little-endian store writes them).
std::uint64_t sixDigitCharacters(std::uint32_t digits) {
    const std::uint32_t high = digits / 10000;
    const std::uint32_t rest = digits % 10000;
    std::uint16_t pairs[3];
    std::memcpy(&pairs[0], kDigitPairs + 2 * high, 2);
    std::memcpy(&pairs[1], kDigitPairs + 2 * (rest / 100), 2);
    std::memcpy(&pairs[2], kDigitPairs + 2 * (rest % 100), 2);
    return std::uint64_t{pairs[0]} | std::uint64_t{pairs[1]} << 16 | std::uint64_t{pairs[2]} << 32;
}

// Index of the last of the six digits that is not a trailing zero: the
// highest byte that differs from '0' (the first digit always does).
int lastSignificantDigit(std::uint64_t characters) {
    constexpr std::uint64_t kSixZeros = 0x303030303030;
    return (63 - std::countl_zero(characters ^ kSixZeros)) / 8;
}

// Bytes [0, count) of a word, for count from 1 to 7.
std::uint64_t lowBytes(std::uint64_t word, int count) { return word & ((std::uint64_t{1} << (8 * count)) - 1); }

// printf's %g of sign * digits * 10^(exponent - 5): fixed notation for
// exponents from -4 to 5, scientific otherwise; trailing zeros of the
// fraction go, and the point with them. The fixed forms are put together in
// a word and stored whole, the point placed by shifts: which form a value
// takes is as good as random, and a branch or a loop per character costs
// more than the characters. (Reading back characters just stored one by
// one would wait for the stores.)
std::size_t formatSixDigits(bool negative, std::uint32_t digits, int exponent, char* out) {
    char* cursor = out;
    *cursor = '-';
    cursor += negative ? 1 : 0;
    const std::uint64_t characters = sixDigitCharacters(digits);
    const int last = lastSignificantDigit(characters);
    if (exponent < -4 || exponent >= 6) {
        char text[8];
        std::memcpy(text, &characters, sizeof text);
        *cursor++ = text[0];
        if (last > 0) {
            *cursor++ = '.';
            for (int i = 1; i <= last; ++i) *cursor++ = text[i];
        }
        *cursor++ = 'e';
        *cursor++ = exponent < 0 ? '-' : '+';
        const int size = exponent < 0 ? -exponent : exponent;
        if (size >= 100) {
            *cursor++ = static_cast<char>('0' + size / 100);
        }
        std::memcpy(cursor, kDigitPairs + 2 * (size % 100), 2);
        return static_cast<std::size_t>(cursor + 2 - out);
    }
    const std::size_t sign = static_cast<std::size_t>(cursor - out);
    if (exponent >= 0) {
        // exponent + 1 whole digits, the point, then the rest: the point is
        // written even when no digit follows it, and not counted.
        const int whole = exponent + 1;
        const std::uint64_t text = lowBytes(characters, whole) | std::uint64_t{'.'} << (8 * whole) |
                                   (characters >> (8 * whole)) << (8 * whole + 8);
        std::memcpy(cursor, &text, sizeof text);
        const int fraction = last - exponent;
        return sign + static_cast<std::size_t>(fraction > 0 ? whole + 1 + fraction : whole);
    }
    // "0.", -exponent - 1 zeros, then the digits down to the last that counts.
    static constexpr char kZeroPoint[8] = {'0', '.', '0', '0', '0', '0', '0', '0'};
    std::memcpy(cursor, kZeroPoint, sizeof kZeroPoint);
    std::memcpy(cursor + 1 - exponent, &characters, sizeof characters);
    return sign + static_cast<std::size_t>(2 - exponent + last);
}

}  // namespace

std::size_t formatGeneral6(double value, char* out) {
    // Most values take the short path above; the rest, to_chars with a
    // precision, formats exactly as printf's %.6g.
    if (std::isfinite(value) && value != 0.0) {
        std::uint32_t digits = 0;
        int exponent = 0;
        if (sixSignificantDigits(std::fabs(value), digits, exponent)) {
            return formatSixDigits(value < 0.0, digits, exponent, out);
        }
    }
    if (std::isfinite(value)) {
        const auto result = std::to_chars(out, out + 31, value, std::chars_format::general, 6);
        if (result.ec == std::errc()) return static_cast<std::size_t>(result.ptr - out);
    }
    return static_cast<std::size_t>(std::snprintf(out, 32, "%g", value));
}

std::string formatNumber(double value) {
    char buffer[32];
    return std::string(buffer, formatGeneral6(value, buffer));
}

std::string formatRoundTrip(double value) {
    if (!std::isfinite(value)) return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace orthomix
