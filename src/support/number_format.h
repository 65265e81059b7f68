#pragma once

#include <cstddef>
#include <string>

namespace orthomix {

// The stream's default floating-point form: %g with six significant digits,
// the form of every number on the console and in the result files.
std::string formatNumber(double value);

// The same form written into out (at least 32 bytes); returns the length.
std::size_t formatGeneral6(double value, char* out);

// The shortest decimal form that reads back as the same double ("nan", "inf"
// and "-inf" for the others).
std::string formatRoundTrip(double value);

}  // namespace orthomix
