// The limits of the system, met by a run as a user would meet them: special
// files as outputs (the null device, standard output into a pipe), planted
// links at temporary names, names too long for the temporary suffix, a
// thread count beyond reason, huge values and old Mac line ends.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "driver/settings/run_limits.h"
#include "e2e/planted_dataset.h"
#include "e2e/process_support.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kOutputKeys = {
    "outputFile_hm",     "outputFile_ms",      "k_by_k_output_clusters", "gene_pair_result", "runRecordFile",
    "assignmentFile_hm", "assignmentFile_ms", "modelSelectionFile",     "pairTableFile",    "reportFile"};

class Limits : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(generateDataset(work.path(), PlantedDataset{})); }
    std::string parameters() const { return work.file("ParameterSetting.txt"); }
    void add(const std::string& line) const { writeFile(parameters(), readFile(parameters()) + line + "\n"); }
    TempDir work;
};

TEST_F(Limits, TheNullDeviceTakesEveryOutputAndStaysADevice) {
    const std::string null = work.file("null");
    if (::mknod(null.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) {
        GTEST_SKIP() << "no device file can be made here, and the system's own is not put at risk";
    }
    for (const std::string& key : kOutputKeys) {
        setParameter(parameters(), key, "null");
    }
    add("runRecordFile = null\nassignmentFile_hm = null\nassignmentFile_ms = null\nmodelSelectionFile = null\n"
        "pairTableFile = null\nreportFile = ./null");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    struct stat status {};
    ASSERT_EQ(::lstat(null.c_str(), &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode)) << "the device was replaced by a regular file";
    EXPECT_EQ(status.st_rdev, ::makedev(1, 3));
    EXPECT_EQ(leftoverFiles(work.path()), std::vector<std::string>{});
    EXPECT_TRUE(!fs::exists(work.path() / "out") || fs::is_empty(work.path() / "out")) << "no output went elsewhere";
}

TEST_F(Limits, AResultToStandardOutputGoesThroughAPipe) {
    const CommandResult reference = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(reference.exitStatus, 0) << reference.err;
    const std::string pairs = readFile(work.file("out/gene_pairs.txt"));
    ASSERT_FALSE(pairs.empty());
    fs::remove_all(work.path() / "out");

    setParameter(parameters(), "gene_pair_result", "/dev/stdout");
    const CommandResult piped =
        runShell(work.path(), "set -o pipefail; \"$ORTHOMIX\" ParameterSetting.txt | cat > piped.txt");
    ASSERT_EQ(piped.exitStatus, 0) << piped.err;
    const std::string received = readFile(work.file("piped.txt"));
    EXPECT_EQ(received, reference.out + pairs) << "the progress lines, then the file, in one stream";
    EXPECT_TRUE(fs::exists(work.path() / "out" / "human_clusters.txt"));
    EXPECT_FALSE(fs::exists(work.path() / "out" / "gene_pairs.txt"));
    EXPECT_EQ(leftoverFiles(work.path()), std::vector<std::string>{});

    // Two results on standard output would mix: refused as for any one file.
    setParameter(parameters(), "outputFile_hm", "/proc/self/fd/1");
    const CommandResult twice = runShell(work.path(), "set -o pipefail; \"$ORTHOMIX\" ParameterSetting.txt | cat > /dev/null");
    EXPECT_EQ(twice.exitStatus, 1);
    EXPECT_NE(twice.err.find("name the same file"), std::string::npos) << twice.err;
}

TEST_F(Limits, LinksPlantedAtEveryTemporaryNameNeverRedirectAResult) {
    add("runRecordFile = out/record.json\nreportFile = out/report.html");
    const CommandResult first = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    std::vector<std::string> results;
    for (const auto& entry : fs::directory_iterator(work.path() / "out")) results.push_back(entry.path().filename());
    setParameter(parameters(), "seed", "4711");  // results that differ from the first run's
    writeFile(work.file("victim.txt"), "not the tool's\n");

    // The shell's process id is the tool's after exec: every name it would try first is taken.
    std::string plant;
    for (const std::string& name : results) {
        for (const char* marker : {".tmp", ".old"}) {
            plant += "ln -s ../victim.txt out/" + name + marker + "$$; ";
            plant += "ln -s ../victim.txt out/" + name + marker + "$$1; ";
        }
    }
    const CommandResult run = runShell(work.path(), plant + "exec \"$ORTHOMIX\" ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(readFile(work.file("victim.txt")), "not the tool's\n") << "a result was written through a planted link";
    std::size_t links = 0;
    for (const auto& entry : fs::directory_iterator(work.path() / "out")) links += entry.is_symlink();
    EXPECT_EQ(links, results.size() * 4) << "the planted links are left alone";
    EXPECT_NE(readFile(work.file("out/record.json")).find("\"seed\": 4711"), std::string::npos)
        << "the new results are in place";
}

TEST_F(Limits, AnOutputNameTooLongForTheTemporarySuffixFailsBeforeTheFirstRepetition) {
    setParameter(parameters(), "outputFile_hm", "out/" + std::string(254, 'h'));
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find(": its name of 254 bytes is too long"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("New repetition"), std::string::npos) << "refused before any clustering";
    EXPECT_LT(run.err.size(), 1024u);
}

TEST_F(Limits, AThreadCountBeyondTheBoundStopsBeforeAnyWork) {
    add("threads = 2147483647");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 1);
    const unsigned bound = threadBound(std::thread::hardware_concurrency());
    EXPECT_EQ(run.err.rfind("The key threads must be at most " + std::to_string(bound) + " (", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("(it is 2147483647)"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << "stopped with the checks of the parameter file";

    setParameter(parameters(), "threads", std::to_string(bound));
    const CommandResult atBound = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(atBound.exitStatus, 0) << atBound.err;
}

TEST_F(Limits, AHugeValueGivesAMessageOfAFewLines) {
    const std::string original = readFile(parameters());
    const std::string megabyte(1 << 20, '7');
    for (const std::string& line : {"k = " + megabyte, "dataFile_hm = " + megabyte, "gene_pair_result = " + megabyte,
                                    "nMaxAlgRun = 1" + megabyte,
                                    "outputFile_hm = " + megabyte + "\noutputFile_ms = " + megabyte}) {
        writeFile(parameters(), original + line + "\n");
        const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
        const std::string key = line.substr(0, line.find(' '));
        EXPECT_EQ(run.exitStatus, 1) << key;
        EXPECT_LT(run.err.size(), 1024u) << key << ": " << run.err.substr(0, 300);
        EXPECT_NE(run.err.find("bytes in all)"), std::string::npos) << key << ": the length of the value is given";
    }
    // A value read leniently is quoted in a warning, shorter still.
    writeFile(parameters(), original + "maxExpr = 6" + megabyte + "x\n");
    const CommandResult warned = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_NE(warned.err.find("warning: the value"), std::string::npos) << warned.err.substr(0, 300);
    EXPECT_LT(warned.err.size(), 1024u);
}

TEST_F(Limits, AParameterFileWithCarriageReturnLineEndsRunsLikeItsTwin) {
    const CommandResult twin = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(twin.exitStatus, 0) << twin.err;
    const std::string pairs = readFile(work.file("out/gene_pairs.txt"));
    fs::remove_all(work.path() / "out");
    std::string text = readFile(parameters());
    std::replace(text.begin(), text.end(), '\n', '\r');
    writeFile(work.file("OldMac.txt"), text);
    const CommandResult run = runTool(work.path(), "OldMac.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, twin.out);
    EXPECT_TRUE(readFile(work.file("out/gene_pairs.txt")) == pairs);
}

}  // namespace
}  // namespace orthomix::testing
