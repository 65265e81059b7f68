// The tool's command line, run as a user would.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace orthomix::testing {
namespace {

TEST(CommandLine, MissingParameterFileStopsBeforeAnyOutput) {
    TempDir work;
    const CommandResult named = runTool(work.path(), "missing.txt");
    EXPECT_EQ(named.exitStatus, 1);
    EXPECT_EQ(named.out, "");
    EXPECT_EQ(named.err, "Cannot open missing.txt\n");

    const CommandResult defaulted = runTool(work.path(), "");
    EXPECT_EQ(defaulted.exitStatus, 1);
    EXPECT_EQ(defaulted.err, "Cannot open ./ParameterSetting.txt\n") << "without argument the default file is read";

    std::filesystem::create_directory(work.path() / "folder.txt");
    const CommandResult folder = runTool(work.path(), "folder.txt");
    EXPECT_EQ(folder.exitStatus, 1);
    EXPECT_EQ(folder.err, "Cannot open folder.txt\n") << "a folder is not a parameter file";

}

const std::string kUsageLines =
    "Usage: orthomix [OPTION]... [PARAMETER_FILE]\n"
    "Run orthomix --help for the options and the parameter-file keys.\n";

TEST(CommandLine, AnUnknownOptionOrASecondFileIsAUsageErrorAndNothingRuns) {
    TempDir work;
    writeFile(work.file("ParameterSetting.txt"), "k = 0\n");  // would fail with status 1 if it ran
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"-v", "unknown option \"-v\""},
        {"--foo", "unknown option \"--foo\""},
        {"ParameterSetting.txt -x", "unknown option \"-x\""},
        {"--help=all", "unknown option \"--help=all\""},
        {"missing.txt ParameterSetting.txt",
         "a second parameter file \"ParameterSetting.txt\": orthomix reads one (\"missing.txt\")"},
        {"help", "no parameter file \"help\" here; for help, run orthomix --help"},
    };
    for (const auto& [arguments, problem] : cases) {
        const CommandResult run = runTool(work.path(), arguments);
        EXPECT_EQ(run.exitStatus, 2) << arguments;
        EXPECT_EQ(run.err, problem + "\n" + kUsageLines) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
    }

    // "--" ends the options, so a file may start with a dash; a file named help is a file.
    const CommandResult dashed = runTool(work.path(), "-- -v");
    EXPECT_EQ(dashed.exitStatus, 1);
    EXPECT_EQ(dashed.err, "Cannot open -v\n");
    writeFile(work.file("help"), "k = 0\n");
    const CommandResult named = runTool(work.path(), "help");
    EXPECT_EQ(named.exitStatus, 1);
    EXPECT_NE(named.err.find("in parameter file help"), std::string::npos) << named.err;
}

TEST(CommandLine, HelpOrVersionAnywhereAnswersWithoutRunning) {
    TempDir work;
    writeFile(work.file("ParameterSetting.txt"),
              "dataFile_hm = ParameterSetting.txt\noutputFile_hm = results.txt\nk = 2\nnMaxAlgRun = 1\n");
    writeFile(work.file("results.txt"), "earlier results\n");
    for (const char* arguments : {"ParameterSetting.txt --help", "--help ParameterSetting.txt", "-x -h",
                                  "ParameterSetting.txt other.txt -h"}) {
        const CommandResult run = runTool(work.path(), arguments);
        EXPECT_EQ(run.exitStatus, 0) << arguments;
        EXPECT_EQ(run.out.rfind("Usage: orthomix [OPTION]... [PARAMETER_FILE]\n", 0), 0u) << arguments;
        EXPECT_EQ(run.err, "") << arguments;
    }
    const CommandResult version = runTool(work.path(), "ParameterSetting.txt --version");
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("orthomix ", 0), 0u);
    EXPECT_EQ(readFile(work.file("results.txt")), "earlier results\n") << "nothing ran";
}

TEST(CommandLine, HelpAndVersion) {
    TempDir work;
    for (const char* flag : {"-h", "--help"}) {
        const CommandResult help = runTool(work.path(), flag);
        EXPECT_EQ(help.exitStatus, 0);
        EXPECT_NE(help.out.find("Usage: orthomix [OPTION]... [PARAMETER_FILE]"), std::string::npos);
        EXPECT_NE(help.out.find("psudo_uniform_counts"), std::string::npos);
        EXPECT_NE(help.out.find("gene_pair_result"), std::string::npos);
    }
    const CommandResult version = runTool(work.path(), "--version");
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("orthomix ", 0), 0u);
}

TEST(CommandLine, ParameterProblemsAreReportedBeforeDataFilesAreOpened) {
    TempDir work;
    writeFile(work.file("p.txt"),
              "dataFile_hm = h.txt\ndataFile_ms = m.txt\nannotFile_hm = a.txt\nannotFile_ms = b.txt\n"
              "orthologFile = o.txt\noutputFile_hm = x\noutputFile_ms = y\nk_by_k_output_clusters = z\n"
              "gene_pair_result = w\nk = 3\nnMaxAlgRun = 0\n");
    const CommandResult result = runTool(work.path(), "p.txt");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "") << "no progress line before the check";
    EXPECT_NE(result.err.find("nMaxAlgRun"), std::string::npos);
    EXPECT_EQ(result.err.find("Cannot open h.txt"), std::string::npos) << "data files are not opened";
}

}  // namespace
}  // namespace orthomix::testing
