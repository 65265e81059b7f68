#pragma once

#include <cstdint>
#include <string>

#include "driver/control/interruption.h"
#include "driver/entry/fit.h"
#include "driver/results/run_record.h"
#include "support/error.h"
#include "support/reporter.h"

namespace orthomix {

// The run of the command line, phase after phase: the parameter file, the
// expression, annotation and ortholog files, the check of the output
// folders, the fit, and the result files. clockSeed seeds the generator
// unless the parameter file gives a seed. Console text goes to the reporter;
// each phase's values go to `record` as the phase ends, so that the record
// also describes a failed run. Memory that runs out ends the run with
// std::bad_alloc, once the record holds what the run reached.
Status runOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                   RunRecordBuilder& record);

// The same run for a front end that embeds it: `stop` may ask it to stop in
// place of the process's signals, and the outcome of the fit, once there is
// one, is moved to `fitted` (also when writing the results then fails).
Status runOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                   RunRecordBuilder& record, const StopToken& stop, std::optional<FitOutcome>& fitted);

}  // namespace orthomix
