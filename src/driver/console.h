#pragma once

#include <string>
#include <string_view>

namespace orthomix {

// Writes a progress line to standard output and flushes it at once.
void printLine(std::string_view text);

// The stream's default floating-point form: %g with six significant digits.
std::string formatNumber(double value);

// The same form written into out (at least 32 bytes); returns the length.
std::size_t formatGeneral6(double value, char* out);

}  // namespace orthomix
