#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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

// What a run reads and checks, up to the ortholog pairs of the first
// repetition, followed by the summary of checkSummary on the reporter's
// lines; creates no folder and writes no file.
Status checkOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                     RunRecordBuilder& record);

// What turns the settings and the data read into an outcome: fitClusters for
// a run; the merge of single-k runs puts one together from their records.
using Fitter = std::function<FitOutcome(const ParameterSetting& settings, FitInputs inputs,
                                        std::uint32_t seedWhenUnset, const FitObserver& observer)>;

// The run of runOrthomix with `fit` in place of fitClusters.
Status runOrthomixWith(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                       RunRecordBuilder& record, const Fitter& fit);

// The same run for a front end that embeds it: `stop` may ask it to stop in
// place of the process's signals, and the outcome of the fit, once there is
// one, is moved to `fitted` (also when writing the results then fails).
Status runOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                   RunRecordBuilder& record, const StopToken& stop, std::optional<FitOutcome>& fitted);

// The run with every part given: the fit, what may stop it, and where its outcome goes.
Status runOrthomixWith(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                       RunRecordBuilder& record, const Fitter& fit, const StopToken& stop,
                       std::optional<FitOutcome>& fitted);

}  // namespace orthomix
