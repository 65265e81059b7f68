#include "support/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace orthomix {

std::size_t formatGeneral6(double value, char* out) {
    // to_chars with a precision formats exactly as printf's %.6g, several times faster.
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
