#pragma once

#include <string>

namespace orthomix {

// The text of --help.
std::string usageText();

}  // namespace orthomix
