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

}  // namespace
}  // namespace orthomix
