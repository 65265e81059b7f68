#include "driver/repetitions.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "support/number_format.h"

namespace orthomix {
namespace {

// The generator draws positions 0..32767 only, so no more seeds can be found.
constexpr std::int64_t kDrawablePositions = static_cast<std::int64_t>(RandomGenerator::kMaxValue) + 1;

Status requireSeedableGenes(std::int32_t k, std::size_t geneCount, const char* organism) {
    const std::int64_t drawable = std::min<std::int64_t>(static_cast<std::int64_t>(geneCount), kDrawablePositions);
    if (k <= drawable) return okStatus();
    return Error{"k = " + std::to_string(k) + " is larger than the number of " + organism +
                 " genes that can seed a cluster (" + std::to_string(drawable) +
                 "): lower k, or keep more genes in preprocessing"};
}

AttemptRecord recordOf(const AttemptResult& result, std::int32_t k, std::int32_t repetition, std::int32_t attempt) {
    AttemptRecord record;
    record.k = k;
    record.repetition = repetition;
    record.attempt = attempt;
    record.rejectionReason = result.rejectionReason;
    record.iterations = result.iterations;
    record.logLikelihood = result.logLikelihood;
    record.logLikelihoodByIteration = result.logLikelihoodByIteration;
    record.humanSpread = result.humanSpread;
    record.mouseSpread = result.mouseSpread;
    record.scatterPairs = result.scatterPairs;
    record.timings = result.timings;
    return record;
}

}  // namespace

std::int32_t freeParameterCount(std::int32_t k, std::int32_t humanColumns, std::int32_t mouseColumns) {
    return 2 * k * (humanColumns + mouseColumns + 1);
}

double computeBic(double logLikelihood, std::int32_t k, std::int32_t humanColumns, std::int32_t mouseColumns,
                  std::int32_t geneCount) {
    const std::int32_t freeParameters = freeParameterCount(k, humanColumns, mouseColumns);
    return std::log(static_cast<double>(geneCount)) * freeParameters - 2 * logLikelihood;
}

Result<RepetitionOutcome> runRepetitions(const Dataset& data, const RepetitionSettings& settings,
                                         RandomGenerator& random, const AttemptRunner& runAttempt, Reporter& reporter,
                                         std::vector<AttemptRecord>& attempts) {
    ORTHOMIX_TRY(requireSeedableGenes(settings.k, data.human.geneCount(), "human"));
    ORTHOMIX_TRY(requireSeedableGenes(settings.k, data.mouse.geneCount(), "mouse"));

    RepetitionOutcome outcome;
    outcome.bestLogLikelihood = -std::numeric_limits<double>::infinity();
    bool haveBest = false;
    std::int32_t repetition = 0;
    int rejectedInARow = 0;
    while (repetition != settings.nMaxAlgRun) {
        const auto started = std::chrono::steady_clock::now();
        const AttemptStart start = drawAttemptStart(random, settings.k, data);
        Result<AttemptResult> attempt = runAttempt(start, repetition, rejectedInARow + 1);
        if (!attempt) return attempt.error();
        AttemptResult& result = *attempt;
        if (result.emCompleted) {
            reporter.line("\n\n");
            reporter.line("......New repetition....");
            reporter.line("scatter_gene_pair_cluster's size:\t" + std::to_string(result.scatterPairs));
        }
        if (result.usable() &&
            (result.scatterPairs == data.human.geneCount() || result.scatterPairs == data.mouse.geneCount())) {
            result.rejectionReason = "every gene of an organism in scatter";
        }
        AttemptRecord& record = attempts.emplace_back(recordOf(result, settings.k, repetition, rejectedInARow + 1));
        record.accepted = result.usable();
        record.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (!record.accepted) {
            if (settings.verbose) {
                reporter.note("repetition " + std::to_string(repetition) + " attempt " +
                              std::to_string(record.attempt) + " rejected: " + record.rejectionReason);
            }
            if (++rejectedInARow >= kMaxRejectedAttempts) {
                return Error{"Repetition " + std::to_string(repetition) + " was rejected " +
                             std::to_string(rejectedInARow) +
                             " times in a row: every attempt ended with an empty cluster, a cluster without "
                             "ortholog weight, every pair in scatter or parameters that are not numbers. Usual "
                             "causes: k too large for the data, too few ortholog pairs, or constant expression "
                             "columns."};
            }
            continue;
        }
        rejectedInARow = 0;
        reporter.line("Repetitive times:" + std::to_string(repetition));
        const double logLikelihood = result.logLikelihood;
        // Strictly greater: an equal or NaN likelihood keeps the earlier best.
        if (logLikelihood > outcome.bestLogLikelihood) {
            outcome.bestLogLikelihood = logLikelihood;
            outcome.best = std::move(result);
            outcome.bestRepetition = repetition;
            haveBest = true;
        }
        reporter.line("......likelihood=\t" + formatNumber(logLikelihood));
        ++repetition;
    }
    if (!haveBest) return Error{"No repetition reached a log-likelihood that is a number; no result file was written"};

    outcome.bic = computeBic(outcome.bestLogLikelihood, settings.k,
                             static_cast<std::int32_t>(data.human.expression.columns()),
                             static_cast<std::int32_t>(data.mouse.expression.columns()),
                             static_cast<std::int32_t>(data.human.geneCount() + data.mouse.geneCount()));
    reporter.line(".......\n\n");
    reporter.line("The maximum likelihood:\n" + formatNumber(outcome.bestLogLikelihood));
    reporter.line("Final BIC:\n" + formatNumber(outcome.bic));
    return outcome;
}

}  // namespace orthomix
