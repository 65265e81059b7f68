#include "driver/run.h"

#include <cstdio>

#include "driver/check_summary.h"
#include "driver/input_choices.h"
#include "driver/input_messages.h"
#include "driver/interruption.h"
#include "driver/k_sweep.h"
#include "driver/output_paths.h"
#include "driver/repetitions.h"
#include "driver/report.h"
#include "driver/result_files.h"
#include "driver/settings.h"
#include "io/annotation_reader.h"
#include "io/expression_reader.h"
#include "io/ortholog_reader.h"
#include "model/em_attempt.h"
#include "model/preprocessing.h"
#include "support/number_format.h"

namespace orthomix {
namespace {

// The input files as read, before preprocessing.
struct InputFiles {
    OrganismData human;
    OrganismData mouse;
    OrthologTable orthologs;
};

Result<ParameterSetting> readSettings(const std::string& path, std::uint32_t clockSeed, Reporter& reporter,
                                      RunRecord& record) {
    record.parameterFile = path;
    Result<ParameterTable> table = readParameterTable(path);
    if (!table) return table.error();
    // Kept before the check, so that a failed run's record shows the values it stopped on.
    const ParameterSetting settings = settingsFromTable(*table);
    record.parameters = settings;
    record.seedFromClock = !settings.seed;
    record.seed = settings.seed ? *settings.seed : clockSeed;
    for (const std::string& warning : parameterWarnings(*table, path)) reporter.warning(warning);
    ORTHOMIX_TRY(checkOutputPaths(settings, path));
    record.outputPathsChecked = true;
    ORTHOMIX_TRY(checkSettings(settings, *table, path));
    ORTHOMIX_TRY(checkChoices(settings, path));
    ORTHOMIX_TRY(checkVarianceKeys(settings, path));
    if (!settings.seed) {
        const std::string seed = std::to_string(clockSeed);
        reporter.note("seed " + seed + " from the clock; add \"seed = " + seed + "\" to repeat this run");
    }
    return settings;
}

Status requireGenes(const OrganismData& organism, const char* name, const std::string& reason) {
    if (organism.geneCount() > 0) return okStatus();
    return Error{std::string("No ") + name + " genes " + reason};
}

Result<OrganismData> readOrganism(const std::string& path, const char* name, const ParameterSetting& settings,
                                  const std::string& parameterPath, Reporter& reporter,
                                  std::optional<std::size_t>& incompleteGenesDropped) {
    Result<ExpressionFile> file = readExpressionFile(path);
    if (!file) return withFolderHint(file.error(), path, parameterPath);
    if (file->headerWithoutCorner) reporter.note(headerWithoutCornerNote(*file, path));
    reportDateLikeIdentifiers(file->data.identifiers, path, reporter);
    OrganismData data = settleMissingValues(std::move(*file), settings, path, reporter, incompleteGenesDropped);
    ORTHOMIX_TRY(requireGenes(data, name, "were read from " + path));
    return settleRepeatedRows(std::move(data), settings, path, reporter);
}

Status readAnnotations(const std::string& path, const std::string& parameterPath, OrganismData& organism,
                       Reporter& reporter) {
    Result<AnnotationFile> annotations = readAnnotationRecords(path, organism.identifiers);
    if (!annotations) return withFolderHint(annotations.error(), path, parameterPath);
    if (annotations->repeated.any()) reporter.warning(repeatedAnnotationsWarning(annotations->repeated, path));
    organism.annotations = std::move(annotations->annotations);
    return okStatus();
}

// Every input file is read in full before any work starts.
Result<InputFiles> readInputs(const ParameterSetting& settings, Reporter& reporter, RunRecord& record) {
    const std::string& parameterPath = record.parameterFile;
    InputFiles inputs;
    const Status data = timePhase(record.readingSeconds, [&]() -> Status {
        Result<OrganismData> human = readOrganism(settings.dataFile_hm, "human", settings, parameterPath, reporter,
                                                  record.humanIncompleteGenesDropped);
        if (!human) return human.error();
        Result<OrganismData> mouse = readOrganism(settings.dataFile_ms, "mouse", settings, parameterPath, reporter,
                                                  record.mouseIncompleteGenesDropped);
        if (!mouse) return mouse.error();
        inputs.human = std::move(*human);
        inputs.mouse = std::move(*mouse);
        record.humanGenesRead = inputs.human.geneCount();
        record.mouseGenesRead = inputs.mouse.geneCount();
        reporter.line("finish reading data");
        return okStatus();
    });
    ORTHOMIX_TRY(data);
    const Status annotations = timePhase(record.annotationSeconds, [&]() -> Status {
        ORTHOMIX_TRY(readAnnotations(settings.annotFile_hm, parameterPath, inputs.human, reporter));
        reporter.line("finish human annot");
        ORTHOMIX_TRY(readAnnotations(settings.annotFile_ms, parameterPath, inputs.mouse, reporter));
        reporter.line("finish reading annot");
        Result<OrthologTable> orthologs = readOrthologFile(settings.orthologFile);
        if (!orthologs) return withFolderHint(orthologs.error(), settings.orthologFile, parameterPath);
        inputs.orthologs = std::move(*orthologs);
        reportDateLikeIdentifiers(orthologIdentifiers(inputs.orthologs), settings.orthologFile, reporter);
        return okStatus();
    });
    ORTHOMIX_TRY(annotations);
    return inputs;
}

OrganismData preprocessWithReport(const OrganismData& organism, const char* name,
                                  const PreprocessingThresholds& thresholds, Reporter& reporter) {
    reporter.line(std::string("Num of ") + name + " genes before preprocessing = " +
                  std::to_string(organism.geneCount()));
    PreprocessedOrganism kept =
        preprocessOrganism(organism, thresholds.cv, thresholds.maxExpr, varianceFilterOf(thresholds));
    reporter.line(std::string("Num of ") + name + " genes after preprocessing = " +
                  std::to_string(kept.data.geneCount()));
    const std::string warning = preprocessingWarning(kept.counts, name, thresholds);
    if (!warning.empty()) reporter.warning(warning);
    const std::string variance = varianceFilterNote(kept.counts, name, thresholds);
    if (!variance.empty()) reporter.note(variance);
    return std::move(kept.data);
}

// The identifiers of both data files before preprocessing dropped any.
struct ReadGeneNames {
    std::vector<std::string> human;
    std::vector<std::string> mouse;
};

// The data the attempts share: both organisms, preprocessed when asked for,
// and the ortholog pairs resolved against the genes that are kept. With
// preprocessing, readNames receives the identifiers as read.
Result<Dataset> prepareDataset(InputFiles inputs, const ParameterSetting& settings, Reporter& reporter,
                               RunRecord& record, ReadGeneNames& readNames) {
    Dataset data;
    if (settings.prep) {
        timePhase(record.preprocessingSeconds, [&] {
            data.human = preprocessWithReport(inputs.human, "human", humanThresholds(settings), reporter);
            data.mouse = preprocessWithReport(inputs.mouse, "mouse", mouseThresholds(settings), reporter);
            reporter.line("finish preprocess");
        });
        readNames.human = std::move(inputs.human.identifiers);
        readNames.mouse = std::move(inputs.mouse.identifiers);
    } else {
        data.human = std::move(inputs.human);
        data.mouse = std::move(inputs.mouse);
    }
    record.humanGenesKept = data.human.geneCount();
    record.mouseGenesKept = data.mouse.geneCount();
    ORTHOMIX_TRY(requireGenes(data.human, "human", "are left for clustering"));
    ORTHOMIX_TRY(requireGenes(data.mouse, "mouse", "are left for clustering"));
    return data;
}

Status resolvePairs(Dataset& data, const OrthologTable& table, const ReadGeneNames& readNames,
                    const ParameterSetting& settings, Reporter& reporter, RunRecord& record) {
    // Without preprocessing nothing was dropped, and the read names are the genes themselves.
    const ReadIdentifiers read = settings.prep ? ReadIdentifiers{&readNames.human, &readNames.mouse}
                                               : ReadIdentifiers{};
    data.orthologs = resolveOrthologs(table, data.human, data.mouse, read, settings.stripIdVersions);
    record.orthologEntries = data.orthologs.summary.entries;
    record.orthologPairsPresent = data.orthologs.summary.matched;
    const OrthologMatchSummary& summary = data.orthologs.summary;
    if (summary.matched == 0) return noMatchedOrthologsError(summary, settings.orthologFile);
    reportOrthologMatching(summary, settings.orthologFile, reporter);
    // The largest k of a sweep has the most cells.
    const std::string sparse =
        sparsePairTableWarning(settings.kValues.empty() ? settings.k : settings.kValues.back(), data);
    if (!sparse.empty()) reporter.warning(sparse);
    return okStatus();
}

std::string secondsText(double seconds, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, seconds);
    return text;
}

AttemptRunner attemptRunner(const Dataset& data, const ParameterSetting& settings, const RunRecord& record,
                            ThreadPool& pool) {
    AttemptSettings attemptSettings{settings.stoppingThr, static_cast<std::int32_t>(settings.psudo_uniform_counts),
                                    settings.fastDensity, settings.kmeansMaxIterations};
    attemptSettings.stop = &stopRequested();
    attemptSettings.pool = &pool;
    return [&data, attemptSettings, &record](const AttemptStart& start,
                                             const AttemptContext& context) -> Result<AttemptResult> {
        if (const int signal = interruptionSignal()) return interruptedError(signal);
        AttemptSettings own = attemptSettings;
        own.cancel = &context.cancel;
        own.waitUntilNeeded = &context.waitUntilNeeded;
        IterationObserver observer;
        StepObserver stepObserver;
        if (context.progress.enabled()) {
            AttemptProgress& progress = context.progress;
            observer = [&progress, &record](const IterationProgress& done) {
                progress.post("iteration " + std::to_string(done.iteration) + ": log-likelihood " +
                              formatNumber(done.logLikelihood) + ", spreads " + formatNumber(done.humanSpread) +
                              " (human) " + formatNumber(done.mouseSpread) + " (mouse), " +
                              std::to_string(done.scatterPairs) + " scatter pairs, " +
                              secondsText(record.secondsSinceStart(), "%.3f") + " s");
            };
            stepObserver = [&progress](const IterationStep& step) {
                progress.postTransient("iteration " + std::to_string(step.iteration) + " still running: " +
                                       step.step + " " + secondsText(100.0 * step.fractionDone, "%.0f") +
                                       "% done after " + secondsText(step.seconds, "%.1f") + " s");
            };
        }
        Result<AttemptResult> result = runAttempt(data, start, own, observer, stepObserver);
        if (const int signal = interruptionSignal()) return interruptedError(signal);
        return result;
    };
}

// The k of the kept clustering: k itself, or the k of a sweep with the lowest BIC.
std::int32_t keptK(const ParameterSetting& settings, const RunRecord& record) {
    for (const ModelSelectionRow& row : record.modelSelection) {
        if (row.selected) return row.k;
    }
    return settings.k;
}

// The sweep's rows; for a run of one k, that k's row.
std::vector<ModelSelectionRow> modelSelection(const RepetitionOutcome& outcome, const Dataset& data,
                                              const RunRecord& record) {
    if (!record.modelSelection.empty()) return record.modelSelection;
    ModelSelectionRow row = modelSelectionRow(record.parameters->k, record.attempts, &outcome,
                                              record.repetitionsSeconds.value_or(0.0), data);
    row.selected = true;
    return {row};
}

}  // namespace

Status checkOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter,
                     RunRecord& record) {
    Result<ParameterSetting> read = readSettings(parameterPath, clockSeed, reporter, record);
    if (!read) return read.error();
    const ParameterSetting& settings = *read;
    Result<InputFiles> inputs = readInputs(settings, reporter, record);
    if (!inputs) return inputs.error();
    ORTHOMIX_TRY(checkOutputLocations(settings));
    const OrthologTable orthologTable = std::move(inputs->orthologs);
    ReadGeneNames readNames;
    Result<Dataset> prepared = prepareDataset(std::move(*inputs), settings, reporter, record, readNames);
    if (!prepared) return prepared.error();
    ORTHOMIX_TRY(resolvePairs(*prepared, orthologTable, readNames, settings, reporter, record));
    for (const std::string& line : checkSummary(settings, *prepared, record)) reporter.line(line);
    return okStatus();
}

Status runOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter, RunRecord& record) {
    Result<ParameterSetting> read = readSettings(parameterPath, clockSeed, reporter, record);
    if (!read) return read.error();
    const ParameterSetting& settings = *read;
    reporter.line("finish reading params");

    Result<InputFiles> inputs = readInputs(settings, reporter, record);
    if (!inputs) return inputs.error();
    ORTHOMIX_TRY(prepareOutputLocations(settings));
    const OrthologTable orthologTable = std::move(inputs->orthologs);
    ReadGeneNames readNames;
    Result<Dataset> prepared = prepareDataset(std::move(*inputs), settings, reporter, record, readNames);
    if (!prepared) return prepared.error();
    Dataset& data = *prepared;

    ThreadPool pool(static_cast<unsigned>(settings.threads));
    const RepetitionSettings repetitionSettings{settings.k, settings.nMaxAlgRun, settings.verbose};
    Result<RepetitionOutcome> outcome = timePhase(record.repetitionsSeconds, [&]() -> Result<RepetitionOutcome> {
        ORTHOMIX_TRY(resolvePairs(data, orthologTable, readNames, settings, reporter, record));
        const AttemptRunner runner = attemptRunner(data, settings, record, pool);
        if (!settings.kValues.empty()) {
            return runKSweep(data, settings.kValues, repetitionSettings, *record.seed, runner, pool, reporter, record);
        }
        RandomGenerator random(*record.seed);
        return runRepetitions(data, repetitionSettings, random, runner, reporter, record.attempts, pool);
    });
    // A sweep gives these warnings for each k as it shows it.
    if (settings.kValues.empty()) {
        for (const std::string& warning : mergedStartWarnings(record.attempts)) reporter.warning(warning);
    }
    if (!outcome) return outcome.error();
    const std::int32_t k = keptK(settings, record);
    record.best = RunRecord::Best{outcome->bestRepetition, outcome->bestLogLikelihood, outcome->bic, k};

    OutputSet results;
    ORTHOMIX_TRY(timePhase(record.writingSeconds, [&]() -> Status {
        writeResults(results, data, outcome->best, settings);
        if (!settings.modelSelectionFile.empty()) {
            writeModelSelectionFile(results.add(settings.modelSelectionFile), modelSelection(*outcome, data, record));
        }
        if (!settings.reportFile.empty()) {
            writeReport(results.add(settings.reportFile), ReportInput{record, data, outcome->best, k});
        }
        return results.finish();
    }));
    return commitResults(results, record, reporter);
}

}  // namespace orthomix
