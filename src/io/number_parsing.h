#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orthomix {

// The C library's atof rule restricted to decimal numbers: leading white space,
// an optional sign, digits with an optional decimal point, an optional
// exponent. The longest such prefix is converted (correctly rounded) and the
// rest ignored; text without one gives 0.0 and clears *isNumber when given.
// "inf", "nan" and hexadecimal forms are not numbers here.
double parseDecimalPrefix(std::string_view text, bool* isNumber = nullptr);

// The atoi rule: leading white space, an optional sign, decimal digits, the
// rest ignored; 0 when there are none. The magnitude saturates at 2^40, far
// outside every range a setting accepts, so that a caller can tell.
struct WholeNumberPrefix {
    static constexpr std::int64_t kSaturation = std::int64_t{1} << 40;
    std::int64_t value = 0;
    bool hasDigits = false;
    std::size_t end = 0;  // position after the last digit; 0 without digits
};
WholeNumberPrefix parseWholeNumberPrefix(std::string_view text);

// parseWholeNumberPrefix clamped to the 32-bit range.
std::int32_t parseIntegerPrefix(std::string_view text);

// Length of the longest decimal prefix (after white space) that parseDecimalPrefix
// converts, counted from the start of text; 0 when there is none.
std::size_t decimalPrefixLength(std::string_view text);

}  // namespace orthomix
