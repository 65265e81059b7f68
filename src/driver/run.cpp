#include "driver/run.h"

#include <future>
#include <new>
#include <optional>

#include "driver/check_summary.h"
#include "driver/control/interruption.h"
#include "driver/control/run_clock.h"
#include "driver/entry/fit.h"
#include "driver/inputs/input_checksums.h"
#include "driver/inputs/input_choices.h"
#include "driver/inputs/input_files.h"
#include "driver/results/result_files.h"
#include "driver/settings/output_paths.h"
#include "driver/settings/run_limits.h"
#include "driver/settings/settings.h"
#include "io/parameter_file.h"

namespace orthomix {
namespace {

Result<ParameterSetting> readSettings(const std::string& path, std::uint32_t clockSeed, Reporter& reporter,
                                      RunRecordBuilder& record) {
    Result<ParameterTable> table = readParameterTable(path);
    if (!table) return table.error();
    // Kept before the check, so that a failed run's record shows the values it stopped on.
    const ParameterSetting settings = settingsFromTable(*table);
    record.settingsRead(settings, settings.seed.value_or(clockSeed));
    for (const std::string& warning : parameterWarnings(*table, path)) reporter.warning(warning);
    ORTHOMIX_TRY(checkOutputPaths(settings, path));
    record.outputPathsChecked();
    ORTHOMIX_TRY(checkSettings(settings, *table, path));
    ORTHOMIX_TRY(checkRunLimits(settings, path));
    ORTHOMIX_TRY(checkChoices(settings, path));
    ORTHOMIX_TRY(checkVarianceKeys(settings, path));
    if (!settings.seed) {
        const std::string seed = std::to_string(clockSeed);
        reporter.note("seed " + seed + " from the clock; add \"seed = " + seed + "\" to repeat this run");
    }
    return settings;
}

// Every input file is read in full before any work starts. The checksums
// read every input once more, one byte after the other, alongside.
Result<InputFiles> readInputs(const ParameterSetting& settings, const std::string& parameterPath, Reporter& reporter,
                              RunRecordBuilder& record) {
    std::future<Result<std::vector<InputChecksum>>> checksumming =
        std::async(std::launch::async | std::launch::deferred, [&settings] { return inputChecksums(settings); });
    std::optional<double> seconds;
    Result<InputFiles> inputs = timePhase(seconds, [&] { return readExpressionFiles(settings, parameterPath, reporter); });
    record.expressionRead(*seconds, inputs ? &*inputs : nullptr);
    if (!inputs) return inputs.error();
    const Status annotations =
        timePhase(seconds, [&] { return readAnnotationAndOrthologFiles(settings, parameterPath, *inputs, reporter); });
    record.annotationsRead(*seconds);
    ORTHOMIX_TRY(annotations);
    Result<std::vector<InputChecksum>> checksums = checksumming.get();
    if (!checksums) return checksums.error();
    record.inputsChecksummed(std::move(*checksums));
    return inputs;
}

}  // namespace

Status checkOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                     RunRecordBuilder& record) {
    Result<ParameterSetting> read = readSettings(parameterPath, clockSeed, reporter, record);
    if (!read) return read.error();
    const ParameterSetting& settings = *read;
    Result<InputFiles> inputs = readInputs(settings, parameterPath, reporter, record);
    if (!inputs) return inputs.error();
    ORTHOMIX_TRY(checkOutputLocations(settings));
    FitInputs fitInputs{std::move(inputs->human), std::move(inputs->mouse), std::move(inputs->orthologs)};
    const FitObserver observer{reporter, interruptionStopToken(), record.record().clock};
    const FitOutcome prepared = prepareFitData(settings, std::move(fitInputs), observer);
    record.fitted(prepared);
    if (prepared.error) return *prepared.error;
    for (const std::string& line : checkSummary(settings, prepared.data, record.record().inputs)) reporter.line(line);
    return okStatus();
}

Status runOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                   RunRecordBuilder& record) {
    std::optional<FitOutcome> fitted;
    return runOrthomixWith(parameterPath, clockSeed, reporter, record, fitClusters, interruptionStopToken(), fitted);
}

Status runOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                   RunRecordBuilder& record, const StopToken& stop, std::optional<FitOutcome>& fitted) {
    return runOrthomixWith(parameterPath, clockSeed, reporter, record, fitClusters, stop, fitted);
}

Status runOrthomixWith(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                       RunRecordBuilder& record, const Fitter& fit) {
    std::optional<FitOutcome> fitted;
    return runOrthomixWith(parameterPath, clockSeed, reporter, record, fit, interruptionStopToken(), fitted);
}

Status runOrthomixWith(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                       RunRecordBuilder& record, const Fitter& fit, const StopToken& stop,
                       std::optional<FitOutcome>& fitted) {
    Result<ParameterSetting> read = readSettings(parameterPath, clockSeed, reporter, record);
    if (!read) return read.error();
    const ParameterSetting& settings = *read;
    reporter.line("finish reading params");

    Result<InputFiles> inputs = readInputs(settings, parameterPath, reporter, record);
    if (!inputs) return inputs.error();
    ORTHOMIX_TRY(prepareOutputLocations(settings));

    const RunClock& clock = record.record().clock;
    FitInputs fitInputs{std::move(inputs->human), std::move(inputs->mouse), std::move(inputs->orthologs)};
    const FitOutcome& outcome =
        fitted.emplace(fit(settings, std::move(fitInputs), clockSeed, FitObserver{reporter, stop, clock}));
    record.fitted(outcome);
    if (outcome.outOfMemory) throw std::bad_alloc();
    if (outcome.error) return *outcome.error;

    OutputSet results;
    std::optional<double> writingSeconds;
    const Status written = timePhase(writingSeconds, [&] {
        writeResults(results, outcome, settings, record.record().inputs, clock);
        return results.finish();
    });
    record.resultsWritten(*writingSeconds);
    ORTHOMIX_TRY(written);

    const std::vector<std::string> resultFiles = results.paths();
    const RunRecord completed = record.completed(resultFiles);
    if (!completed.path().empty()) results.add(completed.path()).write(renderRunRecord(completed, std::nullopt));
    ORTHOMIX_TRY(commitResults(results, reporter));
    record.committed(resultFiles);
    return okStatus();
}

}  // namespace orthomix
