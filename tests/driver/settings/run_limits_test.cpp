// The limits checked before any work: the thread bound and the length of paths.
#include "driver/settings/run_limits.h"

#include <gtest/gtest.h>

#include <limits.h>

#include <string>
#include <thread>

namespace orthomix {
namespace {

TEST(ThreadBound, FourPerHardwareThreadAtMostOneThousandAndTwentyFour) {
    EXPECT_EQ(threadBound(1), 4u);
    EXPECT_EQ(threadBound(2), 8u);
    EXPECT_EQ(threadBound(255), 1020u);
    EXPECT_EQ(threadBound(256), 1024u);
    EXPECT_EQ(threadBound(100000), 1024u) << "no overflow on a machine of many threads";
    EXPECT_EQ(threadBound(0), 1024u) << "an unknown machine gets the largest bound";
}

TEST(RunLimits, ThreadsBeyondTheBoundAreRefusedNamingTheBound) {
    const unsigned bound = threadBound(std::thread::hardware_concurrency());
    ParameterSetting settings;
    EXPECT_TRUE(checkRunLimits(settings, "p.txt").ok()) << "the default, every hardware thread";
    settings.threads = static_cast<std::int32_t>(bound);
    EXPECT_TRUE(checkRunLimits(settings, "p.txt").ok());
    settings.threads = static_cast<std::int32_t>(bound) + 1;
    const Status above = checkRunLimits(settings, "p.txt");
    ASSERT_FALSE(above.ok());
    EXPECT_EQ(above.error().message.rfind("The key threads must be at most " + std::to_string(bound) + " (", 0), 0u)
        << above.error().message;
    EXPECT_NE(above.error().message.find(" in parameter file p.txt (it is " + std::to_string(bound + 1) + ")"),
              std::string::npos)
        << above.error().message;
}

TEST(RunLimits, APathLongerThanTheSystemTakesIsRefusedWithAShortMessage) {
    ParameterSetting settings;
    settings.annotFile_ms = std::string(PATH_MAX - 1, 'a');
    EXPECT_TRUE(checkRunLimits(settings, "p.txt").ok()) << "the longest path the system takes";
    settings.reportFile = std::string(1 << 20, 'r');
    const Status huge = checkRunLimits(settings, "p.txt");
    ASSERT_FALSE(huge.ok());
    EXPECT_EQ(huge.error().message.rfind("The key reportFile holds a path of 1048576 bytes, longer than the system's "
                                         "limit of " + std::to_string(PATH_MAX - 1) + " in parameter file p.txt",
                                         0),
              0u)
        << huge.error().message.substr(0, 400);
    EXPECT_LT(huge.error().message.size(), 500u);
}

}  // namespace
}  // namespace orthomix
