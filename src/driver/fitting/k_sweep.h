#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "driver/fitting/repetitions.h"
#include "io/result_writers.h"
#include "records/dataset.h"
#include "support/error.h"
#include "support/reporter.h"

namespace orthomix {

// The repetitions of one k: the records of its attempts, and its kept
// repetition or the error that ended them.
struct KRun {
    std::int32_t k = 0;
    Result<RepetitionOutcome> outcome = Error{"not run"};
    std::vector<AttemptRecord> attempts;
    double seconds = 0.0;
};

// Runs the repetitions of run.k from a generator seeded afresh with `seed`, so
// that the outcome is that of a run with only this k, reporting to
// `reporter`. The attempts are added to the run as they are judged, so that a
// run stopped by running out of memory still shows them.
void runOneK(KRun& run, const Dataset& data, const RepetitionSettings& settings, std::uint32_t seed,
             const AttemptRunner& runAttempt, ThreadPool& pool, Reporter& reporter);

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

// Runs every k of `ks` in turn (each spreading its work over the pool),
// adding one run per k to `runs`, and returns the position of the kept one,
// the run with the lowest BIC. For a sweep, each k is shown once it ends: the
// line "k = <value>", what it reported, the warnings about its k-means starts
// and, when it gave no result, a warning with its message; a k that fails is
// left out and the sweep fails only when no k gives a result. Otherwise the
// one k reports as it goes, then the warnings about its starts, and its error
// is the run's.
Result<std::size_t> runKSweep(const Dataset& data, const std::vector<std::int32_t>& ks, bool sweep,
                              const RepetitionSettings& common, std::uint32_t seed, const AttemptRunner& runAttempt,
                              ThreadPool& pool, Reporter& reporter, std::vector<KRun>& runs);

}  // namespace orthomix
