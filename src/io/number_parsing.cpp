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

}  // namespace

std::size_t decimalPrefixLength(std::string_view text) {
    std::size_t pos = skipSpace(text);
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    std::size_t digits = 0;
    while (pos < text.size() && isDigit(text[pos])) ++pos, ++digits;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && isDigit(text[pos])) ++pos, ++digits;
    }
    if (digits == 0) return 0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t exponent = pos + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
        if (exponent < text.size() && isDigit(text[exponent])) {
            while (exponent < text.size() && isDigit(text[exponent])) ++exponent;
            pos = exponent;
        }
    }
    return pos;
}

double parseDecimalPrefix(std::string_view text, bool* isNumber) {
    const std::size_t end = decimalPrefixLength(text);
    if (isNumber) *isNumber = end != 0;
    if (end == 0) return 0.0;
    std::size_t start = skipSpace(text);
    bool negative = false;
    if (text[start] == '+' || text[start] == '-') {
        negative = text[start] == '-';
        ++start;
    }
    double value = 0.0;
    const char* first = text.data() + start;
    const char* last = text.data() + end;
    const auto [ptr, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error != std::errc() || ptr != last) {
        // Overflow and underflow: fall back to strtod, which gives the C
        // library's infinity or (sub)normal result.
        const std::string copy(first, last);
        value = std::strtod(copy.c_str(), nullptr);
    }
    return negative ? -value : value;
}

std::int32_t parseIntegerPrefix(std::string_view text) {
    std::size_t pos = skipSpace(text);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    constexpr std::int64_t limit = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t value = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        value = value * 10 + (text[pos] - '0');
        if (value > limit) value = limit;
        ++pos;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

}  // namespace orthomix
