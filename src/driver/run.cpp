#include "driver/run.h"

#include <cstdio>

#include "driver/repetitions.h"
#include "driver/result_files.h"
#include "driver/settings.h"
#include "io/annotation_reader.h"
#include "io/atomic_file.h"
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
    for (const std::string& key : unrecognisedKeys(*table)) {
        reporter.warning("unrecognised key \"" + key + "\" in parameter file " + path + " (keys are case-sensitive)");
    }
    ORTHOMIX_TRY(checkSettings(settings, *table, path));
    return settings;
}

Status requireGenes(const OrganismData& organism, const char* name, const std::string& reason) {
    if (organism.geneCount() > 0) return okStatus();
    return Error{std::string("No ") + name + " genes " + reason};
}

Result<OrganismData> readOrganism(const std::string& path, const char* name, Reporter& reporter) {
    Result<ExpressionFile> file = readExpressionFile(path);
    if (!file) return file.error();
    if (file->nonNumericFields > 0) {
        reporter.warning(std::to_string(file->nonNumericFields) + " value fields of " + path +
                         " are not numbers and were read as 0");
    }
    ORTHOMIX_TRY(requireGenes(file->data, name, "were read from " + path));
    return std::move(file->data);
}

Status readAnnotations(const std::string& path, OrganismData& organism) {
    Result<std::vector<std::string>> annotations = readAnnotationFile(path, organism.identifiers);
    if (!annotations) return annotations.error();
    organism.annotations = std::move(*annotations);
    return okStatus();
}

// Every input file is read in full before any work starts.
Result<InputFiles> readInputs(const ParameterSetting& settings, Reporter& reporter, RunRecord& record) {
    InputFiles inputs;
    const Status data = timePhase(record.readingSeconds, [&]() -> Status {
        Result<OrganismData> human = readOrganism(settings.dataFile_hm, "human", reporter);
        if (!human) return human.error();
        Result<OrganismData> mouse = readOrganism(settings.dataFile_ms, "mouse", reporter);
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
        ORTHOMIX_TRY(readAnnotations(settings.annotFile_hm, inputs.human));
        reporter.line("finish human annot");
        ORTHOMIX_TRY(readAnnotations(settings.annotFile_ms, inputs.mouse));
        reporter.line("finish reading annot");
        Result<OrthologTable> orthologs = readOrthologFile(settings.orthologFile);
        if (!orthologs) return orthologs.error();
        inputs.orthologs = std::move(*orthologs);
        return okStatus();
    });
    ORTHOMIX_TRY(annotations);
    return inputs;
}

// A run that cannot write a result stops before the work that leads to it.
Status checkOutputLocations(const ParameterSetting& settings) {
    for (const SettingDefinition& definition : kSettings) {
        if (definition.kind != SettingKind::OutputPath) continue;
        const std::string& path = settings.*std::get<std::string ParameterSetting::*>(definition.field);
        if (!path.empty()) ORTHOMIX_TRY(checkOutputLocation(path));
    }
    return okStatus();
}

OrganismData preprocessWithReport(const OrganismData& organism, const char* name, const ParameterSetting& settings,
                                  Reporter& reporter) {
    reporter.line(std::string("Num of ") + name + " genes before preprocessing = " +
                  std::to_string(organism.geneCount()));
    OrganismData kept = preprocessOrganism(organism, settings.CVThr, settings.maxExpr);
    reporter.line(std::string("Num of ") + name + " genes after preprocessing = " + std::to_string(kept.geneCount()));
    return kept;
}

Status reportOrthologMatches(const OrthologMatchSummary& summary, const std::string& path, Reporter& reporter) {
    if (summary.matched == 0) {
        return Error{"No entry of the ortholog file " + path +
                     " names two genes of the data files: check that its identifiers are those of the "
                     "expression files' first columns (and that preprocessing kept the genes)"};
    }
    if (summary.matched * 2 < summary.entries) {
        reporter.warning("only " + std::to_string(summary.matched) + " of the " + std::to_string(summary.entries) +
                         " entries of the ortholog file " + path + " name two present genes (for example human \"" +
                         summary.unmatchedHumanExample + "\", mouse \"" + summary.unmatchedMouseExample +
                         "\" match no gene)");
    }
    return okStatus();
}

// The data the attempts share: both organisms, preprocessed when asked for,
// and the ortholog pairs resolved against the genes that are kept.
Result<Dataset> prepareDataset(InputFiles inputs, const ParameterSetting& settings, Reporter& reporter,
                               RunRecord& record) {
    Dataset data;
    if (settings.prep) {
        timePhase(record.preprocessingSeconds, [&] {
            data.human = preprocessWithReport(inputs.human, "human", settings, reporter);
            data.mouse = preprocessWithReport(inputs.mouse, "mouse", settings, reporter);
            reporter.line("finish preprocess");
        });
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

Status resolvePairs(Dataset& data, const OrthologTable& table, const ParameterSetting& settings, Reporter& reporter,
                    RunRecord& record) {
    data.orthologs = resolveOrthologs(table, data.human, data.mouse);
    record.orthologEntries = data.orthologs.summary.entries;
    record.orthologPairsPresent = data.orthologs.summary.matched;
    return reportOrthologMatches(data.orthologs.summary, settings.orthologFile, reporter);
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
    attemptSettings.pool = &pool;
    return [&data, attemptSettings, &record](const AttemptStart& start, const AttemptContext& context) {
        AttemptSettings own = attemptSettings;
        own.cancel = &context.cancel;
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
        return runAttempt(data, start, own, observer, stepObserver);
    };
}

}  // namespace

Status runOrthomix(const std::string& parameterPath, std::uint32_t clockSeed, Reporter& reporter, RunRecord& record) {
    Result<ParameterSetting> read = readSettings(parameterPath, clockSeed, reporter, record);
    if (!read) return read.error();
    const ParameterSetting& settings = *read;
    reporter.line("finish reading params");

    Result<InputFiles> inputs = readInputs(settings, reporter, record);
    if (!inputs) return inputs.error();
    ORTHOMIX_TRY(checkOutputLocations(settings));
    const OrthologTable orthologTable = std::move(inputs->orthologs);
    Result<Dataset> prepared = prepareDataset(std::move(*inputs), settings, reporter, record);
    if (!prepared) return prepared.error();
    Dataset& data = *prepared;

    RandomGenerator random(*record.seed);
    ThreadPool pool(static_cast<unsigned>(settings.threads));
    const RepetitionSettings repetitionSettings{settings.k, settings.nMaxAlgRun, settings.verbose};
    Result<RepetitionOutcome> outcome = timePhase(record.repetitionsSeconds, [&]() -> Result<RepetitionOutcome> {
        ORTHOMIX_TRY(resolvePairs(data, orthologTable, settings, reporter, record));
        return runRepetitions(data, repetitionSettings, random, attemptRunner(data, settings, record, pool),
                              reporter, record.attempts, pool);
    });
    if (!outcome) return outcome.error();
    record.best = RunRecord::Best{outcome->bestRepetition, outcome->bestLogLikelihood, outcome->bic};

    return timePhase(record.writingSeconds,
                     [&] { return writeResults(data, outcome->best, settings, record.resultFiles); });
}

}  // namespace orthomix
