#include "driver/fitting/k_sweep.h"

#include <chrono>
#include <cmath>

#include "driver/fitting/start_warnings.h"
#include "model/clustering_stability.h"
#include "model/information_criteria.h"
#include "support/number_format.h"

namespace orthomix {
namespace {

void showStartWarnings(const KRun& run, Reporter& reporter) {
    for (const std::string& warning : mergedStartWarnings(run.attempts)) reporter.warning(warning);
    const std::string capped = iterationCapWarning(run.attempts);
    if (!capped.empty()) reporter.warning(capped);
}

// After the last k of a sweep: the kept k, and whether it lies at an end of
// the range of the k values that gave a result (one too large to seed its
// clusters does not widen the range).
void showChoice(const std::vector<KRun>& runs, const KRun& chosen, Reporter& reporter) {
    reporter.line("Chosen k = " + std::to_string(chosen.k) + " with the lowest BIC = " +
                  formatNumber(chosen.outcome->bic));
    std::vector<std::int32_t> completed;
    for (const KRun& run : runs) {
        if (run.outcome) completed.push_back(run.k);
    }
    const std::string edge = sweepEdgeWarning(completed, chosen.k);
    if (!edge.empty()) reporter.warning(edge);
}

// One k of a sweep, once it has ended: its line, its console text, its warnings.
void showKRun(const KRun& run, const BufferedReporter& console, Reporter& reporter) {
    reporter.line("k = " + std::to_string(run.k));
    console.replay(reporter);
    showStartWarnings(run, reporter);
    if (!run.outcome) reporter.warning("k = " + std::to_string(run.k) + " gave no result: " + run.outcome.error().message);
}

}  // namespace

void runOneK(KRun& run, const Dataset& data, const RepetitionSettings& settings, std::uint32_t seed,
             const AttemptRunner& runAttempt, ThreadPool& pool, Reporter& reporter) {
    const auto started = std::chrono::steady_clock::now();
    run.k = settings.k;
    RandomGenerator random(seed);
    run.outcome = runRepetitions(data, settings, random, runAttempt, reporter, run.attempts, pool);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

std::optional<std::size_t> selectLowestBic(const std::vector<KRun>& runs) {
    std::optional<std::size_t> selected;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (!runs[i].outcome) continue;
        const double bic = runs[i].outcome->bic;
        // A BIC that is not a number loses to any that is.
        const double kept = selected ? runs[*selected].outcome->bic : 0.0;
        if (!selected || bic < kept || (std::isnan(kept) && !std::isnan(bic))) selected = i;
    }
    return selected;
}

ModelSelectionRow modelSelectionRow(std::int32_t k, const std::vector<AttemptRecord>& attempts,
                                    const RepetitionOutcome* outcome, double seconds, const Dataset& data) {
    ModelSelectionRow row;
    row.k = k;
    row.completed = outcome != nullptr;
    for (const AttemptRecord& attempt : attempts) ++(attempt.accepted ? row.repetitionsAccepted : row.attemptsRejected);
    row.parameters = freeParameterCount(k, static_cast<std::int32_t>(data.human.expression.columns()),
                                        static_cast<std::int32_t>(data.mouse.expression.columns()));
    if (outcome) {
        row.logLikelihood = outcome->bestLogLikelihood;
        row.bic = outcome->bic;
        row.iterations = outcome->best.iterations;
        row.icl = integratedCompletedLikelihood(
            outcome->bic, assignmentEntropy(outcome->best.human.posteriors, outcome->best.mouse.posteriors));
        const ClusteringStability stability = clusteringStability(outcome->acceptedLabels, outcome->bestAccepted);
        row.humanStability = stability.human;
        row.mouseStability = stability.mouse;
    }
    row.seconds = seconds;
    return row;
}

std::vector<ModelSelectionRow> modelSelectionRows(const std::vector<KRun>& runs, std::optional<std::size_t> selected,
                                                  const Dataset& data) {
    std::vector<ModelSelectionRow> rows;
    rows.reserve(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const KRun& run = runs[i];
        rows.push_back(modelSelectionRow(run.k, run.attempts, run.outcome ? &*run.outcome : nullptr, run.seconds, data));
        rows.back().selected = selected == i;
    }
    return rows;
}

Result<std::size_t> runKSweep(const Dataset& data, const std::vector<std::int32_t>& ks, bool sweep,
                              const RepetitionSettings& common, std::uint32_t seed, const AttemptRunner& runAttempt,
                              ThreadPool& pool, Reporter& reporter, std::vector<KRun>& runs) {
    runs.reserve(runs.size() + ks.size());
    for (const std::int32_t k : ks) {
        RepetitionSettings settings = common;
        settings.k = k;
        KRun& run = runs.emplace_back();
        if (sweep) {
            BufferedReporter console;
            runOneK(run, data, settings, seed, runAttempt, pool, console);
            showKRun(run, console, reporter);
        } else {
            runOneK(run, data, settings, seed, runAttempt, pool, reporter);
            showStartWarnings(run, reporter);
        }
    }
    const std::optional<std::size_t> selected = selectLowestBic(runs);
    if (selected && sweep) showChoice(runs, runs[*selected], reporter);
    if (selected) return *selected;
    if (!sweep) return runs.front().outcome.error();
    return Error{"No k of kValues gave a result; for k = " + std::to_string(runs.front().k) + ": " +
                 runs.front().outcome.error().message};
}

}  // namespace orthomix
