// The warnings about k-means starts that left fewer clusters than k.
#include "driver/fitting/start_warnings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orthomix {
namespace {

TEST(StartWarnings, KMeansStartsWithFewerClustersThanKAreSummedUpPerOrganism) {
    std::vector<AttemptRecord> attempts(4);
    for (AttemptRecord& attempt : attempts) {
        attempt.humanStart = StartClusters{3, 3, 0};
        attempt.mouseStart = StartClusters{3, 3, 0};
    }
    EXPECT_TRUE(mergedStartWarnings(attempts).empty());

    attempts[1].humanStart = StartClusters{3, 2, 0};
    attempts[3].humanStart = StartClusters{3, 1, 2};
    attempts[2].mouseStart = StartClusters{3, 2, 0};
    EXPECT_EQ(mergedStartWarnings(attempts),
              (std::vector<std::string>{
                  "the k-means start left fewer than k = 3 human clusters in 2 of 4 attempts (1 at the fewest): seed "
                  "genes with identical values start one cluster between them, so the data hold fewer distinct "
                  "profiles than k",
                  "the k-means start left fewer than k = 3 mouse clusters in 1 of 4 attempts (2 at the fewest): "
                  "clusters lost every gene when the centres moved"}));
}

TEST(IterationCapWarning, CountsOnlyAcceptedRepetitionsThatStoppedAtTheCap) {
    std::vector<AttemptRecord> attempts(4);
    for (AttemptRecord& attempt : attempts) {
        attempt.k = 6;
        attempt.accepted = true;
    }
    EXPECT_EQ(iterationCapWarning(attempts), "") << "every repetition converged";
    attempts[0].reachedIterationCap = true;
    attempts[2].reachedIterationCap = true;
    attempts[3].accepted = false;
    attempts[3].reachedIterationCap = true;  // rejected: not among the repetitions
    EXPECT_EQ(iterationCapWarning(attempts),
              "2 of 3 accepted repetitions for k = 6 stopped at the cap of 100 EM iterations without converging; "
              "their clusterings may still move (a larger stoppingThr lets them converge)");
}

TEST(SweepEdgeWarning, OnlyAChosenKAtAnEndOfASweepOfSeveralValues) {
    EXPECT_NE(sweepEdgeWarning({4, 6, 8}, 8).find("k = 8, the largest k of kValues"), std::string::npos);
    EXPECT_NE(sweepEdgeWarning({8, 4, 6}, 4).find("k = 4, the smallest k of kValues"), std::string::npos)
        << "the ends of the range, not the first and last given";
    EXPECT_EQ(sweepEdgeWarning({4, 6, 8}, 6), "");
    EXPECT_EQ(sweepEdgeWarning({5}, 5), "") << "one k is no range";
    EXPECT_EQ(sweepEdgeWarning({5, 5}, 5), "");
}

}  // namespace
}  // namespace orthomix
