// The tool's command line, run as a user would.
#include <gtest/gtest.h>

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

    writeFile(work.file("ParameterSetting.txt"), "k = 0\n");
    const CommandResult extra = runTool(work.path(), "missing.txt ParameterSetting.txt");
    EXPECT_EQ(extra.err, "Cannot open missing.txt\n") << "only the first argument counts";
}

TEST(CommandLine, HelpAndVersion) {
    TempDir work;
    for (const char* flag : {"-h", "--help"}) {
        const CommandResult help = runTool(work.path(), flag);
        EXPECT_EQ(help.exitStatus, 0);
        EXPECT_NE(help.out.find("Usage: orthomix [PARAMETER_FILE]"), std::string::npos);
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
