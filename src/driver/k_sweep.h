#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "driver/repetitions.h"
#include "driver/run_record.h"
#include "io/result_writers.h"
#include "records/dataset.h"
#include "support/error.h"
#include "support/reporter.h"

namespace orthomix {

// The repetitions of one k of a sweep, as a value: what they reported, the
// records of their attempts, and the kept repetition or the error that ended
// them.
struct KRun {
    std::int32_t k = 0;
    Result<RepetitionOutcome> outcome = Error{"not run"};
    std::vector<AttemptRecord> attempts;
    BufferedReporter console;
    double seconds = 0.0;
};

// Runs the repetitions of one k from a generator seeded afresh with `seed`,
// so that the outcome is that of a run with only this k; its console text,
// verbose progress included, is kept in the value it returns.
KRun runOneK(const Dataset& data, const RepetitionSettings& settings, std::uint32_t seed,
             const AttemptRunner& runAttempt, ThreadPool& pool);

// Shows one k's run: the line "k = <value>", what the run reported, the
// warnings about its k-means starts, and for a run that ended in an error a
// warning with its message.
void showKRun(const KRun& run, Reporter& reporter);

// The run with the lowest BIC; a tie goes to the earlier run. None when no run
// has a result.
std::optional<std::size_t> selectLowestBic(const std::vector<KRun>& runs);

// The model-selection row of one k: its attempts, its kept repetition (null
// when it gave none) and its seconds; not selected.
ModelSelectionRow modelSelectionRow(std::int32_t k, const std::vector<AttemptRecord>& attempts,
                                    const RepetitionOutcome* outcome, double seconds, const Dataset& data);

// One model-selection row per run, in run order.
std::vector<ModelSelectionRow> modelSelectionRows(const std::vector<KRun>& runs, std::optional<std::size_t> selected,
                                                  const Dataset& data);

// Every k of `ks` in turn (each spreading its work over the pool), shown on
// the console in that order as it ends;
// the attempts and the model-selection rows go to the record. Returns the
// kept repetition of the k with the lowest BIC; a k that fails is shown with
// a warning and left out, and the run fails only when no k gives a result.
Result<RepetitionOutcome> runKSweep(const Dataset& data, const std::vector<std::int32_t>& ks,
                                    const RepetitionSettings& common, std::uint32_t seed,
                                    const AttemptRunner& runAttempt, ThreadPool& pool, Reporter& reporter,
                                    RunRecord& record);

}  // namespace orthomix
