// A sweep over k on the example, as a user runs it: every k gives what a
// separate run with that k and the same seed gives, and the files describe
// the k with the lowest BIC.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/planted_dataset.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

const char* const kResultFiles[] = {"human_clusters.txt", "mouse_clusters.txt", "pair_clusters.txt",
                                    "gene_pairs.txt"};

// The rows of a tab-separated file with a header, each a map from column name to field.
std::vector<std::map<std::string, std::string>> readTable(const std::string& path) {
    const std::vector<std::string> lines = readLines(path);
    std::vector<std::map<std::string, std::string>> rows;
    if (lines.empty()) return rows;
    const std::vector<std::string> header = splitText(lines[0], '\t');
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> fields = splitText(lines[i], '\t');
        fields.resize(header.size());  // getline drops an empty last field
        std::map<std::string, std::string>& row = rows.emplace_back();
        for (std::size_t c = 0; c < header.size(); ++c) row[header[c]] = fields[c];
    }
    return rows;
}

std::string general6(const std::string& number) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::strtod(number.c_str(), nullptr));
    return text;
}

TEST(KSweepRun, EachKEqualsASeparateRunAndTheLowestBicIsWritten) {
    TempDir work;
    const std::string tableKey = "modelSelectionFile = out/model_selection.tsv\n";
    prepareExampleFolder(work.path() / "sweep", "kValues = 4-8", tableKey + "runRecordFile = out/record.json\n");
    const CommandResult sweep = runTool(work.path() / "sweep", "ParameterSetting.txt");
    ASSERT_EQ(sweep.exitStatus, 0) << sweep.err;
    EXPECT_EQ(withoutOrthologReport(sweep.err), "");

    const auto rows = readTable(work.file("sweep/out/model_selection.tsv"));
    ASSERT_EQ(rows.size(), 5u);
    const std::string header = "finish preprocess\n";
    std::string expectedConsole;
    std::string selected;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string k = std::to_string(4 + i);
        const auto& row = rows[i];
        EXPECT_EQ(row.at("k"), k);
        const fs::path alone = work.path() / ("k" + k);
        prepareExampleFolder(alone, "k = " + k, tableKey);
        const CommandResult single = runTool(alone, "ParameterSetting.txt");
        ASSERT_EQ(single.exitStatus, 0) << single.err;
        const auto singleRows = readTable((alone / "out/model_selection.tsv").string());
        ASSERT_EQ(singleRows.size(), 1u) << "a run of one k writes its one row";
        for (const char* column : {"repetitions_accepted", "attempts_rejected", "log_likelihood", "parameters", "bic",
                                   "iterations"}) {
            EXPECT_EQ(row.at(column), singleRows[0].at(column)) << "k = " << k << ", " << column;
        }
        EXPECT_EQ(singleRows[0].at("selected"), "yes");
        // The table's numbers are those the console prints, to all their digits.
        EXPECT_NE(single.out.find("The maximum likelihood:\n" + general6(row.at("log_likelihood")) + "\nFinal BIC:\n" +
                                  general6(row.at("bic")) + "\n"),
                  std::string::npos)
            << "k = " << k;

        const std::size_t reportStart = single.out.find(header);
        ASSERT_NE(reportStart, std::string::npos);
        if (i == 0) expectedConsole = single.out.substr(0, reportStart + header.size());
        expectedConsole += "k = " + k + "\n" + single.out.substr(reportStart + header.size());
        if (row.at("selected") == "yes") {
            EXPECT_TRUE(selected.empty()) << "two rows selected";
            selected = k;
            for (const char* name : kResultFiles) {
                EXPECT_TRUE(readFile(work.file(std::string("sweep/out/") + name)) ==
                            readFile((alone / "out" / name).string()))
                    << name << " differs from the run with k = " << k;
            }
        } else {
            EXPECT_EQ(row.at("selected"), "no");
        }
    }
    ASSERT_FALSE(selected.empty());
    std::string selectedBic;
    for (const auto& row : rows) {
        if (row.at("selected") == "yes") selectedBic = general6(row.at("bic"));
    }
    EXPECT_EQ(sweep.out, expectedConsole + "Chosen k = " + selected + " with the lowest BIC = " + selectedBic + "\n")
        << "the report of each k after a line k = <value>, then the kept k";

    for (const auto& row : rows) {
        EXPECT_LE(std::strtod(rows[std::stoul(selected) - 4].at("bic").c_str(), nullptr),
                  std::strtod(row.at("bic").c_str(), nullptr))
            << "k = " << selected << " is selected but k = " << row.at("k") << " has a lower BIC";
    }
    const std::string record = readFile(work.file("sweep/out/record.json"));
    EXPECT_NE(record.find("\"kValues\": [4, 5, 6, 7, 8]"), std::string::npos);
    EXPECT_NE(record.find("\"best\": {\n    \"k\": " + selected + ","), std::string::npos) << record;
}

TEST(KSweepRun, AMalformedListStopsBeforeTheDataIsRead) {
    TempDir work;
    prepareExampleFolder(work.path(), "kValues = 4-8, 10-x", "");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "The key kValues must list whole numbers of at least 1 and ranges such as 5, 8, 10-30:5 in parameter "
              "file ParameterSetting.txt: \"10-x\" is not a whole number or a range such as 10-30 or 10-30:5\n");
}

}  // namespace
}  // namespace orthomix::testing
