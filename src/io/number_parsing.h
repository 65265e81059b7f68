#pragma once

#include <cstdint>
#include <string_view>

namespace orthomix {

// The C library's atof rule restricted to decimal numbers: leading white space,
// an optional sign, digits with an optional decimal point, an optional
// exponent. The longest such prefix is converted (correctly rounded) and the
// rest ignored; text without one gives 0.0 and clears *isNumber when given.
// "inf", "nan" and hexadecimal forms are not numbers here.
double parseDecimalPrefix(std::string_view text, bool* isNumber = nullptr);

// The atoi rule: leading white space, an optional sign, decimal digits; 0 when
// there are none. Values beyond the 32-bit range saturate.
std::int32_t parseIntegerPrefix(std::string_view text);

// Length of the longest decimal prefix (after white space) that parseDecimalPrefix
// converts, counted from the start of text; 0 when there is none.
std::size_t decimalPrefixLength(std::string_view text);

}  // namespace orthomix
