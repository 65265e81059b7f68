#pragma once

#include <string>
#include <string_view>

namespace orthomix {

// Writes a progress line to standard output and flushes it at once.
void printLine(std::string_view text);

// The stream's default floating-point form: %g with six significant digits.
std::string formatNumber(double value);

}  // namespace orthomix
