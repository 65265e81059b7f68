#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "driver/fitting/bic.h"
#include "model/clustering_stability.h"
#include "model/em_attempt.h"
#include "numeric/random_generator.h"
#include "records/dataset.h"
#include "support/error.h"
#include "support/reporter.h"
#include "support/thread_pool.h"

namespace orthomix {

// A repetition number rejected this many times in a row stops the run.
inline constexpr int kMaxRejectedAttempts = 100;

// One attempt of the repetition loop, accepted or rejected, as the run record shows it.
struct AttemptRecord {
    std::int32_t k = 0;
    std::int32_t repetition = 0;  // the number the attempt ran under
    std::int32_t attempt = 1;     // 1 for the first try of that number, 2 for its first retry, ...
    bool accepted = false;
    std::string rejectionReason;
    int iterations = 0;
    bool reachedIterationCap = false;  // the EM stopped at kMaxEmIterations without converging
    double logLikelihood = 0.0;  // of the last completed iteration
    std::vector<double> logLikelihoodByIteration;
    double humanSpread = 0.0;
    double mouseSpread = 0.0;
    std::size_t scatterPairs = 0;
    double seconds = 0.0;
    EmTimings timings;
    StartClusters humanStart;
    StartClusters mouseStart;
};

struct RepetitionSettings {
    std::int32_t k = 0;
    std::int32_t nMaxAlgRun = 0;
    bool verbose = false;  // a note on standard error for every rejected attempt
};

// The kept repetition: the first accepted one with the highest log-likelihood.
struct RepetitionOutcome {
    AttemptResult best;
    std::int32_t bestRepetition = -1;
    double bestLogLikelihood = 0.0;
    double bic = 0.0;
    // The labels of every accepted repetition in order, for the stability of
    // the clustering; the best one at bestAccepted.
    std::vector<RepetitionLabels> acceptedLabels;
    std::size_t bestAccepted = 0;
};

// The verbose lines of one attempt. Attempts run ahead of the loop, and an
// attempt's repetition and attempt numbers are known only once every earlier
// attempt has been judged: its lines wait until then and go out whole and in
// order, each prefixed with "repetition R attempt A ". Safe to use from the
// attempt's thread while the loop names it.
class AttemptProgress {
public:
    // No reporter: every line is dropped.
    explicit AttemptProgress(Reporter* reporter = nullptr) : reporter_(reporter) {}

    bool enabled() const { return reporter_ != nullptr; }
    // A line that must appear.
    void post(std::string text);
    // A line that is only worth showing at once (progress within an
    // iteration): dropped while the numbers are not known yet.
    void postTransient(std::string text);
    // Names the attempt and sends the lines that waited for it.
    void name(std::int32_t repetition, std::int32_t attempt);

private:
    std::mutex mutex_;
    Reporter* reporter_;
    std::string prefix_;  // empty until named
    std::vector<std::string> waiting_;
};

// The iterations an attempt may run ahead before it waits to be needed.
// Attempts whose densities leave the range of numbers are rejected within
// their first three iterations; one that gets past them is usually accepted,
// and an attempt behind it would then be work thrown away.
inline constexpr int kIterationsAhead = 3;

// What the loop hands an attempt besides its start.
struct AttemptContext {
    AttemptProgress& progress;
    const std::atomic<bool>& cancel;  // set once the loop no longer needs the attempt
    // Returns once the loop waits for this attempt or has cancelled it.
    const std::function<void()>& waitUntilNeeded;

    // Asked before iteration `iteration` (from 1). From iteration
    // kIterationsAhead + 1 on, an attempt that runs ahead of the one the
    // loop waits for holds back here until it is needed, so that the attempt
    // waited for gets the threads; most rejected attempts have ended by
    // then. False once the loop no longer needs the attempt.
    bool mayStartIteration(int iteration) const;
};

// Runs one attempt from its start. May be called from several threads at
// once, for attempts that run ahead of the loop.
using AttemptRunner = std::function<Result<AttemptResult>(const AttemptStart& start, const AttemptContext& context)>;

// Repeats attempts from random starts until nMaxAlgRun are accepted: an
// attempt is accepted when it yields a clustering and leaves fewer scatter
// pairs than either organism has genes; a rejected one runs again under the
// same number, up to kMaxRejectedAttempts times in a row. Reports every
// attempt and the final likelihood and BIC on the console, and appends one
// record per attempt to `attempts` as it goes. With a pool of several
// threads, later attempts run ahead from the starts a sequential run would
// draw for them; their results are taken strictly in order, so everything
// reported is what one thread reports.
Result<RepetitionOutcome> runRepetitions(const Dataset& data, const RepetitionSettings& settings,
                                         RandomGenerator& random, const AttemptRunner& runAttempt, Reporter& reporter,
                                         std::vector<AttemptRecord>& attempts, ThreadPool& pool);

}  // namespace orthomix
