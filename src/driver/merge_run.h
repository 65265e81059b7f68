#pragma once

#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/results/run_record.h"
#include "support/error.h"
#include "support/reporter.h"

namespace orthomix {

// The command line of a merge from the arguments after "merge" that are no
// options: the sweep's parameter file, then one run record per k.
CommandLine mergeCommandLine(CommandLine command, std::vector<std::string> operands);

// orthomix merge: reads the records of runs of one k each, then runs the
// parameter file of their kValues sweep as a run would, with the records in
// place of fitting every k; it writes what that run would have written.
Status runMerge(const std::string& parameterPath, const std::vector<std::string>& recordPaths, Reporter& reporter,
                RunRecordBuilder& record);

}  // namespace orthomix
