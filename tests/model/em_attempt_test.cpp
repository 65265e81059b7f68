#include "model/em_attempt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <atomic>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "model/kmeans_start.h"
#include "model_test_data.h"
#include "support/partition_metrics.h"

namespace orthomix {
namespace {

using testing::PlantedData;
using testing::plantedData;

AttemptSettings settingsWith(std::int32_t pseudoCounts, bool fastDensity = false) {
    return AttemptSettings{.stoppingThr = 1e-4,
                           .pseudoCounts = pseudoCounts,
                           .kmeansMaxIterations = 1,
                           .arithmetic = fastDensity ? kFastArithmetic : kExactArithmetic};
}

// Keeps what an attempt tells its caller, and refuses iterations past
// `grantedIterations` with `refusal`.
struct RecordingObserver : AttemptObserver {
    int grantedIterations = std::numeric_limits<int>::max();
    IterationPermit refusal = IterationPermit::NoLongerNeeded;
    bool wantsSteps = false;
    std::vector<int> asked;  // the iterations asked for, in order
    std::vector<IterationProgress> completed;
    std::mutex stepsMutex;
    std::vector<IterationStep> steps;

    IterationPermit mayStartIteration(int iteration) override {
        asked.push_back(iteration);
        return iteration <= grantedIterations ? IterationPermit::Granted : refusal;
    }
    void iterationCompleted(const IterationProgress& progress) override { completed.push_back(progress); }
    bool followsSteps() const override { return wantsSteps; }
    void stepProgress(const IterationStep& step) override {
        std::lock_guard<std::mutex> lock(stepsMutex);
        steps.push_back(step);
    }
};

// Runs an attempt that must not fail with an error; a rejection is a result.
AttemptResult attempt(const Dataset& data, const AttemptStart& start, const AttemptSettings& settings,
                      AttemptObserver* observer = nullptr) {
    AttemptObserver nobody;
    Result<AttemptResult> result = runAttempt(data, start, settings, observer ? *observer : nobody);
    if (!result) {
        ADD_FAILURE() << "attempt failed: " << result.error().message;
        AttemptResult failed;
        failed.rejectionReason = "error: " + result.error().message;
        return failed;
    }
    return std::move(result).value();
}

// Every gene's label is the position of the cluster whose members hold it, the
// cluster count when none does; no gene is a member of two clusters.
void expectLabelsMatchMembers(const OrganismClustering& clustering, std::size_t geneCount, const char* organism) {
    const auto none = static_cast<std::int32_t>(clustering.clusters.count());
    std::vector<std::int32_t> expected(geneCount, none);
    for (std::size_t c = 0; c < clustering.clusters.count(); ++c) {
        for (const std::uint32_t gene : clustering.clusters.members[c]) {
            ASSERT_LT(gene, geneCount) << organism;
            if (expected[gene] != none && expected[gene] != static_cast<std::int32_t>(c)) {
                ADD_FAILURE() << organism << " gene " << gene << " is a member of clusters " << expected[gene]
                              << " and " << c;
            }
            expected[gene] = static_cast<std::int32_t>(c);
        }
    }
    EXPECT_EQ(clustering.labels, expected) << organism;
}

TEST(DrawAttemptStart, HumanSeedsAreDrawnBeforeMouseSeeds) {
    const Dataset data = testing::datasetOf(
        testing::organismOf({"h0", "h1", "h2", "h3", "h4", "h5", "h6", "h7", "h8", "h9"},
                            std::vector<std::vector<double>>(10, {1.0})),
        testing::organismOf({"m0", "m1", "m2", "m3", "m4", "m5", "m6"}, std::vector<std::vector<double>>(7, {1.0})),
        {});
    RandomGenerator random(1);
    const AttemptStart start = drawAttemptStart(random, 3, data);
    RandomGenerator sequence(1);
    const std::vector<std::uint32_t> human = drawSeedPositions(sequence, 3, 10);
    const std::vector<std::uint32_t> mouse = drawSeedPositions(sequence, 3, 7);
    EXPECT_EQ(start.humanSeeds, (std::vector<std::uint32_t>{1, 7, 4}));
    EXPECT_EQ(start.humanSeeds, human);
    EXPECT_EQ(start.mouseSeeds, mouse) << "mouse seeds continue the human draws, modulo the mouse gene count";
    EXPECT_EQ(random.draw(), sequence.draw()) << "both leave the generator in the same state";
}

TEST(EmAttempt, OneGoodStartRecoversThePlantedClustersReproducibly) {
    const PlantedData planted = plantedData(4, 30, 8, 6, 17);
    const Dataset& data = planted.data;
    ASSERT_EQ(data.orthologs.summary.matched, 60u);
    // One seed in every planted cluster, the mouse seeds in another order, so
    // that the pair table has to reorder the mouse clusters.
    AttemptStart start;
    start.humanSeeds = {0, 30, 60, 90};
    start.mouseSeeds = {90, 0, 60, 30};
    const AttemptResult result = attempt(data, start, settingsWith(10));
    ASSERT_TRUE(result.usable()) << result.rejectionReason;
    EXPECT_TRUE(result.emCompleted);
    EXPECT_TRUE(std::isfinite(result.logLikelihood));
    EXPECT_GE(result.iterations, 1);
    EXPECT_LE(result.iterations, kMaxEmIterations);
    ASSERT_EQ(result.logLikelihoodByIteration.size(), static_cast<std::size_t>(result.iterations));
    EXPECT_EQ(result.logLikelihoodByIteration.back(), result.logLikelihood);
    ASSERT_EQ(result.human.clusters.count(), 4u);
    ASSERT_EQ(result.mouse.clusters.count(), 4u);
    for (const auto& members : result.human.clusters.members) EXPECT_FALSE(members.empty());
    for (const auto& members : result.mouse.clusters.members) EXPECT_FALSE(members.empty());
    EXPECT_EQ(result.human.parameters.clusterCount, 4u);
    EXPECT_EQ(result.mouse.parameters.columns, 6u);
    EXPECT_EQ(result.pairTable.rows, 4);
    EXPECT_EQ(result.pairTable.cols, 4);
    double tableTotal = result.pairTable.scatterProbability;
    for (const double cell : result.pairTable.cells) tableTotal += cell;
    EXPECT_NEAR(tableTotal, 1.0, 1e-12);
    EXPECT_GE(testing::adjustedRandIndex(planted.humanTruth, result.human.labels), 0.9);
    EXPECT_GE(testing::adjustedRandIndex(planted.mouseTruth, result.mouse.labels), 0.9);
    // The diagonalisation puts planted cluster c of both organisms at the same position.
    for (std::size_t g = 0; g < planted.humanTruth.size(); ++g) {
        if (planted.humanTruth[g] != planted.mouseTruth[g]) continue;
        EXPECT_EQ(result.human.labels[g], result.mouse.labels[g]) << "gene " << g << " of both organisms";
    }

    // The same start again: the same result to the last bit.
    const AttemptResult again = attempt(data, start, settingsWith(10));
    EXPECT_EQ(again.iterations, result.iterations);
    EXPECT_EQ(again.logLikelihoodByIteration, result.logLikelihoodByIteration);
    EXPECT_EQ(again.human.labels, result.human.labels);
    EXPECT_EQ(again.mouse.clusters.members, result.mouse.clusters.members);
    EXPECT_EQ(again.human.parameters.means, result.human.parameters.means);
    EXPECT_EQ(again.mouse.parameters.variances, result.mouse.parameters.variances);
    EXPECT_EQ(again.pairTable.cells, result.pairTable.cells);
    EXPECT_EQ(again.humanSpread, result.humanSpread);
}

TEST(EmAttempt, TheHighestLikelihoodAmongStartsRecoversThePlantedClusters) {
    // Random starts often put two seeds into one planted cluster; the
    // likelihood must single out a start that did not.
    const PlantedData planted = plantedData(4, 30, 8, 6, 17);
    RandomGenerator random(1);
    double best = -std::numeric_limits<double>::infinity();
    std::vector<std::int32_t> bestHuman, bestMouse;
    for (int start = 0; start < 8; ++start) {
        const AttemptResult result = attempt(planted.data, drawAttemptStart(random, 4, planted.data), settingsWith(10));
        if (!result.usable() || !(result.logLikelihood > best)) continue;
        best = result.logLikelihood;
        bestHuman = result.human.labels;
        bestMouse = result.mouse.labels;
    }
    ASSERT_FALSE(bestHuman.empty()) << "no start gave a usable clustering";
    EXPECT_GE(testing::adjustedRandIndex(planted.humanTruth, bestHuman), 0.9);
    EXPECT_GE(testing::adjustedRandIndex(planted.mouseTruth, bestMouse), 0.9);
}

TEST(EmAttempt, RejectedWhenEveryPairIsScatterOrNoPairMatches) {
    const PlantedData planted = plantedData(2, 10, 4, 4, 3);
    RandomGenerator random(5);

    Dataset unmatched = planted.data;
    unmatched.orthologs = resolveOrthologs({{"X1", "Y1"}}, unmatched.human, unmatched.mouse);
    ASSERT_TRUE(unmatched.orthologs.pairs.empty());
    const AttemptResult noPairs = attempt(unmatched, drawAttemptStart(random, 2, unmatched), settingsWith(10));
    EXPECT_EQ(noPairs.rejectionReason, "a cluster without ortholog weight");
    EXPECT_FALSE(noPairs.emCompleted);
    EXPECT_EQ(noPairs.iterations, 0);

    // A huge scatter pseudo count makes the scatter term win every pair.
    RecordingObserver observer;
    const AttemptResult allScatter =
        attempt(planted.data, drawAttemptStart(random, 2, planted.data), settingsWith(2000000000), &observer);
    EXPECT_EQ(allScatter.rejectionReason, "every ortholog pair in scatter");
    EXPECT_FALSE(allScatter.emCompleted);
    EXPECT_EQ(allScatter.iterations, 0) << "it fails in the first iteration";
    EXPECT_EQ(allScatter.scatterPairs, planted.data.orthologs.pairs.size());
    EXPECT_TRUE(observer.completed.empty()) << "a rejected iteration is not reported as completed";
}

TEST(EmAttempt, ReportsHowManyClustersEachKMeansStartLeft) {
    const PlantedData planted = plantedData(3, 10, 4, 4, 3);
    Dataset data = planted.data;
    // Every human gene has the same values: the three seeds start one cluster.
    data.human.expression = ExpressionMatrix(data.human.geneCount(), data.human.expression.columns());
    RandomGenerator random(5);
    const AttemptResult result = attempt(data, drawAttemptStart(random, 3, data), settingsWith(10));
    EXPECT_EQ(result.humanStart.seeded, 3);
    EXPECT_EQ(result.humanStart.kept, 1);
    EXPECT_EQ(result.humanStart.identicalSeeds, 2);
    EXPECT_EQ(result.mouseStart.seeded, 3);
    EXPECT_EQ(result.mouseStart.kept, 3) << "the mouse genes are planted in three clusters";
    EXPECT_EQ(result.mouseStart.identicalSeeds, 0);
}

TEST(EmAttempt, FastDensityGivesTheExactModesMembershipsOnSeparatedData) {
    const PlantedData planted = plantedData(4, 30, 8, 6, 17);
    RandomGenerator random(1);
    int compared = 0;
    for (int start = 0; start < 6; ++start) {
        const AttemptStart seeds = drawAttemptStart(random, 4, planted.data);
        const AttemptResult exact = attempt(planted.data, seeds, settingsWith(10, false));
        const AttemptResult fast = attempt(planted.data, seeds, settingsWith(10, true));
        const std::string context = "start " + std::to_string(start);
        EXPECT_EQ(fast.rejectionReason, exact.rejectionReason) << context;
        if (!exact.usable() || !fast.usable()) continue;
        ++compared;
        EXPECT_EQ(fast.human.clusters.members, exact.human.clusters.members) << context;
        EXPECT_EQ(fast.mouse.clusters.members, exact.mouse.clusters.members) << context;
        EXPECT_EQ(fast.human.labels, exact.human.labels) << context;
        EXPECT_EQ(fast.mouse.labels, exact.mouse.labels) << context;
        EXPECT_EQ(fast.iterations, exact.iterations) << context;
        EXPECT_EQ(fast.scatterPairs, exact.scatterPairs) << context;
        // Spreads depend on the memberships alone.
        EXPECT_EQ(fast.humanSpread, exact.humanSpread) << context;
        EXPECT_EQ(fast.mouseSpread, exact.mouseSpread) << context;
        EXPECT_NEAR(fast.logLikelihood, exact.logLikelihood, 1e-9 * std::fabs(exact.logLikelihood)) << context;
    }
    EXPECT_GE(compared, 2) << "too few usable starts to compare the two modes";
}

TEST(EmAttempt, ResultLabelsAgreeWithTheMemberLists) {
    // Three outlier pairs end in scatter: their genes are in no cluster.
    const PlantedData planted = plantedData(4, 30, 8, 6, 17, 3);
    RandomGenerator random(1);
    int checked = 0;
    bool sawGeneInNoCluster = false;
    for (int start = 0; start < 6; ++start) {
        for (const bool fast : {false, true}) {
            const AttemptResult result =
                attempt(planted.data, drawAttemptStart(random, 4, planted.data), settingsWith(10, fast));
            if (!result.usable()) continue;
            ++checked;
            expectLabelsMatchMembers(result.human, planted.data.human.geneCount(), "human");
            expectLabelsMatchMembers(result.mouse, planted.data.mouse.geneCount(), "mouse");
            const auto none = static_cast<std::int32_t>(result.human.clusters.count());
            for (std::size_t g = 0; g < planted.humanTruth.size(); ++g) {
                if (planted.humanTruth[g] == -1 && result.human.labels[g] == none) sawGeneInNoCluster = true;
            }
        }
    }
    EXPECT_GE(checked, 2) << "too few usable attempts";
    EXPECT_TRUE(sawGeneInNoCluster) << "no attempt left an outlier outside every cluster";
}

// Planted genes with an odd number, and no outlier, have no ortholog.
bool hasPair(const std::string& id) {
    return id.find('X') != std::string::npos || std::stoi(id.substr(id.find('_') + 1)) % 2 == 0;
}

TEST(EmAttempt, GenePosteriorsAreThoseOfTheLastEStepAndMissingWithoutAPair) {
    const PlantedData planted = plantedData(4, 30, 8, 6, 17);
    AttemptStart start;
    start.humanSeeds = {0, 30, 60, 90};
    start.mouseSeeds = {90, 0, 60, 30};
    const AttemptResult exact = attempt(planted.data, start, settingsWith(10));
    const AttemptResult fast = attempt(planted.data, start, settingsWith(10, true));
    ASSERT_TRUE(exact.usable() && fast.usable()) << exact.rejectionReason << " / " << fast.rejectionReason;
    const auto check = [](const OrganismClustering& clustering, const OrganismClustering& other,
                          const OrganismData& organism, const char* name) {
        ASSERT_EQ(clustering.posteriors.size(), organism.geneCount()) << name;
        for (std::size_t g = 0; g < organism.geneCount(); ++g) {
            const std::string& id = organism.identifiers[g];
            const double posterior = clustering.posteriors[g];
            if (!hasPair(id)) {
                EXPECT_TRUE(std::isnan(posterior)) << name << " " << id << " has no pair: " << posterior;
                continue;
            }
            // The planted clusters are recovered and far apart: each gene's own
            // cluster takes most of the weight, scatter (with its pseudo counts) the rest.
            EXPECT_GT(posterior, 0.8) << name << " " << id;
            EXPECT_LE(posterior, 1.0) << name << " " << id;
            EXPECT_NEAR(posterior, other.posteriors[g], 1e-9) << name << " " << id << ": exact and fast E-steps";
        }
    };
    check(exact.human, fast.human, planted.data.human, "human");
    check(exact.mouse, fast.mouse, planted.data.mouse, "mouse");

    // With outliers in scatter: a scatter gene's posterior is that of scatter,
    // which beat every one of the k_hm * k_ms cells.
    const PlantedData outliers = plantedData(4, 30, 8, 6, 17, 3);
    RandomGenerator random(1);
    int scatterGenes = 0;
    for (int attemptNumber = 0; attemptNumber < 6; ++attemptNumber) {
        const AttemptResult result =
            attempt(outliers.data, drawAttemptStart(random, 4, outliers.data), settingsWith(10, attemptNumber % 2 == 1));
        if (!result.usable()) continue;
        const double cells = static_cast<double>(result.human.clusters.count() * result.mouse.clusters.count());
        for (const auto* side : {&result.human, &result.mouse}) {
            const OrganismData& organism = side == &result.human ? outliers.data.human : outliers.data.mouse;
            const auto none = static_cast<std::int32_t>(side->clusters.count());
            for (std::size_t g = 0; g < organism.geneCount(); ++g) {
                const double posterior = side->posteriors[g];
                EXPECT_EQ(std::isnan(posterior), !hasPair(organism.identifiers[g])) << organism.identifiers[g];
                if (std::isnan(posterior)) continue;
                EXPECT_GE(posterior, 0.0) << organism.identifiers[g];
                EXPECT_LE(posterior, 1.0) << organism.identifiers[g];
                if (side->labels[g] != none) continue;
                ++scatterGenes;
                EXPECT_GE(posterior, 1.0 / (cells + 1.0)) << organism.identifiers[g] << " in scatter";
            }
        }
    }
    EXPECT_GT(scatterGenes, 0) << "no attempt left a gene in scatter";
}

TEST(EmAttempt, GenePosteriorsAreProbabilitiesAlsoWithANegativePseudoCount) {
    // A negative pseudo count makes the scatter term negative: the cells'
    // posteriors then add up to more than 1 and scatter's is below 0, which
    // must not show as a gene's posterior.
    const PlantedData planted = plantedData(4, 30, 8, 6, 17, 3);
    int usable = 0;
    for (const std::int32_t pseudoCounts : {10, 0, -20, -200}) {
        for (const bool fast : {false, true}) {
            RandomGenerator random(1);
            for (int start = 0; start < 4; ++start) {
                const AttemptResult result =
                    attempt(planted.data, drawAttemptStart(random, 4, planted.data), settingsWith(pseudoCounts, fast));
                if (!result.usable()) continue;
                if (pseudoCounts < 0) ++usable;
                for (const auto* side : {&result.human, &result.mouse}) {
                    for (std::size_t g = 0; g < side->posteriors.size(); ++g) {
                        const double posterior = side->posteriors[g];
                        if (std::isnan(posterior)) continue;
                        EXPECT_TRUE(posterior >= 0.0 && posterior <= 1.0)
                            << "pseudo count " << pseudoCounts << (fast ? ", fast" : ", exact") << ", start "
                            << start << ", gene " << g << ": " << posterior;
                    }
                }
            }
        }
    }
    EXPECT_GE(usable, 2) << "too few usable attempts with a negative pseudo count";
}

TEST(EmAttempt, TheObserverSeesEveryCompletedIterationAndTheLastMatchesTheResult) {
    const PlantedData planted = plantedData(4, 30, 8, 6, 17);
    RandomGenerator random(8);  // a start that needs several iterations
    RecordingObserver observer;
    const AttemptResult result =
        attempt(planted.data, drawAttemptStart(random, 4, planted.data), settingsWith(10), &observer);
    const std::vector<IterationProgress>& seen = observer.completed;
    ASSERT_TRUE(result.usable()) << result.rejectionReason;
    ASSERT_GE(result.iterations, 2) << "the test needs more than one iteration";
    std::vector<int> everyIteration;
    for (int i = 1; i <= result.iterations; ++i) everyIteration.push_back(i);
    EXPECT_EQ(observer.asked, everyIteration) << "asked once before every iteration, none after the last";
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(result.iterations)) << "one call per completed iteration";
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].iteration, static_cast<int>(i + 1));
        EXPECT_EQ(seen[i].logLikelihood, result.logLikelihoodByIteration[i]) << "iteration " << i + 1;
    }
    const IterationProgress& last = seen.back();
    EXPECT_EQ(last.logLikelihood, result.logLikelihood);
    EXPECT_EQ(last.humanSpread, result.humanSpread);
    EXPECT_EQ(last.mouseSpread, result.mouseSpread);
    EXPECT_EQ(last.scatterPairs, result.scatterPairs);
}

TEST(EmAttempt, WorkSplitOverThreadsGivesTheSameBitsInBothModes) {
    const PlantedData planted = plantedData(4, 30, 8, 6, 17);
    for (const bool fast : {false, true}) {
        RandomGenerator random(8);
        const AttemptStart start = drawAttemptStart(random, 4, planted.data);
        AttemptSettings settings = settingsWith(10, fast);
        const AttemptResult reference = attempt(planted.data, start, settings);
        ASSERT_TRUE(reference.usable()) << reference.rejectionReason;
        for (const unsigned threads : {1u, 2u, 7u}) {
            ThreadPool pool(threads);
            settings.pool = &pool;
            const AttemptResult split = attempt(planted.data, start, settings);
            const std::string where = std::string(fast ? "fast" : "exact") + ", " + std::to_string(threads) + " threads";
            EXPECT_EQ(split.logLikelihoodByIteration, reference.logLikelihoodByIteration) << where;
            EXPECT_EQ(split.humanSpread, reference.humanSpread) << where;
            EXPECT_EQ(split.human.labels, reference.human.labels) << where;
            EXPECT_EQ(split.mouse.clusters.members, reference.mouse.clusters.members) << where;
            EXPECT_EQ(split.human.parameters.variances, reference.human.parameters.variances) << where;
            EXPECT_EQ(split.mouse.parameters.means, reference.mouse.parameters.means) << where;
            EXPECT_EQ(split.pairTable.cells, reference.pairTable.cells) << where;
        }
    }
}

TEST(EmAttempt, ASlowIterationReportsItsStepsFromAnyThread) {
    const PlantedData planted = plantedData(4, 30, 8, 6, 17);
    RandomGenerator random(8);
    ThreadPool pool(2);
    AttemptSettings settings = settingsWith(10);
    settings.pool = &pool;
    settings.slowIterationSeconds = 0.0;  // every step counts as slow
    RecordingObserver observer;
    observer.wantsSteps = true;
    const AttemptResult result = attempt(planted.data, drawAttemptStart(random, 4, planted.data), settings, &observer);
    ASSERT_TRUE(result.usable()) << result.rejectionReason;
    ASSERT_FALSE(observer.steps.empty());
    const std::set<std::string> names = {"pair table", "E-step densities", "E-step pairs", "E-step", "M-step"};
    std::set<int> iterations;
    for (const IterationStep& step : observer.steps) {
        EXPECT_TRUE(names.count(step.step)) << step.step;
        EXPECT_GE(step.iteration, 1);
        EXPECT_LE(step.iteration, result.iterations);
        EXPECT_GT(step.fractionDone, 0.0) << step.step;
        EXPECT_LE(step.fractionDone, 1.0) << step.step;
        EXPECT_GE(step.seconds, 0.0);
        iterations.insert(step.iteration);
    }
    EXPECT_EQ(iterations.size(), static_cast<std::size_t>(result.iterations)) << "every iteration reports";

    // An observer that does not follow the steps gets none, and the result is the same.
    RandomGenerator again(8);
    RecordingObserver quietObserver;
    const AttemptResult quiet =
        attempt(planted.data, drawAttemptStart(again, 4, planted.data), settings, &quietObserver);
    EXPECT_TRUE(quietObserver.steps.empty());
    EXPECT_EQ(quiet.logLikelihoodByIteration, result.logLikelihoodByIteration);
}

TEST(EmAttempt, AnIterationTheObserverRefusesIsNotStartedAndNamesTheRejection) {
    const PlantedData planted = plantedData(4, 30, 8, 6, 17);
    RandomGenerator random(8);  // a start that needs several iterations
    const AttemptStart start = drawAttemptStart(random, 4, planted.data);
    struct Case {
        int granted;
        IterationPermit refusal;
        const char* reason;
    };
    for (const Case& refused : {Case{1, IterationPermit::NoLongerNeeded, "no longer needed"},
                                Case{2, IterationPermit::Interrupted, "interrupted"},
                                Case{0, IterationPermit::Interrupted, "interrupted"}}) {
        RecordingObserver observer;
        observer.grantedIterations = refused.granted;
        observer.refusal = refused.refusal;
        const AttemptResult result = attempt(planted.data, start, settingsWith(10), &observer);
        const std::string context = std::string(refused.reason) + " after " + std::to_string(refused.granted);
        EXPECT_EQ(result.rejectionReason, refused.reason) << context;
        EXPECT_FALSE(result.emCompleted) << context;
        EXPECT_EQ(result.iterations, refused.granted) << context << ": the iterations granted complete";
        EXPECT_EQ(observer.completed.size(), static_cast<std::size_t>(refused.granted)) << context;
        EXPECT_EQ(observer.asked.size(), static_cast<std::size_t>(refused.granted + 1)) << context;
    }
}

}  // namespace
}  // namespace orthomix
