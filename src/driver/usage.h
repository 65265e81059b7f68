#pragma once

#include <string>

namespace orthomix {

// The one-line synopsis of the command line.
std::string usageLine();

// The text of --help: the command line and every parameter-file key.
std::string usageText();

}  // namespace orthomix
