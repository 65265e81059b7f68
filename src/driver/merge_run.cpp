#include "driver/merge_run.h"

#include "driver/merge/merge.h"
#include "driver/run.h"

namespace orthomix {

CommandLine mergeCommandLine(CommandLine command, std::vector<std::string> operands) {
    if (command.problem.empty() && operands.size() < 2) {
        command.problem = "merge needs the parameter file of the kValues run and the run records of its single-k runs";
    }
    if (!command.problem.empty()) {
        command.action = CommandAction::UsageError;
        return command;
    }
    command.action = CommandAction::Merge;
    command.parameterPath = operands.front();
    command.recordPaths.assign(operands.begin() + 1, operands.end());
    return command;
}

Status runMerge(const std::string& parameterPath, const std::vector<std::string>& recordPaths, Reporter& reporter,
                RunRecordBuilder& record) {
    Result<MergeSources> sources = readMergeSources(recordPaths);
    if (!sources) return sources.error();
    const Fitter merge = [&](const ParameterSetting& settings, FitInputs inputs, std::uint32_t,
                             const FitObserver& observer) {
        // The run computes the checksums with the inputs, before it fits.
        const std::vector<InputChecksum>& checksums = *record.record().inputChecksums;
        return mergeSingleKRuns(*sources, SweepInputs{settings, parameterPath, checksums}, std::move(inputs),
                                observer);
    };
    // The records' seed stands in for the clock's, so that a parameter file
    // without a seed takes theirs.
    return runOrthomixWith(parameterPath, sources->seed, reporter, record, merge);
}

}  // namespace orthomix
