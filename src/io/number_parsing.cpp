#include "io/number_parsing.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

namespace orthomix {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipSpace(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isSpace(text[pos])) ++pos;
    return pos;
}

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;
constexpr std::uint64_t kMaxExactMantissa = std::uint64_t{1} << 53;
constexpr int kMaxMantissaDigits = 19;  // always fits in 64 bits
constexpr std::int64_t kExponentCap = 100000;  // far beyond any finite or non-zero double

// One pass over the longest decimal prefix: where its digits start and end,
// and, when it has at most 19 significant digits, mantissa * 10^exponent.
struct DecimalScan {
    std::size_t numberStart = 0;  // after white space and sign
    std::size_t end = 0;          // 0 when there is no number
    bool negative = false;
    bool mantissaComplete = true;
    std::uint64_t mantissa = 0;
    std::int64_t exponent = 0;
};

DecimalScan scanDecimal(std::string_view text) {
    DecimalScan scan;
    std::size_t pos = skipSpace(text);
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        scan.negative = text[pos] == '-';
        ++pos;
    }
    scan.numberStart = pos;
    int significantDigits = 0;
    std::size_t digits = 0;
    const auto takeDigit = [&](char c, bool fractional) {
        ++digits;
        if (scan.mantissa == 0 && c == '0') {
            if (fractional) --scan.exponent;
            return;
        }
        if (significantDigits < kMaxMantissaDigits) {
            scan.mantissa = scan.mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            ++significantDigits;
            if (fractional) --scan.exponent;
        } else {
            scan.mantissaComplete = false;
        }
    };
    while (pos < text.size() && isDigit(text[pos])) takeDigit(text[pos++], false);
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && isDigit(text[pos])) takeDigit(text[pos++], true);
    }
    if (digits == 0) return scan;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t exponentPos = pos + 1;
        bool exponentNegative = false;
        if (exponentPos < text.size() && (text[exponentPos] == '+' || text[exponentPos] == '-')) {
            exponentNegative = text[exponentPos] == '-';
            ++exponentPos;
        }
        if (exponentPos < text.size() && isDigit(text[exponentPos])) {
            std::int64_t written = 0;
            while (exponentPos < text.size() && isDigit(text[exponentPos])) {
                if (written < kExponentCap) written = written * 10 + (text[exponentPos] - '0');
                ++exponentPos;
            }
            scan.exponent += exponentNegative ? -written : written;
            pos = exponentPos;
        }
    }
    scan.end = pos;
    return scan;
}

}  // namespace

std::size_t decimalPrefixLength(std::string_view text) { return scanDecimal(text).end; }

double parseDecimalPrefix(std::string_view text, bool* isNumber) {
    const DecimalScan scan = scanDecimal(text);
    if (isNumber) *isNumber = scan.end != 0;
    if (scan.end == 0) return 0.0;
    double value = 0.0;
    if (scan.mantissaComplete && scan.mantissa == 0) {
        value = 0.0;
    } else if (scan.mantissaComplete && scan.mantissa <= kMaxExactMantissa && scan.exponent >= -kMaxExactPower &&
        scan.exponent <= kMaxExactPower) {
        // Mantissa and power are exact, so the one rounding of the product or
        // quotient gives the correctly rounded result, as the C library does.
        const double mantissa = static_cast<double>(scan.mantissa);
        value = scan.exponent < 0 ? mantissa / kExactPowersOfTen[-scan.exponent]
                                  : mantissa * kExactPowersOfTen[scan.exponent];
    } else {
        const char* first = text.data() + scan.numberStart;
        const char* last = text.data() + scan.end;
        const auto [ptr, error] = std::from_chars(first, last, value, std::chars_format::general);
        if (error != std::errc() || ptr != last) {
            // Overflow and underflow: strtod gives the C library's infinity or (sub)normal result.
            const std::string copy(first, last);
            value = std::strtod(copy.c_str(), nullptr);
        }
    }
    return scan.negative ? -value : value;
}

WholeNumberPrefix parseWholeNumberPrefix(std::string_view text) {
    WholeNumberPrefix number;
    std::size_t pos = skipSpace(text);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::int64_t magnitude = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        number.hasDigits = true;
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > WholeNumberPrefix::kSaturation) magnitude = WholeNumberPrefix::kSaturation;
        ++pos;
    }
    if (number.hasDigits) number.end = pos;
    number.value = negative ? -magnitude : magnitude;
    return number;
}

std::int32_t parseIntegerPrefix(std::string_view text) {
    const std::int64_t value = parseWholeNumberPrefix(text).value;
    constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value < lowest ? lowest : value > highest ? highest : value);
}

}  // namespace orthomix
