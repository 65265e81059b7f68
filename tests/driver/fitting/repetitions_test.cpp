// The repetition loop in memory: acceptance, the rejection limit, the choice
// of the best repetition, the random starts and the console report.
#include "driver/fitting/repetitions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <limits>
#include <string>
#include <vector>

#include "driver/driver_test_data.h"
#include "support/number_format.h"
#include "support/recording_reporter.h"

namespace orthomix {
namespace {

using testing::countOnlyDataset;
using testing::RecordingReporter;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

AttemptResult accepted(double logLikelihood, std::size_t scatterPairs = 5) {
    AttemptResult result;
    result.emCompleted = true;
    result.logLikelihood = logLikelihood;
    result.scatterPairs = scatterPairs;
    result.iterations = 7;
    return result;
}

AttemptResult rejected(const char* reason, bool emCompleted = false) {
    AttemptResult result;
    result.rejectionReason = reason;
    result.emCompleted = emCompleted;
    return result;
}

// Hands out the scripted results in order and keeps every start it was given.
struct ScriptedRunner {
    std::vector<AttemptResult> script;
    std::vector<AttemptStart> starts;
    std::vector<std::pair<std::int32_t, std::int32_t>> numbers;  // (repetition, attempt)

    AttemptRunner runner() {
        return [this](const AttemptStart& start, const AttemptContext&) -> Result<AttemptResult> {
            starts.push_back(start);
            if (starts.size() > script.size()) return accepted(-1.0);
            return script[starts.size() - 1];
        };
    }
};

struct LoopRun {
    Result<RepetitionOutcome> outcome = Error{"not run"};
    std::vector<AttemptRecord> attempts;
    RecordingReporter console;
};

LoopRun runLoop(const Dataset& data, ScriptedRunner& scripted, std::int32_t k, std::int32_t repetitions,
                std::uint32_t seed = 11, bool verbose = false) {
    LoopRun run;
    RandomGenerator random(seed);
    ThreadPool oneThread(1);
    run.outcome = runRepetitions(data, RepetitionSettings{k, repetitions, verbose}, random, scripted.runner(),
                                 run.console, run.attempts, oneThread);
    for (const AttemptRecord& attempt : run.attempts) scripted.numbers.emplace_back(attempt.repetition, attempt.attempt);
    return run;
}

std::string acceptedBlock(std::size_t scatter, int repetition, double logLikelihood) {
    return "\n\n\n......New repetition....\nscatter_gene_pair_cluster's size:\t" + std::to_string(scatter) +
           "\nRepetitive times:" + std::to_string(repetition) + "\n......likelihood=\t" + formatNumber(logLikelihood) +
           "\n";
}

TEST(RepetitionLoop, KeepsTheFirstOfTheHighestLikelihoodsAndReportsTheBic) {
    const Dataset data = countOnlyDataset();
    ScriptedRunner scripted;
    scripted.script = {accepted(-50.0, 3), accepted(-20.5, 4), accepted(kNaN, 5), accepted(-20.5, 6),
                       accepted(-30.0, 7)};
    scripted.script[1].iterations = 11;
    LoopRun run = runLoop(data, scripted, 3, 5);
    ASSERT_TRUE(run.outcome) << run.outcome.error().message;

    EXPECT_EQ(run.outcome->bestRepetition, 1) << "an equal later likelihood and a NaN one do not replace the best";
    EXPECT_EQ(run.outcome->bestLogLikelihood, -20.5);
    EXPECT_EQ(run.outcome->best.iterations, 11) << "the kept result is the best repetition's own";
    // P = 2 * 3 * (4 + 3 + 1) = 48 over N = 50 genes.
    const double bic = std::log(50.0) * 48 + 41.0;
    EXPECT_DOUBLE_EQ(run.outcome->bic, bic);
    EXPECT_EQ(run.console.out, acceptedBlock(3, 0, -50.0) + acceptedBlock(4, 1, -20.5) + acceptedBlock(5, 2, kNaN) +
                                   acceptedBlock(6, 3, -20.5) + acceptedBlock(7, 4, -30.0) +
                                   ".......\n\n\nThe maximum likelihood:\n-20.5\nFinal BIC:\n" + formatNumber(bic) +
                                   "\n")
        << "each likelihood line shows that repetition's value, not the best so far";
    EXPECT_EQ(run.console.err, "");
    ASSERT_EQ(run.attempts.size(), 5u);
    for (const AttemptRecord& attempt : run.attempts) EXPECT_TRUE(attempt.accepted);
}

TEST(RepetitionLoop, ARejectedAttemptRunsAgainUnderTheSameNumberWithTheNextDraws) {
    const Dataset data = countOnlyDataset();
    ScriptedRunner scripted;
    scripted.script = {accepted(-9.0), rejected("a gene without a nearest mean"),
                       rejected("a cluster left without members", true), accepted(-8.0), accepted(-7.0)};
    LoopRun run = runLoop(data, scripted, 4, 3, 11, true);
    ASSERT_TRUE(run.outcome) << run.outcome.error().message;

    EXPECT_EQ(scripted.numbers, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 1}, {1, 1}, {1, 2}, {1, 3},
                                                                                     {2, 1}}));
    // Every attempt, rejected or not, draws its start after the previous one's.
    RandomGenerator replay(11);
    for (const AttemptStart& start : scripted.starts) {
        const AttemptStart expected = drawAttemptStart(replay, 4, data);
        EXPECT_EQ(start.humanSeeds, expected.humanSeeds);
        EXPECT_EQ(start.mouseSeeds, expected.mouseSeeds);
        EXPECT_EQ(start.humanSeeds.size(), 4u);
    }
    EXPECT_NE(scripted.starts[1].humanSeeds, scripted.starts[2].humanSeeds) << "a retry does not reuse the draws";

    const std::string& out = run.console.out;
    EXPECT_NE(out.find(acceptedBlock(5, 0, -9.0) +
                       "\n\n\n......New repetition....\nscatter_gene_pair_cluster's size:\t0\n" +
                       acceptedBlock(5, 1, -8.0) + acceptedBlock(5, 2, -7.0)),
              std::string::npos)
        << "an attempt whose EM ended normally shows its block without a count; the others show nothing:\n"
        << out;
    EXPECT_EQ(run.console.err,
              "repetition 1 attempt 1 rejected: a gene without a nearest mean\n"
              "repetition 1 attempt 2 rejected: a cluster left without members\n");
    ASSERT_EQ(run.attempts.size(), 5u);
    EXPECT_FALSE(run.attempts[1].accepted);
    EXPECT_EQ(run.attempts[2].rejectionReason, "a cluster left without members");
    EXPECT_EQ(run.attempts[2].attempt, 2);
    EXPECT_EQ(run.attempts[3].repetition, 1);
    EXPECT_TRUE(run.attempts[3].accepted);
    EXPECT_EQ(run.outcome->bestRepetition, 2);
}

TEST(RepetitionLoop, AClusteringWithEveryGeneOfAnOrganismInScatterIsRejected) {
    const Dataset data = countOnlyDataset();
    ScriptedRunner scripted;
    scripted.script = {accepted(-1.0, 20), accepted(-2.0, 30), accepted(-3.0, 19)};
    LoopRun run = runLoop(data, scripted, 2, 1);
    ASSERT_TRUE(run.outcome);
    ASSERT_EQ(run.attempts.size(), 3u);
    EXPECT_EQ(run.attempts[0].rejectionReason, "every gene of an organism in scatter") << "the 20 mouse genes";
    EXPECT_EQ(run.attempts[1].rejectionReason, "every gene of an organism in scatter") << "the 30 human genes";
    EXPECT_TRUE(run.attempts[2].accepted);
    EXPECT_EQ(run.outcome->bestLogLikelihood, -3.0);
}

TEST(RepetitionLoop, StopsAfterAHundredRejectionsInARowOrWithoutAnyNumberToKeep) {
    const Dataset data = countOnlyDataset();
    ScriptedRunner scripted;
    scripted.script = {accepted(-4.0)};
    for (int i = 0; i < kMaxRejectedAttempts; ++i) scripted.script.push_back(rejected("every ortholog pair in scatter"));
    LoopRun run = runLoop(data, scripted, 2, 2);
    ASSERT_FALSE(run.outcome);
    EXPECT_EQ(run.outcome.error().message.rfind("Repetition 1 was rejected 100 times in a row, ", 0), 0u)
        << run.outcome.error().message;
    EXPECT_EQ(run.attempts.size(), 101u) << "every attempt is recorded up to the failure";
    EXPECT_EQ(run.console.out.find("Final BIC"), std::string::npos);

    ScriptedRunner allNaN;
    allNaN.script = {accepted(kNaN), accepted(kNaN)};
    LoopRun none = runLoop(data, allNaN, 2, 2);
    ASSERT_FALSE(none.outcome);
    EXPECT_EQ(none.outcome.error().message,
              "No repetition reached a log-likelihood that is a number; no result file was written");
}

TEST(RepetitionLoop, TheStopAfterAHundredRejectionsNamesTheMostFrequentReasonAndTheSizes) {
    Dataset data = countOnlyDataset();
    data.orthologs.pairs = {{0, 0}, {1, 1}, {2, 2}};
    ScriptedRunner scripted;
    // An earlier streak that ended in an acceptance does not count.
    for (int i = 0; i < 30; ++i) scripted.script.push_back(rejected("a cluster left without members"));
    scripted.script.push_back(accepted(-4.0));
    for (int i = 0; i < kMaxRejectedAttempts; ++i) {
        scripted.script.push_back(rejected(i % 5 < 2 ? "every ortholog pair in scatter"
                                                     : "a cluster without ortholog weight"));
    }
    LoopRun run = runLoop(data, scripted, 4, 2);
    ASSERT_FALSE(run.outcome);
    EXPECT_EQ(run.outcome.error().message,
              "Repetition 1 was rejected 100 times in a row, 60 times for \"a cluster without ortholog weight\" (the "
              "most frequent reason), with 30 human and 20 mouse genes kept, k = 4 and 3 ortholog pairs whose genes "
              "are both kept. Usual causes: k too large for the data, too few ortholog pairs, or constant expression "
              "columns.");

    // Equally frequent reasons: the one that came first.
    ScriptedRunner tied;
    for (int i = 0; i < kMaxRejectedAttempts; ++i) {
        tied.script.push_back(rejected(i % 2 == 0 ? "a gene without a nearest mean" : "a cluster left without members"));
    }
    LoopRun tie = runLoop(data, tied, 4, 1);
    ASSERT_FALSE(tie.outcome);
    EXPECT_NE(tie.outcome.error().message.find("50 times for \"a gene without a nearest mean\""), std::string::npos)
        << tie.outcome.error().message;
}

TEST(RepetitionLoop, AKTooLargeToSeedStopsBeforeTheFirstAttempt) {
    const Dataset data = countOnlyDataset();
    ScriptedRunner scripted;
    LoopRun run = runLoop(data, scripted, 21, 1);
    ASSERT_FALSE(run.outcome);
    EXPECT_EQ(run.outcome.error().message,
              "k = 21 is larger than the number of mouse genes that can seed a cluster (20): lower k, or keep more "
              "genes in preprocessing");
    EXPECT_TRUE(scripted.starts.empty());
    EXPECT_EQ(run.console.out, "");
}

TEST(RepetitionLoop, AnErrorOfAnAttemptEndsTheLoopAtOnce) {
    const Dataset data = countOnlyDataset();
    int calls = 0;
    const AttemptRunner failing = [&](const AttemptStart&, const AttemptContext&) -> Result<AttemptResult> {
        ++calls;
        return Error{"Numerical failure"};
    };
    RandomGenerator random(3);
    RecordingReporter console;
    std::vector<AttemptRecord> attempts;
    ThreadPool oneThread(1);
    const Result<RepetitionOutcome> outcome =
        runRepetitions(data, RepetitionSettings{2, 3, false}, random, failing, console, attempts, oneThread);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message, "Numerical failure");
    EXPECT_EQ(calls, 1);
}

// An attempt whose outcome follows from its start alone, as a real one's
// does: about two in five are rejected, one verbose line per iteration.
Result<AttemptResult> attemptFromStart(const AttemptStart& start, const AttemptContext& context) {
    std::uint32_t h = 17;
    for (const std::uint32_t seed : start.humanSeeds) h = h * 31 + seed;
    for (const std::uint32_t seed : start.mouseSeeds) h = h * 37 + seed;
    const int iterations = 1 + static_cast<int>(h % 3);
    for (int i = 1; i <= iterations; ++i) {
        if (!context.mayStartIteration(i)) return rejected("no longer needed");
        context.progress.post("iteration " + std::to_string(i) + ": " + std::to_string(h % 1000));
        // Uneven durations, so that later attempts often finish first.
        std::this_thread::sleep_for(std::chrono::microseconds(h % 5 == 0 ? 2000 : 100));
    }
    if ((h >> 4) % 5 < 2) return rejected("a cluster without ortholog weight", h % 2 == 0);
    return accepted(-static_cast<double>(h % 997), h % 7);
}

struct ThreadedLoop {
    Result<RepetitionOutcome> outcome = Error{"not run"};
    std::vector<AttemptRecord> attempts;
    RecordingReporter console;
};

ThreadedLoop runThreaded(unsigned threads, const AttemptRunner& runner, std::int32_t repetitions) {
    const Dataset data = countOnlyDataset();
    ThreadedLoop run;
    RandomGenerator random(5);
    ThreadPool pool(threads);
    run.outcome =
        runRepetitions(data, RepetitionSettings{3, repetitions, true}, random, runner, run.console, run.attempts, pool);
    return run;
}

TEST(RepetitionLoop, AttemptsRunningAheadOnSeveralThreadsChangeNothingThatIsReported) {
    const ThreadedLoop reference = runThreaded(1, attemptFromStart, 12);
    ASSERT_TRUE(reference.outcome) << reference.outcome.error().message;
    std::size_t rejectedAttempts = 0;
    for (const AttemptRecord& attempt : reference.attempts) rejectedAttempts += attempt.accepted ? 0 : 1;
    ASSERT_GT(rejectedAttempts, 2u) << "the case needs rejected attempts";
    for (const unsigned threads : {2u, 7u}) {
        const ThreadedLoop run = runThreaded(threads, attemptFromStart, 12);
        ASSERT_TRUE(run.outcome) << threads << " threads: " << run.outcome.error().message;
        EXPECT_EQ(run.console.out, reference.console.out) << threads << " threads";
        EXPECT_EQ(run.console.err, reference.console.err) << threads << " threads: the verbose lines";
        EXPECT_EQ(run.outcome->bestRepetition, reference.outcome->bestRepetition) << threads << " threads";
        EXPECT_EQ(run.outcome->bic, reference.outcome->bic) << threads << " threads";
        ASSERT_EQ(run.attempts.size(), reference.attempts.size()) << threads << " threads";
        for (std::size_t a = 0; a < run.attempts.size(); ++a) {
            const AttemptRecord& got = run.attempts[a];
            const AttemptRecord& want = reference.attempts[a];
            EXPECT_TRUE(got.repetition == want.repetition && got.attempt == want.attempt &&
                        got.accepted == want.accepted && got.rejectionReason == want.rejectionReason &&
                        got.logLikelihood == want.logLikelihood && got.scatterPairs == want.scatterPairs)
                << threads << " threads, attempt record " << a;
        }
    }
    // Each attempt's lines carry its own numbers, for instance the second try of a number.
    for (const AttemptRecord& attempt : reference.attempts) {
        const std::string prefix =
            "repetition " + std::to_string(attempt.repetition) + " attempt " + std::to_string(attempt.attempt) + " ";
        EXPECT_NE(reference.console.err.find(prefix + "iteration 1: "), std::string::npos) << prefix;
    }
}

TEST(RepetitionLoop, AttemptsAheadWaitUntilTheyAreNeededAndAreReleasedWhenTheLoopEnds) {
    // Every attempt asks at once for the first iteration that may be held
    // back: then only the attempt the loop waits for may work, one at a
    // time, and the loop's outcome stays that of one thread. Those still
    // waiting when the loop has its repetitions are let go, or the loop would
    // never return.
    std::atomic<int> working{0}, mostWorking{0}, released{0};
    const AttemptRunner gated = [&](const AttemptStart& start, const AttemptContext& context) -> Result<AttemptResult> {
        if (!context.mayStartIteration(kIterationsAhead + 1)) {
            ++released;
            return rejected("no longer needed");
        }
        const int now = ++working;
        int most = mostWorking.load();
        while (now > most && !mostWorking.compare_exchange_weak(most, now)) {
        }
        Result<AttemptResult> result = attemptFromStart(start, context);
        --working;
        return result;
    };
    const ThreadedLoop reference = runThreaded(1, attemptFromStart, 12);
    ASSERT_TRUE(reference.outcome) << reference.outcome.error().message;
    for (const unsigned threads : {2u, 7u}) {
        mostWorking = 0;
        const ThreadedLoop run = runThreaded(threads, gated, 12);
        ASSERT_TRUE(run.outcome) << threads << " threads: " << run.outcome.error().message;
        EXPECT_EQ(mostWorking.load(), 1) << threads << " threads: attempts past the wait at once";
        EXPECT_EQ(run.console.out, reference.console.out) << threads << " threads";
        EXPECT_EQ(run.console.err, reference.console.err) << threads << " threads";
        EXPECT_EQ(run.attempts.size(), reference.attempts.size()) << threads << " threads";
    }

    // The first attempt is rejected, so the next ones start together, one per
    // thread; each runs its first kIterationsAhead iterations without waiting,
    // and the first of them completes the run once all the others wait.
    for (const unsigned threads : {2u, 7u}) {
        std::atomic<int> calls{0}, waiting{0};
        std::atomic<bool> allArrived{false};
        released = 0;
        const AttemptRunner oneRejection = [&](const AttemptStart&,
                                               const AttemptContext& context) -> Result<AttemptResult> {
            if (++calls == 1) return rejected("a gene without a nearest mean");
            for (int iteration = 1; iteration <= kIterationsAhead; ++iteration) {
                if (!context.mayStartIteration(iteration)) return rejected("no longer needed");
            }
            ++waiting;
            if (!context.mayStartIteration(kIterationsAhead + 1)) {
                ++released;
                return rejected("no longer needed");
            }
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (waiting.load() < static_cast<int>(threads) && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            allArrived = waiting.load() == static_cast<int>(threads);
            return accepted(-3.0);
        };
        const ThreadedLoop run = runThreaded(threads, oneRejection, 1);
        ASSERT_TRUE(run.outcome) << run.outcome.error().message;
        EXPECT_EQ(run.attempts.size(), 2u);
        EXPECT_TRUE(allArrived.load()) << threads << " threads: attempts ahead were held back too early";
        EXPECT_EQ(released.load(), static_cast<int>(threads) - 1) << threads << " threads";
    }
}

TEST(RepetitionLoop, TheRejectionLimitHoldsWhileAttemptsRunAhead) {
    const AttemptRunner alwaysRejected = [](const AttemptStart&, const AttemptContext&) -> Result<AttemptResult> {
        return rejected("every ortholog pair in scatter");
    };
    for (const unsigned threads : {1u, 7u}) {
        const ThreadedLoop run = runThreaded(threads, alwaysRejected, 2);
        ASSERT_FALSE(run.outcome);
        EXPECT_EQ(run.outcome.error().message.rfind(
                      "Repetition 0 was rejected 100 times in a row, 100 times for \"every ortholog pair in scatter\"",
                      0),
                  0u)
            << run.outcome.error().message;
        EXPECT_EQ(run.attempts.size(), 100u) << threads << " threads: attempts beyond the limit are not recorded";
    }
}

TEST(RepetitionLoop, AnAttemptThatRunsAloneRunsOnTheCallingThread) {
    // While attempts are accepted they run one at a time, on the thread that
    // runs the loop, as with one thread; only attempts run ahead go to workers.
    std::vector<std::thread::id> threadOfAttempt;
    const AttemptRunner runner = [&](const AttemptStart&, const AttemptContext&) -> Result<AttemptResult> {
        threadOfAttempt.push_back(std::this_thread::get_id());
        return accepted(-static_cast<double>(threadOfAttempt.size()));
    };
    const ThreadedLoop run = runThreaded(3, runner, 4);
    ASSERT_TRUE(run.outcome) << run.outcome.error().message;
    ASSERT_EQ(threadOfAttempt.size(), 4u);
    for (const std::thread::id id : threadOfAttempt) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(RepetitionLoop, AttemptsThatAreNoLongerNeededAreToldToStop) {
    // The first attempt is rejected, so the loop runs two at once; the second
    // completes the run while the third waits for the stop.
    std::atomic<int> calls{0};
    std::atomic<bool> thirdStopped{false};
    const AttemptRunner runner = [&](const AttemptStart&, const AttemptContext& context) -> Result<AttemptResult> {
        const int call = ++calls;
        if (call == 1) return rejected("a gene without a nearest mean");
        if (call == 2) return accepted(-3.0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!context.cancel && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        thirdStopped = context.cancel.load();
        return rejected("no longer needed");
    };
    const ThreadedLoop run = runThreaded(2, runner, 1);
    ASSERT_TRUE(run.outcome) << run.outcome.error().message;
    EXPECT_EQ(run.attempts.size(), 2u);
    EXPECT_EQ(run.outcome->bestLogLikelihood, -3.0);
    if (calls.load() >= 3) {
        EXPECT_TRUE(thirdStopped.load()) << "the loop returned before the third attempt saw the stop";
    }
}

}  // namespace
}  // namespace orthomix
