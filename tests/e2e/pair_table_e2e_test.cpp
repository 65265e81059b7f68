// The cluster-pair table file and the posterior column of the assignment
// tables on the example: they agree with the gene-pair file and leave the
// four result files as they were.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "e2e/planted_dataset.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

void copyExample(const fs::path& folder, const std::string& extra) {
    fs::create_directories(folder / "out");
    for (const auto& entry : fs::directory_iterator(ORTHOMIX_EXAMPLES)) {
        if (entry.is_regular_file()) fs::copy_file(entry.path(), folder / entry.path().filename());
    }
    writeFile((folder / "ParameterSetting.txt").string(), readFile((folder / "ParameterSetting.txt").string()) + extra);
}

double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

TEST(PairTableOfARun, CountsTheGenePairFileAndSumsToThePairsWithBothGenesKept) {
    TempDir work;
    copyExample(work.path() / "plain", "");
    copyExample(work.path() / "table",
                "pairTableFile = out/pair_table.tsv\nrunRecordFile = out/record.json\n"
                "assignmentFile_hm = out/human.tsv\nassignmentFile_ms = out/mouse.tsv\nassignmentPosterior = yes\n");
    const CommandResult plain = runTool(work.path() / "plain", "ParameterSetting.txt");
    const CommandResult table = runTool(work.path() / "table", "ParameterSetting.txt");
    ASSERT_EQ(plain.exitStatus, 0) << plain.err;
    ASSERT_EQ(table.exitStatus, 0) << table.err;
    EXPECT_EQ(table.out, plain.out);
    for (const char* name : {"human_clusters.txt", "mouse_clusters.txt", "pair_clusters.txt", "gene_pairs.txt"}) {
        EXPECT_TRUE(readFile(work.file(std::string("table/out/") + name)) ==
                    readFile(work.file(std::string("plain/out/") + name)))
            << name;
    }

    const int humanClusters =
        static_cast<int>(readMembershipFile(work.file("table/out/human_clusters.txt")).clusters.size());
    const int mouseClusters =
        static_cast<int>(readMembershipFile(work.file("table/out/mouse_clusters.txt")).clusters.size());
    std::map<std::pair<int, int>, long> fromPairs;
    long scatterPairs = 0;
    std::set<std::string> pairedHuman, pairedMouse;
    const std::vector<GenePairLine> pairs = readGenePairFile(work.file("table/out/gene_pairs.txt"));
    for (const GenePairLine& pair : pairs) {
        pairedHuman.insert(pair.human);
        pairedMouse.insert(pair.mouse);
        if (pair.humanIndex == humanClusters || pair.mouseIndex == mouseClusters) {
            ++scatterPairs;
        } else {
            ++fromPairs[{pair.humanIndex, pair.mouseIndex}];
        }
    }

    const std::vector<std::string> lines = readLines(work.file("table/out/pair_table.tsv"));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(humanClusters * mouseClusters + 2)) << "header, cells, scatter";
    EXPECT_EQ(lines[0], "human_cluster\tmouse_cluster\tpairs\tfitted_probability\texpected_pairs\t"
                        "observed_over_expected\tp_value\tq_value");
    std::vector<long> rowSums(static_cast<std::size_t>(humanClusters)), columnSums(static_cast<std::size_t>(mouseClusters));
    long inCells = 0;
    for (const auto& [cell, count] : fromPairs) {
        rowSums[static_cast<std::size_t>(cell.first)] += count;
        columnSums[static_cast<std::size_t>(cell.second)] += count;
        inCells += count;
    }
    long total = 0;
    double probabilities = 0.0;
    for (std::size_t l = 1; l < lines.size(); ++l) {
        std::vector<std::string> f = splitText(lines[l], '\t');
        f.resize(8);
        total += std::stol(f[2]);
        probabilities += number(f[3]);
        if (l + 1 == lines.size()) {
            EXPECT_EQ(f[0] + " " + f[1], "scatter scatter");
            EXPECT_EQ(std::stol(f[2]), scatterPairs) << "pairs with a gene in no cluster";
            EXPECT_EQ(f[4] + f[5] + f[6] + f[7], "") << "nothing is expected of scatter, nor tested";
            continue;
        }
        const int i = static_cast<int>((l - 1) / static_cast<std::size_t>(mouseClusters));
        const int j = static_cast<int>((l - 1) % static_cast<std::size_t>(mouseClusters));
        EXPECT_EQ(f[0] + " " + f[1], std::to_string(i) + " " + std::to_string(j)) << "cells row by row";
        const long count = fromPairs[{i, j}];
        EXPECT_EQ(std::stol(f[2]), count) << "cell " << i << "," << j;
        const double expected = static_cast<double>(rowSums[static_cast<std::size_t>(i)]) *
                                static_cast<double>(columnSums[static_cast<std::size_t>(j)]) / static_cast<double>(inCells);
        EXPECT_NEAR(number(f[4]), expected, expected * 1e-5) << "cell " << i << "," << j;
        EXPECT_NEAR(number(f[5]), count / expected, count / expected * 1e-5) << "cell " << i << "," << j;
        const double p = number(f[6]);
        const double q = number(f[7]);
        EXPECT_TRUE(p > 0.0 && p <= 1.0 && q >= p && q <= 1.0) << "cell " << i << "," << j << ": " << lines[l];
        if (count == 0) {
            EXPECT_EQ(p, 1.0) << "an empty cell is never enriched";
        }
    }
    EXPECT_EQ(total, static_cast<long>(pairs.size()));
    EXPECT_NEAR(probabilities, 1.0, 1e-4) << "the fitted cells and scatter share one distribution";
    const std::string record = readFile(work.file("table/out/record.json"));
    EXPECT_NE(record.find("\"pairsWithBothGenesPresent\": " + std::to_string(total) + "\n"), std::string::npos)
        << "the rows sum to the pairs with both genes kept";

    // The posterior column: empty exactly for genes without a pair, a probability otherwise.
    for (const auto& [file, paired] :
         {std::pair{std::string("human.tsv"), &pairedHuman}, std::pair{std::string("mouse.tsv"), &pairedMouse}}) {
        const std::vector<std::string> rows = readLines(work.file("table/out/" + file));
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0], "identifier\tannotation\tcluster\tnearest_cluster\tdistance_to_nearest\tposterior");
        std::size_t withPosterior = 0;
        for (std::size_t r = 1; r < rows.size(); ++r) {
            std::vector<std::string> f = splitText(rows[r], '\t');
            f.resize(6);
            if (paired->count(f[0]) == 0) {
                EXPECT_EQ(f[5], "") << file << " " << f[0] << " has no pair";
                continue;
            }
            ++withPosterior;
            const double posterior = number(f[5]);
            EXPECT_TRUE(posterior > 0.0 && posterior <= 1.0) << file << " " << f[0] << ": \"" << f[5] << "\"";
        }
        EXPECT_EQ(withPosterior, paired->size()) << file;
    }
}

TEST(OutputFolder, AloneWritesEveryFileUnderItsStandardNameAndTheOriginalFilesUnchanged) {
    TempDir work;
    copyExample(work.path() / "plain", "");
    copyExample(work.path() / "folder", "");
    std::string parameters;
    for (const std::string& line : readLines(work.file("folder/ParameterSetting.txt"))) {
        if (line.find("out/") == std::string::npos) parameters += line + "\n";
    }
    writeFile(work.file("folder/ParameterSetting.txt"), parameters + "outputFolder = results\n");
    const CommandResult plain = runTool(work.path() / "plain", "ParameterSetting.txt");
    const CommandResult folder = runTool(work.path() / "folder", "ParameterSetting.txt");
    ASSERT_EQ(plain.exitStatus, 0) << plain.err;
    ASSERT_EQ(folder.exitStatus, 0) << folder.err;
    EXPECT_EQ(folder.out, plain.out);
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(work.path() / "folder" / "results")) {
        written.insert(entry.path().filename().string());
    }
    EXPECT_EQ(written, (std::set<std::string>{"human_clusters.txt", "mouse_clusters.txt", "pair_clusters.txt",
                                              "gene_pairs.txt", "human_assignments.tsv", "mouse_assignments.tsv",
                                              "pair_table.tsv", "pair_assignments.tsv", "model_selection.tsv",
                                              "run_record.json", "report.html"}));
    for (const char* name : {"human_clusters.txt", "mouse_clusters.txt", "pair_clusters.txt", "gene_pairs.txt"}) {
        EXPECT_TRUE(readFile(work.file(std::string("folder/results/") + name)) ==
                    readFile(work.file(std::string("plain/out/") + name)))
            << name;
    }

    // The pair-assignment table: the gene-pair file's pairs in its order, with its clusters.
    const int humanClusters =
        static_cast<int>(readMembershipFile(work.file("folder/results/human_clusters.txt")).clusters.size());
    const int mouseClusters =
        static_cast<int>(readMembershipFile(work.file("folder/results/mouse_clusters.txt")).clusters.size());
    const std::vector<GenePairLine> pairs = readGenePairFile(work.file("folder/results/gene_pairs.txt"));
    const std::vector<std::string> rows = readLines(work.file("folder/results/pair_assignments.tsv"));
    ASSERT_EQ(rows.size(), pairs.size() + 1) << "a header, then one row per pair with both genes kept";
    EXPECT_EQ(rows[0], "human_id\thuman_annotation\tmouse_id\tmouse_annotation\thuman_cluster\tmouse_cluster\tcell\t"
                       "human_posterior\tmouse_posterior\tsignificant_partners");
    const auto clusterText = [](int index, int clusters) {
        return index == clusters ? std::string("scatter") : std::to_string(index);
    };
    int partners = 0;
    for (std::size_t r = 0; r < pairs.size(); ++r) {
        std::vector<std::string> f = splitText(rows[r + 1], '\t');
        ASSERT_EQ(f.size(), 10u) << rows[r + 1];
        EXPECT_EQ(f[0], pairs[r].human);
        EXPECT_EQ(f[2], pairs[r].mouse);
        EXPECT_EQ(f[4], clusterText(pairs[r].humanIndex, humanClusters)) << rows[r + 1];
        EXPECT_EQ(f[5], clusterText(pairs[r].mouseIndex, mouseClusters)) << rows[r + 1];
        const bool scatter = f[4] == "scatter" || f[5] == "scatter";
        EXPECT_EQ(f[6], scatter ? std::string("scatter") : f[4] + "," + f[5]);
        if (scatter) {
            EXPECT_EQ(f[9], "no");
        }
        partners += f[9] == "yes";
    }
    EXPECT_GT(partners, 0) << "the example's clusters correspond";
}

TEST(PosteriorColumn, HoldsProbabilitiesAlsoWithANegativeScatterPseudoCount) {
    // A negative pseudo count makes the scatter term negative, so that the
    // cells' posteriors of a pair add up to more than 1.
    TempDir work;
    copyExample(work.path(), "assignmentFile_hm = out/human.tsv\nassignmentFile_ms = out/mouse.tsv\n"
                             "assignmentPosterior = yes\nseed = 7\n");
    std::string parameters = readFile(work.file("ParameterSetting.txt"));
    const std::string tenCounts = "psudo_uniform_counts = 10\n";
    ASSERT_NE(parameters.find(tenCounts), std::string::npos);
    parameters.replace(parameters.find(tenCounts), tenCounts.size(), "psudo_uniform_counts = -30\n");
    writeFile(work.file("ParameterSetting.txt"), parameters);
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    for (const char* name : {"out/human.tsv", "out/mouse.tsv"}) {
        const std::vector<std::string> lines = readLines(work.file(name));
        ASSERT_GT(lines.size(), 1u) << name;
        const std::size_t column = splitText(lines[0], '\t').size() - 1;
        ASSERT_EQ(splitText(lines[0], '\t').back(), "posterior") << name;
        int posteriors = 0;
        for (std::size_t l = 1; l < lines.size(); ++l) {
            const std::vector<std::string> fields = splitText(lines[l], '\t');
            if (fields.size() <= column || fields[column].empty()) continue;  // a gene without a pair
            const std::string& posterior = fields[column];
            ++posteriors;
            EXPECT_TRUE(number(posterior) >= 0.0 && number(posterior) <= 1.0) << name << ": " << lines[l];
        }
        EXPECT_GT(posteriors, 0) << name;
    }
}

}  // namespace
}  // namespace orthomix::testing
