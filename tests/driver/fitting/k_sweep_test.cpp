// The sweep over k in memory: every k from a fresh generator, its console
// text shown in k order, a failing k skipped, the lowest BIC kept.
#include "driver/fitting/k_sweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "driver/driver_test_data.h"
#include "support/recording_reporter.h"

namespace orthomix {
namespace {

using testing::countOnlyDataset;
using testing::RecordingReporter;

// Accepts every attempt with a likelihood set per k (later repetitions a
// little lower), posts a progress line for each attempt, and keeps every
// start it was given per k. Attempts run one after another on a pool of one
// thread, so the n-th start of a k is its repetition n.
struct ScriptedSweep {
    std::map<std::int32_t, double> likelihoodOfK;
    std::map<std::int32_t, std::vector<AttemptStart>> starts;

    AttemptRunner runner() {
        return [this](const AttemptStart& start, const AttemptContext& context) -> Result<AttemptResult> {
            const auto k = static_cast<std::int32_t>(start.humanSeeds.size());
            const auto repetition = static_cast<std::int32_t>(starts[k].size());
            starts[k].push_back(start);
            context.progress.post("k" + std::to_string(k));
            AttemptResult result;
            result.emCompleted = true;
            result.scatterPairs = 5;
            result.iterations = k + repetition;
            result.logLikelihood = likelihoodOfK[k] - repetition;
            result.logLikelihoodByIteration = {result.logLikelihood - 1.0, result.logLikelihood};
            return result;
        };
    }
};

TEST(KSweep, EachKIsTheRunOfThatKAloneShownInOrderWithTheLowestBicKept) {
    const Dataset data = countOnlyDataset();
    ThreadPool pool(1);
    ScriptedSweep scripted;
    // BIC = ln(50) * 16 k - 2 L: 725.2 for k = 2, 487.8 for k = 3, 593.0 for k = 5.
    scripted.likelihoodOfK = {{2, -300.0}, {3, -150.0}, {5, -140.0}};
    RecordingReporter console;
    std::vector<KRun> runs;
    const Result<std::size_t> kept = runKSweep(data, {2, 3, 5}, true, RepetitionSettings{0, 2, true}, 11,
                                               scripted.runner(), pool, console, runs);
    ASSERT_TRUE(kept) << kept.error().message;
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(*kept, 1u);
    EXPECT_EQ(runs[*kept].outcome->bestLogLikelihood, -150.0) << "k = 3 has the lowest BIC, not the highest likelihood";
    const std::vector<ModelSelectionRow> rows = modelSelectionRows(runs, *kept, data);

    std::string expectedOut;
    std::string expectedErr;
    for (const std::int32_t k : {2, 3, 5}) {
        // The same k run alone, from a generator seeded the same way.
        ScriptedSweep alone;
        alone.likelihoodOfK = scripted.likelihoodOfK;
        RecordingReporter aloneConsole;
        std::vector<AttemptRecord> aloneAttempts;
        RandomGenerator random(11);
        const Result<RepetitionOutcome> single = runRepetitions(data, RepetitionSettings{k, 2, true}, random,
                                                                alone.runner(), aloneConsole, aloneAttempts, pool);
        ASSERT_TRUE(single);
        expectedOut += "k = " + std::to_string(k) + "\n" + aloneConsole.out;
        expectedErr += aloneConsole.err;
        ASSERT_EQ(scripted.starts[k].size(), alone.starts[k].size()) << "k = " << k;
        for (std::size_t i = 0; i < alone.starts[k].size(); ++i) {
            EXPECT_EQ(scripted.starts[k][i].humanSeeds, alone.starts[k][i].humanSeeds) << "k = " << k;
            EXPECT_EQ(scripted.starts[k][i].mouseSeeds, alone.starts[k][i].mouseSeeds) << "k = " << k;
        }
        const ModelSelectionRow& row = rows[static_cast<std::size_t>(k == 2 ? 0 : k == 3 ? 1 : 2)];
        EXPECT_EQ(row.k, k);
        EXPECT_TRUE(row.completed);
        EXPECT_EQ(row.logLikelihood, single->bestLogLikelihood) << "k = " << k;
        EXPECT_EQ(row.bic, single->bic) << "k = " << k;
        EXPECT_EQ(row.iterations, k) << "the kept repetition's iterations";
        EXPECT_EQ(row.parameters, 2 * k * (4 + 3 + 1));
        EXPECT_EQ(row.repetitionsAccepted, 2);
        EXPECT_EQ(row.selected, k == 3);
    }
    EXPECT_EQ(console.out, expectedOut + "Chosen k = 3 with the lowest BIC = 487.777\n")
        << "the sweep closes naming the kept k, not the last one";
    EXPECT_EQ(console.err, expectedErr) << "progress notes follow their own k; k = 3 lies inside the range";
    EXPECT_EQ(console.err, "repetition 0 attempt 1 k2\nrepetition 1 attempt 1 k2\nrepetition 0 attempt 1 k3\n"
                           "repetition 1 attempt 1 k3\nrepetition 0 attempt 1 k5\nrepetition 1 attempt 1 k5\n");
    for (const KRun& run : runs) ASSERT_EQ(run.attempts.size(), 2u) << "k = " << run.k;
    EXPECT_EQ(runs[1].outcome->acceptedLabels.size(), 2u) << "every accepted repetition's labels are kept";
    EXPECT_EQ(runs[1].outcome->bestAccepted, 0u) << "later repetitions have lower likelihoods";
    EXPECT_EQ(runs[1].attempts[0].k, 3);
    EXPECT_EQ(runs[1].attempts[0].logLikelihoodByIteration, (std::vector<double>{-151.0, -150.0}));
}

TEST(KSweep, AFailingKIsShownWithAWarningAndOnlyASweepWithoutResultFails) {
    const Dataset data = countOnlyDataset();
    ThreadPool pool(1);
    ScriptedSweep scripted;
    scripted.likelihoodOfK = {{2, -300.0}};
    RecordingReporter console;
    std::vector<KRun> runs;
    const Result<std::size_t> kept =
        runKSweep(data, {2, 21}, true, RepetitionSettings{0, 1, true}, 5, scripted.runner(), pool, console, runs);
    ASSERT_TRUE(kept) << kept.error().message;
    EXPECT_EQ(*kept, 0u);
    const std::string tooLarge =
        "k = 21 is larger than the number of mouse genes that can seed a cluster (20): lower k, or keep more genes "
        "in preprocessing";
    EXPECT_NE(console.out.find("Final BIC"), std::string::npos);
    const std::string closing = "Chosen k = 2 with the lowest BIC = ";
    ASSERT_NE(console.out.find("k = 21\n" + closing), std::string::npos)
        << "the failed k shows its line, then nothing but the choice: " << console.out;
    EXPECT_EQ(console.err, "repetition 0 attempt 1 k2\nwarning: k = 21 gave no result: " + tooLarge + "\n")
        << "the one k with a result is no end of a range";
    const std::vector<ModelSelectionRow> rows = modelSelectionRows(runs, *kept, data);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].selected);
    EXPECT_FALSE(rows[1].completed);
    EXPECT_FALSE(rows[1].selected);

    RecordingReporter failedConsole;
    std::vector<KRun> failedRuns;
    const Result<std::size_t> none = runKSweep(data, {21, 25}, true, RepetitionSettings{0, 1, false}, 5,
                                               scripted.runner(), pool, failedConsole, failedRuns);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().message, "No k of kValues gave a result; for k = 21: " + tooLarge);
    EXPECT_EQ(failedRuns.size(), 2u) << "what was tried is still there to show";
}

TEST(KSweep, ASingleKReportsAsItGoesAndItsErrorIsTheRunsOwn) {
    const Dataset data = countOnlyDataset();
    ThreadPool pool(1);
    ScriptedSweep scripted;
    scripted.likelihoodOfK = {{3, -150.0}};
    RecordingReporter console;
    std::vector<KRun> runs;
    const Result<std::size_t> kept =
        runKSweep(data, {3}, false, RepetitionSettings{0, 2, false}, 11, scripted.runner(), pool, console, runs);
    ASSERT_TRUE(kept) << kept.error().message;
    EXPECT_EQ(*kept, 0u);
    EXPECT_EQ(console.out.find("k = 3"), std::string::npos) << "no heading for a run of one k";
    EXPECT_EQ(console.out.substr(0, 2), "\n\n") << "the repetitions' own lines come first";

    RecordingReporter failedConsole;
    std::vector<KRun> failedRuns;
    const Result<std::size_t> none =
        runKSweep(data, {21}, false, RepetitionSettings{0, 1, false}, 5, scripted.runner(), pool, failedConsole,
                  failedRuns);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().message,
              "k = 21 is larger than the number of mouse genes that can seed a cluster (20): lower k, or keep more "
              "genes in preprocessing");
    EXPECT_EQ(failedConsole.err, "") << "no warning repeats the error";
}

TEST(KSweep, TheLowestBicWinsTiesGoFirstAndNotANumberLoses) {
    const auto runOf = [](std::int32_t k, double bic) {
        KRun run;
        run.k = k;
        RepetitionOutcome outcome;
        outcome.bic = bic;
        run.outcome = std::move(outcome);
        return run;
    };
    KRun failed;
    failed.k = 9;
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    std::vector<KRun> runs;
    EXPECT_FALSE(selectLowestBic(runs).has_value());
    runs.push_back(std::move(failed));
    EXPECT_FALSE(selectLowestBic(runs).has_value()) << "a failed k is never selected";
    runs.push_back(runOf(3, kNaN));
    EXPECT_EQ(selectLowestBic(runs), 1u) << "a NaN BIC is kept only without a number";
    runs.push_back(runOf(4, 120.0));
    runs.push_back(runOf(5, 100.0));
    runs.push_back(runOf(6, 100.0));
    runs.push_back(runOf(7, kNaN));
    EXPECT_EQ(selectLowestBic(runs), 3u) << "the lowest; on a tie the earlier k";
}

TEST(ModelSelectionRow, IclAddsTwiceTheAssignmentEntropyAndStabilityComparesWithTheBest) {
    const Dataset data = countOnlyDataset();
    RepetitionOutcome outcome;
    outcome.bic = 100.0;
    // Sure genes add nothing, a gene without a pair is left out, and a gene
    // split evenly between its cluster and the rest adds ln 2.
    outcome.best.human.posteriors = {1.0, std::numeric_limits<double>::quiet_NaN(), 0.5};
    outcome.best.mouse.posteriors = {0.9};
    const double entropy = std::log(2.0) - (0.9 * std::log(0.9) + 0.1 * std::log(0.1));
    const RepetitionLabels labels{{0, 0, 1, 1}, {1, 0, 2}};
    outcome.acceptedLabels = {labels, labels, labels};
    outcome.bestAccepted = 1;
    ModelSelectionRow row = modelSelectionRow(3, {}, &outcome, 0.0, data);
    EXPECT_NEAR(row.icl, 100.0 + 2.0 * entropy, 1e-12);
    EXPECT_EQ(row.humanStability, 1.0) << "every repetition gives the same clustering";
    EXPECT_EQ(row.mouseStability, 1.0);

    // The same partition under other numbers agrees fully; one that splits
    // every pair of the best apart agrees less than by chance.
    outcome.acceptedLabels[0].human = {5, 5, 3, 3};
    outcome.acceptedLabels[2].mouse = {0, 1, 1};
    row = modelSelectionRow(3, {}, &outcome, 0.0, data);
    EXPECT_EQ(row.humanStability, 1.0);
    ASSERT_TRUE(row.mouseStability.has_value());
    EXPECT_LT(*row.mouseStability, 1.0);

    outcome.acceptedLabels.resize(1);
    outcome.bestAccepted = 0;
    row = modelSelectionRow(3, {}, &outcome, 0.0, data);
    EXPECT_FALSE(row.humanStability.has_value()) << "one repetition has nothing to agree with";
}

TEST(BufferedReporter, ReplaysEveryStreamInTheOrderReported) {
    BufferedReporter buffer;
    buffer.line("one");
    buffer.note("two");
    buffer.warning("three");
    buffer.line("four");
    buffer.error("five");
    RecordingReporter console;
    buffer.replay(console);
    EXPECT_EQ(console.out, "one\nfour\n");
    EXPECT_EQ(console.err, "two\nwarning: three\nfive\n");
    buffer.replay(console);
    EXPECT_EQ(console.out, "one\nfour\none\nfour\n") << "a replay leaves the buffer as it was";
}

}  // namespace
}  // namespace orthomix
