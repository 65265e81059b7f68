#include <gtest/gtest.h>

#include "driver/command_line.h"

namespace orthomix {
namespace {

TEST(MergeCommandLine, TakesTheParameterFileThenTheRecords) {
    const CommandLine merge = parseCommandLine({"merge", "sweep.txt", "k4.json", "--", "-k5.json"});
    EXPECT_EQ(merge.action, CommandAction::Merge) << merge.problem;
    EXPECT_EQ(merge.parameterPath, "sweep.txt");
    EXPECT_EQ(merge.recordPaths, (std::vector<std::string>{"k4.json", "-k5.json"}));

    EXPECT_EQ(parseCommandLine({"merge", "sweep.txt", "--help"}).action, CommandAction::Help);
    const CommandLine noRecords = parseCommandLine({"merge", "sweep.txt"});
    EXPECT_EQ(noRecords.action, CommandAction::UsageError);
    EXPECT_NE(noRecords.problem.find("run records"), std::string::npos) << noRecords.problem;
    EXPECT_EQ(parseCommandLine({"merge", "-x", "sweep.txt", "k4.json"}).problem, "unknown option \"-x\"");

    const CommandLine file = parseCommandLine({"./merge"});
    EXPECT_EQ(file.action, CommandAction::Run) << "a parameter file named merge, reached by its path";
    EXPECT_EQ(file.parameterPath, "./merge");
    EXPECT_EQ(parseCommandLine({"sweep.txt", "merge"}).action, CommandAction::UsageError)
        << "merge is a command only in first place";
}

}  // namespace
}  // namespace orthomix
