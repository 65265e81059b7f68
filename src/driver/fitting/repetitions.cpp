#include "driver/fitting/repetitions.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

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
    record.reachedIterationCap =
        result.emCompleted && !result.converged && result.iterations >= kMaxEmIterations;
    record.logLikelihood = result.logLikelihood;
    record.logLikelihoodByIteration = result.logLikelihoodByIteration;
    record.humanSpread = result.humanSpread;
    record.mouseSpread = result.mouseSpread;
    record.scatterPairs = result.scatterPairs;
    record.timings = result.timings;
    record.humanStart = result.humanStart;
    record.mouseStart = result.mouseStart;
    return record;
}

// The run stops: the reason most of the streak's attempts gave (the earliest
// of equally frequent ones), and the sizes that usually explain it.
Error rejectedInARowError(std::int32_t repetition, const std::vector<AttemptRecord>& attempts, int streak,
                          const Dataset& data, std::int32_t k) {
    std::vector<std::pair<std::string_view, int>> tally;  // in order of first appearance
    for (auto record = attempts.end() - streak; record != attempts.end(); ++record) {
        auto found = std::find_if(tally.begin(), tally.end(),
                                  [&](const auto& entry) { return entry.first == record->rejectionReason; });
        if (found == tally.end()) found = tally.insert(tally.end(), {record->rejectionReason, 0});
        ++found->second;
    }
    const auto most = std::max_element(tally.begin(), tally.end(),
                                        [](const auto& a, const auto& b) { return a.second < b.second; });
    return Error{"Repetition " + std::to_string(repetition) + " was rejected " + std::to_string(streak) +
                 " times in a row, " + std::to_string(most->second) + " times for \"" + std::string(most->first) +
                 "\" (the most frequent reason), with " + std::to_string(data.human.geneCount()) + " human and " +
                 std::to_string(data.mouse.geneCount()) + " mouse genes kept, k = " + std::to_string(k) + " and " +
                 std::to_string(data.orthologs.pairs.size()) +
                 " ortholog pairs whose genes are both kept. Usual causes: k too large for the data, too few "
                 "ortholog pairs, or constant expression columns."};
}

}  // namespace

void AttemptProgress::post(std::string text) {
    if (!reporter_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (prefix_.empty()) {
        waiting_.push_back(std::move(text));
    } else {
        reporter_->note(prefix_ + text);
    }
}

void AttemptProgress::postTransient(std::string text) {
    if (!reporter_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!prefix_.empty()) reporter_->note(prefix_ + text);
}

void AttemptProgress::name(std::int32_t repetition, std::int32_t attempt) {
    if (!reporter_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!prefix_.empty()) return;
    prefix_ = "repetition " + std::to_string(repetition) + " attempt " + std::to_string(attempt) + " ";
    for (const std::string& text : waiting_) reporter_->note(prefix_ + text);
    waiting_.clear();
}

bool AttemptContext::mayStartIteration(int iteration) const {
    if (iteration > kIterationsAhead) waitUntilNeeded();
    return !cancel.load();
}

namespace {

// One attempt started ahead of the loop, from the start a sequential run
// would draw for it.
struct Flight {
    explicit Flight(Reporter* reporter) : progress(reporter) {}
    AttemptStart start;
    AttemptProgress progress;
    ThreadPool::Task task;
    std::optional<Result<AttemptResult>> result;  // written by the task
    double seconds = 0.0;
    bool needed = false;  // the loop waits for it; guarded by the flights' mutex
    std::function<void()> waitUntilNeeded;
};

// The attempts started and not yet judged, oldest first. Only the oldest is
// needed for sure; the others run ahead, each for a few iterations, then wait
// until they are needed, so that a long attempt that the loop waits for gets
// the threads. Whatever happens to the loop, those still running are told to
// stop and waited for, since they read the loop's data.
class Flights {
public:
    Flights(ThreadPool& pool, const AttemptRunner& runner) : pool_(pool), runner_(runner) {}
    ~Flights() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancel_ = true;
        }
        wake_.notify_all();
        for (const auto& flight : queue_) pool_.waitIgnoringFailure(flight->task);
    }

    std::size_t size() const { return queue_.size(); }
    // The oldest attempt, from now on needed.
    Flight& front() {
        Flight& flight = *queue_.front();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            flight.needed = true;
        }
        wake_.notify_all();
        return flight;
    }
    void popFront() { queue_.pop_front(); }

    // An attempt that is next in line is named before it starts, so that its
    // lines go out as they come, also when it runs on the calling thread.
    // An attempt that runs alone (`alone`: none other is in flight) runs
    // right here, as with one thread: its iterations are split over the pool
    // all the same, and its memory comes from where the previous attempt's
    // went. On a worker each attempt would take fresh memory from that
    // worker's own heap, and the first touch of every page of it costs a
    // page fault (about 10 us each on the virtual machine measured).
    void launch(AttemptStart start, Reporter* verboseReporter, std::int32_t repetition, std::int32_t attempt,
                bool alone) {
        queue_.push_back(std::make_unique<Flight>(verboseReporter));
        Flight* flight = queue_.back().get();
        flight->start = std::move(start);
        if (queue_.size() == 1) {
            flight->progress.name(repetition, attempt);
            flight->needed = true;  // before the task exists: with one thread it runs right here
        }
        flight->waitUntilNeeded = [this, flight] {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return flight->needed || cancel_; });
        };
        const auto run = [this, flight] {
            if (cancel_) return;
            const auto started = std::chrono::steady_clock::now();
            flight->result =
                runner_(flight->start, AttemptContext{flight->progress, cancel_, flight->waitUntilNeeded});
            flight->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        };
        if (alone) {
            run();  // the task stays empty: there is nothing to wait for
            return;
        }
        flight->task = pool_.submit(run);
    }

private:
    ThreadPool& pool_;
    const AttemptRunner& runner_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> cancel_{false};
    std::deque<std::unique_ptr<Flight>> queue_;
};

}  // namespace

Result<RepetitionOutcome> runRepetitions(const Dataset& data, const RepetitionSettings& settings,
                                         RandomGenerator& random, const AttemptRunner& runAttempt, Reporter& reporter,
                                         std::vector<AttemptRecord>& attempts, ThreadPool& pool) {
    ORTHOMIX_TRY(requireSeedableGenes(settings.k, data.human.geneCount(), "human"));
    ORTHOMIX_TRY(requireSeedableGenes(settings.k, data.mouse.geneCount(), "mouse"));

    RepetitionOutcome outcome;
    outcome.bestLogLikelihood = -std::numeric_limits<double>::infinity();
    bool haveBest = false;
    std::int32_t repetition = 0;
    int rejectedInARow = 0;
    std::size_t acceptedCount = 0;
    std::size_t rejectedCount = 0;
    Flights flights(pool, runAttempt);
    Reporter* verboseReporter = settings.verbose ? &reporter : nullptr;
    while (repetition != settings.nMaxAlgRun) {
        // One attempt at a time, its iterations split over the threads, while
        // most attempts are accepted; once rejections outnumber acceptances
        // (most attempts end within a few iterations), one attempt per thread
        // runs ahead instead, since a rejected attempt costs little and the
        // split of an iteration never pays off as well as separate attempts.
        const std::size_t ahead = rejectedCount > acceptedCount ? pool.threads() : 1;
        while (flights.size() < ahead) {
            flights.launch(drawAttemptStart(random, settings.k, data), verboseReporter, repetition, rejectedInARow + 1,
                           ahead == 1);
        }
        Flight& flight = flights.front();
        flight.progress.name(repetition, rejectedInARow + 1);
        pool.wait(flight.task);
        if (!*flight.result) return flight.result->error();
        AttemptResult& result = **flight.result;
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
        record.seconds = flight.seconds;
        if (!record.accepted) {
            ++rejectedCount;
            if (settings.verbose) {
                reporter.note("repetition " + std::to_string(repetition) + " attempt " +
                              std::to_string(record.attempt) + " rejected: " + record.rejectionReason);
            }
            flights.popFront();
            if (++rejectedInARow >= kMaxRejectedAttempts) {
                return rejectedInARowError(repetition, attempts, rejectedInARow, data, settings.k);
            }
            continue;
        }
        ++acceptedCount;
        rejectedInARow = 0;
        reporter.line("Repetitive times:" + std::to_string(repetition));
        const double logLikelihood = result.logLikelihood;
        outcome.acceptedLabels.push_back(RepetitionLabels{result.human.labels, result.mouse.labels});
        // Strictly greater: an equal or NaN likelihood keeps the earlier best.
        if (logLikelihood > outcome.bestLogLikelihood) {
            outcome.bestAccepted = outcome.acceptedLabels.size() - 1;
            outcome.bestLogLikelihood = logLikelihood;
            outcome.best = std::move(result);
            outcome.bestRepetition = repetition;
            haveBest = true;
        }
        reporter.line("......likelihood=\t" + formatNumber(logLikelihood));
        flights.popFront();
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
