#pragma once

#include <string>

namespace orthomix {

// The text of --help: the command line and every parameter-file key.
std::string usageText();

}  // namespace orthomix
