#pragma once

#include <map>
#include <string>
#include <string_view>

#include "support/error.h"

namespace orthomix {

// The key = value lines of a parameter file: the first "=" separates key and
// value, blanks, tabs and carriage returns around both are dropped, lines
// without "=" are ignored and the last line of a key wins.
using ParameterTable = std::map<std::string, std::string>;

ParameterTable parseParameterText(std::string_view text);

// Reads the file; "Cannot open <path>" when it cannot be read (a folder included).
Result<ParameterTable> readParameterTable(const std::string& path);

}  // namespace orthomix
