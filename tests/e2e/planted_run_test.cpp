// Complete runs of the tool on generated datasets with planted clusters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "e2e/planted_dataset.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

const char* const kResultFiles[] = {"out/human_clusters.txt", "out/mouse_clusters.txt", "out/gene_pairs.txt",
                                    "out/pair_clusters.txt"};

struct ConsoleReport {
    std::vector<long> countsBeforeAndAfter;  // human before, after; mouse before, after
    std::vector<double> likelihoods;         // of the accepted repetitions
    double maximumLikelihood = 0.0;
    double bic = 0.0;
};

// Walks the console output line by line in the order the run prints it.
ConsoleReport readConsole(const std::string& out) {
    ConsoleReport report;
    const std::vector<std::string> lines = splitText(out, '\n');
    std::size_t at = 0;
    const auto line = [&]() -> std::string { return at < lines.size() ? lines[at] : "<end of output>"; };
    const auto expectLine = [&](const std::string& text) {
        EXPECT_EQ(line(), text) << "console line " << at + 1;
        ++at;
    };
    // The text after a fixed prefix, or a failure naming the line.
    const auto valueAfter = [&](const std::string& prefix) -> std::string {
        const std::string text = line();
        ++at;
        if (text.rfind(prefix, 0) == 0) return text.substr(prefix.size());
        ADD_FAILURE() << "console line " << at << " \"" << text << "\" does not start with \"" << prefix << "\"";
        return "0";
    };

    for (const char* text :
         {"finish reading params", "finish reading data", "finish human annot", "finish reading annot"}) {
        expectLine(text);
    }
    for (const char* organism : {"human", "mouse"}) {
        for (const char* when : {"before", "after"}) {
            report.countsBeforeAndAfter.push_back(
                std::stol(valueAfter(std::string("Num of ") + organism + " genes " + when + " preprocessing = ")));
        }
    }
    expectLine("finish preprocess");
    // Each EM run that ends normally prints its block; an accepted one adds two lines.
    while (line().empty()) {
        for (int i = 0; i < 3; ++i) expectLine("");
        expectLine("......New repetition....");
        EXPECT_GE(std::stoi(valueAfter("scatter_gene_pair_cluster's size:\t")), 0);
        if (line().rfind("Repetitive times:", 0) != 0) continue;
        expectLine("Repetitive times:" + std::to_string(report.likelihoods.size()));
        report.likelihoods.push_back(std::stod(valueAfter("......likelihood=\t")));
    }
    expectLine(".......");
    expectLine("");
    expectLine("");
    expectLine("The maximum likelihood:");
    report.maximumLikelihood = std::stod(valueAfter(""));
    expectLine("Final BIC:");
    report.bic = std::stod(valueAfter(""));
    EXPECT_EQ(at, lines.size()) << "nothing follows the BIC";
    return report;
}

// Six significant digits on the console.
void expectPrinted(double printed, double exact, const char* what) {
    EXPECT_NEAR(printed, exact, std::fabs(exact) * 1e-5) << what;
}

void expectReportAgreesWithData(const ConsoleReport& report, const PlantedDataset& d, std::size_t humanKept,
                                std::size_t mouseKept) {
    EXPECT_EQ(report.countsBeforeAndAfter, (std::vector<long>{d.humanGenes, static_cast<long>(humanKept), d.mouseGenes,
                                                              static_cast<long>(mouseKept)}));
    ASSERT_EQ(report.likelihoods.size(), static_cast<std::size_t>(d.runs));
    expectPrinted(report.maximumLikelihood, *std::max_element(report.likelihoods.begin(), report.likelihoods.end()),
                  "the maximum likelihood is the best repetition's");
    const double parameters = 2.0 * static_cast<double>(d.k) * static_cast<double>(d.humanSamples + d.mouseSamples + 1);
    expectPrinted(report.bic,
                  std::log(static_cast<double>(humanKept + mouseKept)) * parameters - 2.0 * report.maximumLikelihood,
                  "BIC = ln(N) P - 2 L over the genes kept by preprocessing");
}

struct Organism {
    const char* expressionFile;
    const char* annotationFile;
    const char* truthFile;
    const char* resultFile;
};
const Organism kHuman{"human_expression.txt", "human_annotation.txt", "truth_hm.txt", "out/human_clusters.txt"};
const Organism kMouse{"mouse_expression.txt", "mouse_annotation.txt", "truth_ms.txt", "out/mouse_clusters.txt"};

// Gene -> position of its cluster in a membership file; each gene at most once.
std::map<std::string, int> clusterOfGene(const MembershipFile& file, const std::string& what) {
    std::map<std::string, int> cluster;
    for (std::size_t c = 0; c < file.clusters.size(); ++c) {
        for (const MembershipRow& row : file.clusters[c]) {
            EXPECT_TRUE(cluster.emplace(row.name, static_cast<int>(c)).second) << what << ": " << row.name << " twice";
        }
    }
    return cluster;
}

std::map<std::string, std::string> readAnnotation(const std::string& path) {
    std::map<std::string, std::string> annotation;
    const std::vector<std::string> lines = readLines(path);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = splitText(lines[i], '\t');
        annotation[fields[0]] = fields[1];
    }
    return annotation;
}

std::set<std::string> keptGenes(const fs::path& folder, const Organism& organism) {
    // The thresholds the generator writes to ParameterSetting.txt.
    return genesPassingFilter(readExpression((folder / organism.expressionFile).string()), 0.02, 6.0);
}

TEST(PlantedDatasetGenerator, PlantsEveryKindOfGeneAndPair) {
    TempDir work;
    const PlantedDataset d;
    ASSERT_NO_FATAL_FAILURE(generateDataset(work.path(), d));
    const auto humanTruth = readTruth(work.file(kHuman.truthFile));
    const auto mouseTruth = readTruth(work.file(kMouse.truthFile));
    ASSERT_EQ(humanTruth.size(), static_cast<std::size_t>(d.humanGenes));
    ASSERT_EQ(mouseTruth.size(), static_cast<std::size_t>(d.mouseGenes));
    const std::set<std::string> humanKept = keptGenes(work.path(), kHuman);
    const std::set<std::string> mouseKept = keptGenes(work.path(), kMouse);

    std::set<int> plantedClusters;
    for (const auto& [gene, cluster] : humanTruth) {
        plantedClusters.insert(cluster);
        if (cluster >= 0) {
            EXPECT_EQ(humanKept.count(gene), 1u) << gene << " is clustered but would be dropped";
        }
    }
    EXPECT_EQ(plantedClusters, (std::set<int>{-1, 0, 1, 2}));
    for (const auto& [gene, values] : readExpression(work.file(kMouse.expressionFile))) {
        EXPECT_EQ(values.size(), static_cast<std::size_t>(d.mouseSamples)) << gene;
        for (const double x : values) EXPECT_TRUE(x >= 2.0 && x <= 14.0) << gene << " " << x;
    }

    std::map<std::string, int> humanOrthologs, mouseOrthologs;
    std::map<std::string, std::size_t> kinds;
    std::set<std::string> lines;
    for (const std::string& line : readLines(work.file("orthologs.txt"))) {
        lines.insert(line);
        const std::vector<std::string> fields = splitText(line, '\t');
        ASSERT_EQ(fields.size(), 2u) << line;
        ++humanOrthologs[fields[0]];
        ++mouseOrthologs[fields[1]];
        const int h = humanTruth.at(fields[0]), m = mouseTruth.at(fields[1]);
        const bool bothKept = humanKept.count(fields[0]) != 0 && mouseKept.count(fields[1]) != 0;
        ++kinds[!bothKept ? "dropped gene" : h < 0 && m < 0 ? "scatter" : h == m ? "matching" : "other clusters"];
    }
    const std::size_t pairs = static_cast<std::size_t>(std::min(d.humanGenes, d.mouseGenes) * 3 / 4);
    EXPECT_EQ(lines.size(), pairs) << "the default number of distinct pairs";
    EXPECT_GT(kinds["matching"], pairs * 7 / 10);
    for (const char* kind : {"scatter", "other clusters", "dropped gene"}) EXPECT_GT(kinds[kind], 0u) << kind;
    const auto hasTwo = [](const std::map<std::string, int>& counts) {
        return std::any_of(counts.begin(), counts.end(), [](const auto& entry) { return entry.second > 1; });
    };
    EXPECT_TRUE(hasTwo(humanOrthologs)) << "a human gene with two mouse orthologs";
    EXPECT_TRUE(hasTwo(mouseOrthologs)) << "a mouse gene with two human orthologs";
    EXPECT_GT(readAnnotation(work.file(kHuman.annotationFile)).size(), humanTruth.size() * 9 / 10);
}

TEST(PlantedRun, WritesFourConsistentResultFiles) {
    TempDir work;
    const PlantedDataset d;  // one repetition: every file reflects the same one
    ASSERT_NO_FATAL_FAILURE(generateDataset(work.path(), d));
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(withoutOrthologReport(run.err), "");

    const std::set<std::string> humanKept = keptGenes(work.path(), kHuman);
    const std::set<std::string> mouseKept = keptGenes(work.path(), kMouse);
    ASSERT_LT(humanKept.size(), static_cast<std::size_t>(d.humanGenes)) << "the dataset has genes to drop";
    expectReportAgreesWithData(readConsole(run.out), d, humanKept.size(), mouseKept.size());

    std::map<std::string, int> clusterOf[2];
    MembershipFile membership[2];
    std::map<std::string, const MembershipRow*> rowOf;
    const std::vector<std::string> sampleNames[2] = {
        {"H_S01", "H_S02", "H_S03", "H_S04", "H_S05", "H_S06", "H_S07", "H_S08"},
        {"M_S01", "M_S02", "M_S03", "M_S04", "M_S05", "M_S06"}};
    for (int o = 0; o < 2; ++o) {
        const Organism& organism = o == 0 ? kHuman : kMouse;
        const std::set<std::string>& kept = o == 0 ? humanKept : mouseKept;
        membership[o] = readMembershipFile(work.file(organism.resultFile));
        EXPECT_EQ(membership[o].columns, sampleNames[o]) << organism.resultFile;
        EXPECT_GE(membership[o].clusters.size(), 1u);
        EXPECT_LE(membership[o].clusters.size(), static_cast<std::size_t>(d.k));
        clusterOf[o] = clusterOfGene(membership[o], organism.resultFile);
        const auto annotation = readAnnotation(work.file(organism.annotationFile));
        for (const auto& cluster : membership[o].clusters) {
            EXPECT_FALSE(cluster.empty()) << organism.resultFile << ": a kept cluster has members";
            EXPECT_TRUE(std::is_sorted(cluster.begin(), cluster.end(),
                                       [](const MembershipRow& a, const MembershipRow& b) { return a.name < b.name; }))
                << organism.resultFile << ": members sorted by name";
            for (const MembershipRow& row : cluster) {
                EXPECT_EQ(kept.count(row.name), 1u) << row.name << " was dropped by preprocessing";
                const auto found = annotation.find(row.name);
                EXPECT_EQ(row.annotation, found == annotation.end() ? "" : found->second) << row.name;
                rowOf[row.name] = &row;
            }
        }
    }
    const int nH = static_cast<int>(membership[0].clusters.size());
    const int nM = static_cast<int>(membership[1].clusters.size());

    // One line per ortholog entry whose two genes were kept, with the genes' clusters.
    std::set<std::pair<std::string, std::string>> expectedPairs;
    for (const std::string& line : readLines(work.file("orthologs.txt"))) {
        const std::vector<std::string> fields = splitText(line, '\t');
        if (humanKept.count(fields[0]) != 0 && mouseKept.count(fields[1]) != 0)
            expectedPairs.insert({fields[0], fields[1]});
    }
    const std::vector<GenePairLine> pairs = readGenePairFile(work.file("out/gene_pairs.txt"));
    std::set<std::pair<std::string, std::string>> writtenPairs;
    std::map<std::string, int> pairIndex[2];
    using PairRow = std::tuple<int, std::string, std::vector<std::string>>;  // cell, name, values
    std::vector<PairRow> expectedPairRows;
    for (const GenePairLine& pair : pairs) {
        writtenPairs.insert({pair.human, pair.mouse});
        pairIndex[0][pair.human] = pair.humanIndex;
        pairIndex[1][pair.mouse] = pair.mouseIndex;
        EXPECT_TRUE(pair.humanIndex >= 0 && pair.humanIndex <= nH) << pair.human << " " << pair.humanIndex;
        EXPECT_TRUE(pair.mouseIndex >= 0 && pair.mouseIndex <= nM) << pair.mouse << " " << pair.mouseIndex;
        if (pair.humanIndex == nH || pair.mouseIndex == nM || rowOf.count(pair.human) == 0 ||
            rowOf.count(pair.mouse) == 0) {
            continue;
        }
        std::vector<std::string> values = rowOf[pair.human]->values;
        values.insert(values.end(), rowOf[pair.mouse]->values.begin(), rowOf[pair.mouse]->values.end());
        expectedPairRows.emplace_back(pair.humanIndex * nM + pair.mouseIndex, pair.human, values);
    }
    EXPECT_EQ(pairs.size(), writtenPairs.size()) << "no pair written twice";
    EXPECT_EQ(writtenPairs, expectedPairs);

    // A kept gene is missing from its membership file only as a scatter gene;
    // a listed gene's index in the pair file is its cluster's position.
    std::vector<std::string> problems;
    for (int o = 0; o < 2; ++o) {
        const int scatter = o == 0 ? nH : nM;
        for (const std::string& gene : o == 0 ? humanKept : mouseKept) {
            const auto listed = clusterOf[o].find(gene);
            const auto paired = pairIndex[o].find(gene);
            if (listed == clusterOf[o].end() && (paired == pairIndex[o].end() || paired->second != scatter)) {
                problems.push_back(gene + " is in no cluster and not in scatter");
            } else if (listed != clusterOf[o].end() && paired != pairIndex[o].end() &&
                       paired->second != listed->second) {
                problems.push_back(gene + " has index " + std::to_string(paired->second) +
                                   " in the pair file, cluster " + std::to_string(listed->second) +
                                   " in its membership file");
            }
        }
    }
    EXPECT_TRUE(problems.empty()) << problems.size() << " genes, the first: " << (problems.empty() ? "" : problems[0]);

    // The gene-pair clusters: cell i * nM + j holds the pairs of human cluster i
    // and mouse cluster j, each row the human values followed by the mouse values.
    const MembershipFile pairClusters = readMembershipFile(work.file("out/pair_clusters.txt"));
    std::vector<std::string> pairColumns = sampleNames[0];
    pairColumns.insert(pairColumns.end(), sampleNames[1].begin(), sampleNames[1].end());
    EXPECT_EQ(pairClusters.columns, pairColumns);
    ASSERT_EQ(pairClusters.clusters.size(), static_cast<std::size_t>(nH * nM));
    std::vector<PairRow> pairRows;
    for (std::size_t c = 0; c < pairClusters.clusters.size(); ++c) {
        for (const MembershipRow& row : pairClusters.clusters[c])
            pairRows.emplace_back(static_cast<int>(c), row.name, row.values);
    }
    std::sort(pairRows.begin(), pairRows.end());
    std::sort(expectedPairRows.begin(), expectedPairRows.end());
    EXPECT_EQ(pairRows.size(), expectedPairRows.size());
    EXPECT_TRUE(pairRows == expectedPairRows) << "pair cluster rows differ from the pairs and membership files";

    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(work.path() / "out")) ++entries;
    EXPECT_EQ(entries, 4u) << "the four result files and nothing else";
}

std::vector<std::string> filesOf(const fs::path& folder, const std::vector<std::string>& names) {
    std::vector<std::string> contents;
    for (const std::string& name : names) contents.push_back(readFile((folder / name).string()));
    return contents;
}

TEST(PlantedRun, RecoversThePlantedClustersAndRepeatsBitForBit) {
    TempDir first, second;
    PlantedDataset d;
    d.runs = 4;  // a single random start can merge two planted clusters
    ASSERT_NO_FATAL_FAILURE(generateDataset(first.path(), d));
    ASSERT_NO_FATAL_FAILURE(generateDataset(second.path(), d));
    const std::vector<std::string> inputs = {"human_expression.txt", "mouse_expression.txt", "human_annotation.txt",
                                             "mouse_annotation.txt", "orthologs.txt",        "truth_hm.txt",
                                             "truth_ms.txt",         "ParameterSetting.txt"};
    EXPECT_TRUE(filesOf(first.path(), inputs) == filesOf(second.path(), inputs)) << "the generator is deterministic";

    const CommandResult run = runTool(first.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const CommandResult again = runTool(second.path(), "ParameterSetting.txt");
    ASSERT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(run.out, again.out) << "same seed, same console";
    const std::vector<std::string> results(std::begin(kResultFiles), std::end(kResultFiles));
    const auto firstResults = filesOf(first.path(), results);
    const auto secondResults = filesOf(second.path(), results);
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_TRUE(firstResults[i] == secondResults[i]) << results[i] << " differs between two runs with one seed";
    }
    expectReportAgreesWithData(readConsole(run.out), d, keptGenes(first.path(), kHuman).size(),
                               keptGenes(first.path(), kMouse).size());

    for (const Organism& organism : {kHuman, kMouse}) {
        const std::map<std::string, int> truth = readTruth(first.file(organism.truthFile));
        const std::map<std::string, int> found =
            clusterOfGene(readMembershipFile(first.file(organism.resultFile)), organism.resultFile);
        std::vector<int> planted, recovered;
        std::size_t plantedTotal = 0;
        for (const auto& [gene, cluster] : truth) plantedTotal += cluster >= 0 ? 1 : 0;
        for (const auto& [gene, cluster] : found) {
            const auto plantedCluster = truth.find(gene);
            ASSERT_NE(plantedCluster, truth.end()) << gene;
            if (plantedCluster->second < 0) continue;
            planted.push_back(plantedCluster->second);
            recovered.push_back(cluster);
        }
        EXPECT_GE(planted.size() * 10, plantedTotal * 9) << organism.resultFile << ": most planted genes are clustered";
        EXPECT_GE(adjustedRandIndex(planted, recovered), 0.9) << organism.resultFile;
    }
}

}  // namespace
}  // namespace orthomix::testing
