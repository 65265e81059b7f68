// The repetition loop in memory: acceptance, the rejection limit, the choice
// of the best repetition, the random starts and the console report.
#include "driver/repetitions.h"

#include <gtest/gtest.h>

#include <cmath>
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
        return [this](const AttemptStart& start, std::int32_t repetition, std::int32_t attempt) -> Result<AttemptResult> {
            starts.push_back(start);
            numbers.emplace_back(repetition, attempt);
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
    run.outcome = runRepetitions(data, RepetitionSettings{k, repetitions, verbose}, random, scripted.runner(),
                                 run.console, run.attempts);
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
    const AttemptRunner failing = [&](const AttemptStart&, std::int32_t, std::int32_t) -> Result<AttemptResult> {
        ++calls;
        return Error{"Numerical failure"};
    };
    RandomGenerator random(3);
    RecordingReporter console;
    std::vector<AttemptRecord> attempts;
    const Result<RepetitionOutcome> outcome =
        runRepetitions(data, RepetitionSettings{2, 3, false}, random, failing, console, attempts);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().message, "Numerical failure");
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace orthomix
