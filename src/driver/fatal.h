#pragma once

#include <string_view>

namespace orthomix {

// Every fatal error of the tool ends here: the message and a line end go to
// standard error, then the process exits with status 1.
[[noreturn]] void fatalError(std::string_view message);

}  // namespace orthomix
