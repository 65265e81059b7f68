#include "driver/k_sweep.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>

#include "driver/input_messages.h"

namespace orthomix {

KRun runOneK(const Dataset& data, const RepetitionSettings& settings, std::uint32_t seed,
             const AttemptRunner& runAttempt, ThreadPool& pool) {
    const auto started = std::chrono::steady_clock::now();
    KRun run;
    run.k = settings.k;
    RandomGenerator random(seed);
    run.outcome = runRepetitions(data, settings, random, runAttempt, run.console, run.attempts, pool);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return run;
}

void showKRun(const KRun& run, Reporter& reporter) {
    reporter.line("k = " + std::to_string(run.k));
    run.console.replay(reporter);
    for (const std::string& warning : mergedStartWarnings(run.attempts)) reporter.warning(warning);
    if (!run.outcome) reporter.warning("k = " + std::to_string(run.k) + " gave no result: " + run.outcome.error().message);
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

Result<RepetitionOutcome> runKSweep(const Dataset& data, const std::vector<std::int32_t>& ks,
                                    const RepetitionSettings& common, std::uint32_t seed,
                                    const AttemptRunner& runAttempt, ThreadPool& pool, Reporter& reporter,
                                    RunRecord& record) {
    std::vector<KRun> runs;
    runs.reserve(ks.size());
    for (const std::int32_t k : ks) {
        RepetitionSettings settings = common;
        settings.k = k;
        runs.push_back(runOneK(data, settings, seed, runAttempt, pool));
        showKRun(runs.back(), reporter);
    }
    const std::optional<std::size_t> selected = selectLowestBic(runs);
    record.modelSelection = modelSelectionRows(runs, selected, data);
    for (KRun& run : runs) {
        std::move(run.attempts.begin(), run.attempts.end(), std::back_inserter(record.attempts));
    }
    if (!selected) {
        return Error{"No k of kValues gave a result; for k = " + std::to_string(runs.front().k) + ": " +
                     runs.front().outcome.error().message};
    }
    return std::move(*runs[*selected].outcome);
}

}  // namespace orthomix
