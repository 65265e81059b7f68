#include "driver/entry/fit.h"

#include <new>
#include <utility>

#include "driver/fitting/attempt_runner.h"
#include "driver/inputs/input_choices.h"
#include "driver/inputs/input_messages.h"
#include "driver/settings/run_limits.h"
#include "model/preprocessing.h"
#include "support/thread_pool.h"

namespace orthomix {
namespace {

// Passes everything on and keeps a copy of every warning.
class WarningKeeper final : public Reporter {
public:
    WarningKeeper(Reporter& to, std::vector<std::string>& warnings) : to_(to), warnings_(warnings) {}
    void line(std::string_view text) override { to_.line(text); }
    void warning(std::string_view text) override {
        warnings_.emplace_back(text);
        to_.warning(text);
    }
    void note(std::string_view text) override { to_.note(text); }
    void error(std::string_view text) override { to_.error(text); }

private:
    Reporter& to_;
    std::vector<std::string>& warnings_;
};

Status requireGenes(const OrganismData& organism, const char* name) {
    if (organism.geneCount() > 0) return okStatus();
    return Error{std::string("No ") + name + " genes are left for clustering"};
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

// The identifiers of both organisms before preprocessing dropped any.
struct ReadGeneNames {
    std::vector<std::string> human;
    std::vector<std::string> mouse;
};

// Both organisms, preprocessed when asked for; with preprocessing, readNames
// receives the identifiers as read.
Status prepareOrganisms(FitInputs& inputs, const ParameterSetting& settings, Reporter& reporter, FitOutcome& outcome,
                        ReadGeneNames& readNames) {
    Dataset& data = outcome.data;
    if (settings.prep) {
        // Each organism as read is let go once its preprocessed copy exists,
        // so that wide data is not held twice through the fit.
        timePhase(outcome.preprocessingSeconds, [&] {
            data.human = preprocessWithReport(inputs.human, "human", humanThresholds(settings), reporter);
            readNames.human = std::move(inputs.human.identifiers);
            inputs.human = OrganismData{};
            data.mouse = preprocessWithReport(inputs.mouse, "mouse", mouseThresholds(settings), reporter);
            readNames.mouse = std::move(inputs.mouse.identifiers);
            inputs.mouse = OrganismData{};
            reporter.line("finish preprocess");
        });
    } else {
        data.human = std::move(inputs.human);
        data.mouse = std::move(inputs.mouse);
    }
    outcome.humanGenesKept = data.human.geneCount();
    outcome.mouseGenesKept = data.mouse.geneCount();
    ORTHOMIX_TRY(requireGenes(data.human, "human"));
    return requireGenes(data.mouse, "mouse");
}

Status resolvePairs(const OrthologTable& table, const ReadGeneNames& readNames, const ParameterSetting& settings,
                    Reporter& reporter, FitOutcome& outcome) {
    Dataset& data = outcome.data;
    // Without preprocessing nothing was dropped, and the read names are the genes themselves.
    const ReadIdentifiers read = settings.prep ? ReadIdentifiers{&readNames.human, &readNames.mouse}
                                               : ReadIdentifiers{};
    data.orthologs = resolveOrthologs(table, data.human, data.mouse, read, settings.stripIdVersions);
    const OrthologMatchSummary& summary = data.orthologs.summary;
    outcome.orthologEntries = summary.entries;
    outcome.orthologPairsPresent = summary.matched;
    if (summary.matched == 0) return noMatchedOrthologsError(summary, settings);
    reportOrthologMatching(summary, settings, reporter);
    // The largest k has the most cells.
    const std::string sparse = sparsePairTableWarning(clusterCounts(settings).back(), data);
    if (!sparse.empty()) reporter.warning(sparse);
    return okStatus();
}

// An outcome before any phase: the seed and whether the settings sweep k.
FitOutcome outcomeOf(const ParameterSetting& settings, std::uint32_t seedWhenUnset) {
    FitOutcome outcome;
    outcome.seed = settings.seed.value_or(seedWhenUnset);
    outcome.seedFromClock = !settings.seed;
    outcome.sweep = isKSweep(settings);
    return outcome;
}

// What every fit does first: counts the genes read, takes the ortholog table
// out of the inputs and prepares both organisms.
Status prepareInto(FitOutcome& outcome, const ParameterSetting& settings, FitInputs& inputs, Reporter& reporter,
                   OrthologTable& orthologTable, ReadGeneNames& readNames) {
    outcome.humanGenesRead = inputs.human.geneCount();
    outcome.mouseGenesRead = inputs.mouse.geneCount();
    orthologTable = std::move(inputs.orthologs);
    return prepareOrganisms(inputs, settings, reporter, outcome, readNames);
}

// The fit, phase after phase, keeping in `outcome` what each phase reaches.
Status fitInto(FitOutcome& outcome, const ParameterSetting& settings, FitInputs inputs, Reporter& reporter,
               const FitObserver& observer) {
    OrthologTable orthologTable;
    ReadGeneNames readNames;
    ORTHOMIX_TRY(prepareInto(outcome, settings, inputs, reporter, orthologTable, readNames));
    inputs = FitInputs{};

    ThreadPool pool(static_cast<unsigned>(settings.threads));
    reportThreadShortfall(pool, reporter);
    const RepetitionSettings repetitionSettings{settings.k, settings.nMaxAlgRun, settings.verbose};
    Result<std::size_t> chosen = timePhase(outcome.repetitionsSeconds, [&]() -> Result<std::size_t> {
        ORTHOMIX_TRY(resolvePairs(orthologTable, readNames, settings, reporter, outcome));
        const AttemptRunner runner = attemptRunner(outcome.data, settings, observer.clock, observer.stop, pool);
        return runKSweep(outcome.data, clusterCounts(settings), outcome.sweep, repetitionSettings, outcome.seed,
                         runner, pool, reporter, outcome.runs);
    });
    if (!outcome.runs.empty()) {
        outcome.modelSelection =
            modelSelectionRows(outcome.runs, chosen ? std::optional<std::size_t>(*chosen) : std::nullopt, outcome.data);
        // A single k is timed as the whole phase, pairs included.
        if (!outcome.sweep) outcome.modelSelection.front().seconds = outcome.repetitionsSeconds.value_or(0.0);
    }
    if (!chosen) return chosen.error();
    outcome.chosen = *chosen;
    return okStatus();
}

}  // namespace

std::vector<AttemptRecord> FitOutcome::allAttempts() const {
    std::vector<AttemptRecord> attempts;
    for (const KRun& run : runs) attempts.insert(attempts.end(), run.attempts.begin(), run.attempts.end());
    return attempts;
}

FitOutcome prepareFitData(const ParameterSetting& settings, FitInputs inputs, const FitObserver& observer) {
    FitOutcome outcome = outcomeOf(settings, 0);
    WarningKeeper reporter(observer.reporter, outcome.warnings);
    OrthologTable orthologTable;
    ReadGeneNames readNames;
    Status status = prepareInto(outcome, settings, inputs, reporter, orthologTable, readNames);
    if (status) status = resolvePairs(orthologTable, readNames, settings, reporter, outcome);
    if (!status) outcome.error = status.error();
    return outcome;
}

FitOutcome fitClusters(const ParameterSetting& settings, FitInputs inputs, std::uint32_t seedWhenUnset,
                       const FitObserver& observer) {
    FitOutcome outcome = outcomeOf(settings, seedWhenUnset);
    WarningKeeper reporter(observer.reporter, outcome.warnings);
    try {
        const Status status = fitInto(outcome, settings, std::move(inputs), reporter, observer);
        if (!status) outcome.error = status.error();
    } catch (const std::bad_alloc&) {
        // What the fit reached stays; the data and the kept clusterings go, so
        // that the caller can still report.
        outcome.data = Dataset{};
        for (KRun& run : outcome.runs) run.outcome = Error{"out of memory"};
        outcome.chosen.reset();
        outcome.outOfMemory = true;
        outcome.error = Error{"out of memory"};
    }
    return outcome;
}

}  // namespace orthomix
