#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "support/error.h"

namespace orthomix {

// A list longer than this is almost surely a typing slip (such as 5-5000); it
// would also take days to run.
inline constexpr std::size_t kMaxKValues = 1000;

// Reads a list of cluster counts such as "5, 8, 10-30:5": entries separated by
// commas, each a whole number or a range first-last with an optional step
// (10-30:5 is 10, 15, 20, 25, 30; a range whose step misses the end stops
// before it). Blanks around entries are ignored. Every value is at least 1.
// The values come back in ascending order, each once. The error says which
// entry is wrong and why, without naming the key.
Result<std::vector<std::int32_t>> parseKValueList(std::string_view text);

}  // namespace orthomix
