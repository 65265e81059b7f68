#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "model/clustering_stability.h"
#include "model/information_criteria.h"

namespace orthomix {
namespace {

TEST(PosteriorEntropy, HardUniformAndMixedRows) {
    // Hard assignments carry no entropy; zeros count as 0 ln 0 = 0.
    EXPECT_EQ(posteriorEntropy({1, 0, 0, 0, 0, 1, 0, 1, 0}, 3), 0.0);
    // Three items spread evenly over four components: 3 ln 4.
    EXPECT_NEAR(posteriorEntropy(std::vector<double>(12, 0.25), 4), 3.0 * std::log(4.0), 1e-14);
    // One row (0.5, 0.5, 0) and one (0.9, 0.1, 0).
    const double expected = std::log(2.0) - 0.9 * std::log(0.9) - 0.1 * std::log(0.1);
    EXPECT_NEAR(posteriorEntropy({0.5, 0.5, 0.0, 0.9, 0.1, 0.0}, 3), expected, 1e-15);
    EXPECT_TRUE(std::isnan(posteriorEntropy({0.5, NAN}, 2))) << "a broken posterior is not hidden";
    EXPECT_EQ(posteriorEntropy({}, 3), 0.0);
    EXPECT_EQ(posteriorEntropy({0.3, 0.7}, 0), 0.0);
}

TEST(IntegratedCompletedLikelihood, AddsTwiceTheEntropyToTheBic) {
    const double entropy = posteriorEntropy({0.5, 0.5, 1.0, 0.0}, 2);
    EXPECT_NEAR(integratedCompletedLikelihood(1000.0, entropy), 1000.0 + 2.0 * std::log(2.0), 1e-12);
    EXPECT_EQ(integratedCompletedLikelihood(-250.5, 0.0), -250.5) << "sure assignments: ICL equals BIC";
}

using Labels = std::vector<std::int32_t>;

TEST(ClusteringStability, OneWhenEveryRepetitionAgreesWithTheBest) {
    // The same clustering under other cluster numbers, scatter (value 2 or 3) included.
    const std::vector<RepetitionLabels> same = {
        {{0, 0, 1, 1, 2}, {0, 1, 1, 3, 2}},
        {{1, 1, 0, 0, 2}, {2, 0, 0, 3, 1}},
        {{0, 0, 1, 1, 2}, {1, 2, 2, 3, 0}},
    };
    for (std::size_t best = 0; best < same.size(); ++best) {
        const ClusteringStability s = clusteringStability(same, best);
        ASSERT_TRUE(s.human && s.mouse);
        EXPECT_EQ(*s.human, 1.0);
        EXPECT_EQ(*s.mouse, 1.0);
    }
}

TEST(ClusteringStability, MeanOverTheOtherRepetitionsPerOrganism) {
    // Against the best (index 1): one repetition identical, one with the
    // hand-computed index 8/33 for the human genes; the mouse genes agree.
    const Labels humanBest = {0, 0, 0, 1, 1, 1};
    const Labels humanOther = {0, 0, 1, 1, 2, 2};
    const Labels mouse = {0, 1, 0, 1, 0, 1};
    const std::vector<RepetitionLabels> accepted = {{humanBest, mouse}, {humanBest, mouse}, {humanOther, mouse}};
    const ClusteringStability s = clusteringStability(accepted, 1);
    ASSERT_TRUE(s.human && s.mouse);
    EXPECT_NEAR(*s.human, (1.0 + 8.0 / 33.0) / 2.0, 1e-15) << "the best is not compared with itself";
    EXPECT_EQ(*s.mouse, 1.0);

    EXPECT_NEAR(*meanAgreementWithBest(humanBest, {humanOther}), 8.0 / 33.0, 1e-15);
}

TEST(ClusteringStability, NoneWithoutAnotherRepetition) {
    const ClusteringStability alone = clusteringStability({{{0, 1}, {1, 0}}}, 0);
    EXPECT_FALSE(alone.human.has_value());
    EXPECT_FALSE(alone.mouse.has_value());
    EXPECT_FALSE(meanAgreementWithBest({0, 1}, {}).has_value());
    EXPECT_FALSE(clusteringStability({}, 0).human.has_value()) << "no accepted repetition at all";
}

}  // namespace
}  // namespace orthomix
