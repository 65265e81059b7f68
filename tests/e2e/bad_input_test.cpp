// Runs that must stop with a message and exit status 1, leaving no partial
// result file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/planted_dataset.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

// Every file under the folder, relative to it, the captured console excluded.
std::vector<std::string> filesUnder(const fs::path& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(generateDataset(work.path(), PlantedDataset{}));
        inputs = filesUnder(work.path());
    }

    // Runs the tool and checks the message, the status and that no result
    // (or temporary) file was added to the inputs.
    void expectFailure(const std::string& message, const std::vector<std::string>& allowedResults = {}) {
        const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
        EXPECT_EQ(run.exitStatus, 1) << run.out;
        EXPECT_NE(run.err.find(message + "\n"), std::string::npos) << run.err;
        std::vector<std::string> expected = inputs;
        expected.insert(expected.end(), allowedResults.begin(), allowedResults.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(filesUnder(work.path()), expected);
        console = run.out;
    }

    TempDir work;
    std::vector<std::string> inputs;
    std::string console;
};

TEST_F(BadInput, MissingOrthologFileStopsWhileTheInputsAreRead) {
    setParameter(work.file("ParameterSetting.txt"), "orthologFile", "missing_orthologs.txt");
    expectFailure("Cannot open missing_orthologs.txt");
    EXPECT_EQ(console, "finish reading params\nfinish reading data\nfinish human annot\nfinish reading annot\n")
        << "the ortholog file is read with the other inputs, before preprocessing";
}

TEST_F(BadInput, AnOutputThatCannotBeWrittenStopsBeforeAnyClustering) {
    writeFile(work.file("blocked"), "a file where a folder should be\n");
    inputs.push_back("blocked");
    std::sort(inputs.begin(), inputs.end());
    setParameter(work.file("ParameterSetting.txt"), "outputFile_hm", "blocked/human_clusters.txt");
    expectFailure("Cannot open file blocked/human_clusters.txt: blocked is a file, not a folder");
    EXPECT_EQ(console.find("finish preprocess"), std::string::npos) << "checked once the inputs are read";
    EXPECT_EQ(console.find("New repetition"), std::string::npos);

    setParameter(work.file("ParameterSetting.txt"), "outputFile_hm", "out/human_clusters.txt");
    writeFile(work.file("ParameterSetting.txt"),
              readFile(work.file("ParameterSetting.txt")) + "runRecordFile = blocked/folder/record.json\n");
    expectFailure("Cannot open file blocked/folder/record.json: blocked is a file, not a folder");
    EXPECT_EQ(console.find("New repetition"), std::string::npos) << "optional outputs are checked as well";
}

TEST_F(BadInput, AFolderInThePlaceOfALaterResultFileStopsTheRunBeforeAnyResultIsWritten) {
    fs::create_directories(work.path() / "out" / "gene_pairs.txt");
    expectFailure("Cannot open file out/gene_pairs.txt: Is a directory");
    EXPECT_EQ(console.find("New repetition"), std::string::npos) << "found before any clustering";
    EXPECT_TRUE(fs::is_empty(work.path() / "out" / "gene_pairs.txt"));
}

TEST_F(BadInput, ADataLineWithTooFewValuesNamesFileAndLine) {
    std::vector<std::string> lines = readLines(work.file("mouse_expression.txt"));
    ASSERT_GT(lines.size(), 7u);
    const std::vector<std::string> fields = splitText(lines[6], '\t');
    lines[6] = fields[0] + "\t" + fields[1] + "\t" + fields[2];
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    writeFile(work.file("mouse_expression.txt"), text);

    expectFailure("Line 7 of mouse_expression.txt has 2 values, but the header names 6 samples");
    EXPECT_EQ(console, "finish reading params\n") << "the run stops while reading the data";
}

TEST_F(BadInput, OrthologIdentifiersThatMatchNoGeneStopTheRun) {
    std::string text;
    for (const std::string& line : readLines(work.file("orthologs.txt"))) {
        if (!line.empty()) text += "ENSG_" + line + "\n";  // identifiers from another naming scheme
    }
    writeFile(work.file("orthologs.txt"), text);
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("No entry of the ortholog file orthologs.txt names two genes of the data files"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("Repetitive times:"), std::string::npos);
}

TEST_F(BadInput, MostlyUnmatchedOrthologsWarnOnceAndTheRunGoesOn) {
    const std::vector<std::string> lines = readLines(work.file("orthologs.txt"));
    std::string text;
    std::size_t written = 0;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        text += (written++ % 3 == 0 ? line : "X" + line) + "\n";  // two thirds renamed away
    }
    writeFile(work.file("orthologs.txt"), text);
    setParameter(work.file("ParameterSetting.txt"), "nMaxAlgRun", "2");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::size_t first = run.err.find("warning: orthologs.txt holds ");
    ASSERT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(" ortholog pairs, ", run.err.find('\n', first)), std::string::npos)
        << "once per run, not per repetition";
    EXPECT_NE(run.err.find("name a human identifier that human_expression.txt does not have (such as \"X"),
              std::string::npos)
        << "an unmatched identifier is shown: " << run.err;
}

TEST_F(BadInput, TooLargeKStopsBeforeTheFirstRepetition) {
    setParameter(work.file("ParameterSetting.txt"), "k", "5000");
    expectFailure(
        "k = 5000 is larger than the number of human genes that can seed a cluster (276): lower k, or keep more "
        "genes in preprocessing");
    EXPECT_EQ(console.find("New repetition"), std::string::npos);
}

TEST_F(BadInput, PreprocessingThatKeepsNoGeneStopsTheRun) {
    setParameter(work.file("ParameterSetting.txt"), "maxExpr", "1e9");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("No human genes are left for clustering"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("Num of human genes after preprocessing = 0"), std::string::npos);
}

}  // namespace
}  // namespace orthomix::testing
