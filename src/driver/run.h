#pragma once

#include <cstdint>
#include <string>

#include "driver/run_record.h"
#include "support/error.h"
#include "support/reporter.h"

namespace orthomix {

// The whole run, phase after phase: the parameter file, the expression,
// annotation and ortholog files, the check of the output folders,
// preprocessing, the repetitions with their report, and the result files.
// clockSeed seeds the generator unless the parameter file gives a seed.
// Console text goes to the reporter; what the run record shows is gathered in
// `record` as the phases pass, so that it also describes a failed run.
Status runOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter, RunRecord& record);

// What a run reads and checks, up to the ortholog pairs of the first
// repetition, followed by the summary of checkSummary on the reporter's
// lines; creates no folder and writes no file.
Status checkOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                     RunRecord& record);

}  // namespace orthomix
