#include "numeric/random_generator.h"

#include <gtest/gtest.h>

#include <vector>

namespace orthomix {
namespace {

std::vector<int> firstDraws(std::uint32_t seed, int count) {
    RandomGenerator random(seed);
    std::vector<int> draws;
    for (int i = 0; i < count; ++i) draws.push_back(random.draw());
    return draws;
}

TEST(RandomGenerator, FollowsTheRecurrenceForSeveralSeeds) {
    // state := state * 214013 + 2531011 mod 2^32, bits 16..30; worked out by hand.
    EXPECT_EQ(firstDraws(1, 5), (std::vector<int>{41, 18467, 6334, 26500, 19169}));
    EXPECT_EQ(firstDraws(99, 5), (std::vector<int>{361, 23235, 20319, 25409, 14190}));
    // The state wraps modulo 2^32.
    EXPECT_EQ(firstDraws(0xFFFFFFFFu, 5), (std::vector<int>{35, 29739, 3374, 11141, 31308}));
}

TEST(RandomGenerator, ReseedingRestartsTheStreamAndValuesStayInRange) {
    RandomGenerator random(7);
    const int first = random.draw();
    for (int i = 0; i < 100000; ++i) {
        const int value = random.draw();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, RandomGenerator::kMaxValue);
    }
    random.seed(7);
    EXPECT_EQ(random.draw(), first);
}

}  // namespace
}  // namespace orthomix
