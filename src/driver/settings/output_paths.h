#pragma once

#include <string>

#include "driver/settings/settings.h"
#include "support/error.h"

namespace orthomix {

// Before any work: no output may lead to an input (a data, annotation or
// ortholog file, or the parameter file itself) nor to the file of another
// output, whether the two paths are written alike or reach the same file on
// disk through links, "." and "..", or hard links. The message names both
// keys (or the parameter file) and the parameter file.
Status checkOutputPaths(const ParameterSetting& settings, const std::string& parameterPath);

// Before the first repetition: every output's folder is created when missing
// and checked to be writable, and an existing output file to be a file the
// user may replace, so that a run never works for nothing.
Status prepareOutputLocations(const ParameterSetting& settings);

}  // namespace orthomix
