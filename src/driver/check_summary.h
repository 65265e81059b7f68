#pragma once

#include <string>
#include <vector>

#include "driver/results/run_record.h"
#include "driver/settings/settings.h"
#include "records/dataset.h"
#include "support/error.h"

namespace orthomix {

// The twin of prepareOutputLocations that creates nothing: each output's
// nearest existing folder must be a writable folder, and an existing output
// file no folder and writable. The message is the one a run would give.
Status checkOutputLocations(const ParameterSetting& settings);

// The lines a check-only run ends with: per organism the genes read and kept
// and the samples, the ortholog pairs matched, and the files a run would write.
std::vector<std::string> checkSummary(const ParameterSetting& settings, const Dataset& data, const RunInputs& inputs);

}  // namespace orthomix
