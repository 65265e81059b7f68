// Complete runs on the worked examples, compared byte for byte with their expected output.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/planted_dataset.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

std::string firstDifference(const std::string& expected, const std::string& actual) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < std::min(expected.size(), actual.size()); ++i) {
        if (expected[i] != actual[i]) {
            const std::size_t start = expected.rfind('\n', i) == std::string::npos ? 0 : expected.rfind('\n', i) + 1;
            return "first difference on line " + std::to_string(line) + ": expected \"" +
                   expected.substr(start, expected.find('\n', start) - start) + "\" got \"" +
                   actual.substr(start, actual.find('\n', start) - start) + "\"";
        }
        if (expected[i] == '\n') ++line;
    }
    return "lengths differ: expected " + std::to_string(expected.size()) + " bytes, got " +
           std::to_string(actual.size());
}

class GoldenRun : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenRun, ReproducesConsoleAndEveryResultFile) {
    const fs::path source = fs::path(ORTHOMIX_TEST_DATA) / "golden" / GetParam();
    TempDir work;
    for (const auto& entry : fs::directory_iterator(source)) {
        if (entry.is_regular_file()) fs::copy_file(entry.path(), work.path() / entry.path().filename());
    }
    fs::create_directories(work.path() / "out");

    const CommandResult result = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    // Standard error holds the pairs the ortholog file repeats, how its pairs
    // matched (preprocessing leaves out more than one in ten), and, where a
    // repetition ran out of iterations, the warning that counts such repetitions.
    const std::string matching = GetParam() == "public1"
                                     ? "warning: orthologs.txt holds 592 ortholog pairs, only 525 with both genes "
                                       "present and kept (more than one in ten is lost); the other 67: 3 name a human "
                                       "identifier that human_expression.txt does not have (such as \"H90000\"), 2 a "
                                       "mouse identifier that mouse_expression.txt does not have (such as \"M90001\"), "
                                       "62 a gene that preprocessing left out (such as human \"H00002\"); "
                                       "preprocessing may be too strict for one organism"
                                     : "warning: orthologs.txt holds 430 ortholog pairs, only 380 with both genes "
                                       "present and kept (more than one in ten is lost); the other 50: 2 name a human "
                                       "identifier that human_expression.txt does not have (such as \"H90000\"), 1 a "
                                       "mouse identifier that mouse_expression.txt does not have (such as \"M90001\"), "
                                       "47 a gene that preprocessing left out (such as human \"H00001\"); "
                                       "preprocessing may be too strict for one organism";
    const std::vector<std::string> errLines = splitText(result.err, '\n');
    ASSERT_GE(errLines.size(), 2u) << result.err;
    EXPECT_EQ(errLines[0].rfind("warning: ", 0), 0u);
    EXPECT_NE(errLines[0].find(" lines of orthologs.txt repeat the pair of an earlier one ("), std::string::npos);
    EXPECT_EQ(errLines[1], matching);
    for (std::size_t l = 2; l < errLines.size(); ++l) {
        const std::string& line = errLines[l];
        EXPECT_TRUE(line.rfind("warning: ", 0) == 0 &&
                    line.find(" stopped at the cap of 100 EM iterations without converging") != std::string::npos)
            << line;
    }
    const std::string expectedConsole = readFile((source / "expected" / "console.txt").string());
    EXPECT_EQ(result.out, expectedConsole) << firstDifference(expectedConsole, result.out);
    for (const char* name : {"human_clusters.txt", "mouse_clusters.txt", "pair_clusters.txt", "gene_pairs.txt"}) {
        const std::string expected = readFile((source / "expected" / name).string());
        const std::string actual = readFile((work.path() / "out" / name).string());
        EXPECT_EQ(actual == expected, true) << name << ": " << firstDifference(expected, actual);
    }
    // Nothing but the four result files is left in the output folder.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(work.path() / "out")) ++files;
    EXPECT_EQ(files, 4u);
}

INSTANTIATE_TEST_SUITE_P(WorkedExamples, GoldenRun, ::testing::Values("public1", "public2"));

}  // namespace
}  // namespace orthomix::testing
