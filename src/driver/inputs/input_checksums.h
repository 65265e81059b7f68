#pragma once

#include <optional>
#include <string>
#include <vector>

#include "driver/settings/settings.h"
#include "support/error.h"

namespace orthomix {

// The checksum of one input file, under the key that names it. None for a
// file that is not regular.
struct InputChecksum {
    std::string key;
    std::optional<std::string> checksum;
};

// One checksum per input file the settings name, in table order, so that
// results can be told to come from the same data.
Result<std::vector<InputChecksum>> inputChecksums(const ParameterSetting& settings);

}  // namespace orthomix
