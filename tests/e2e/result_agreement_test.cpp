// The four result files describe one clustering: every cluster number of the
// gene-pair file, and every row of the gene-pair cluster file, agrees with the
// two membership files. Checked over many repetitions, where the kept one is
// rarely the last, and in the fast density mode.
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

struct Clusters {
    std::map<std::string, int> clusterOf;  // gene -> position in its membership file
    std::map<std::string, std::vector<std::string>> valuesOf;
    int count = 0;
};

Clusters readClusters(const std::string& path) {
    Clusters clusters;
    const MembershipFile file = readMembershipFile(path);
    clusters.count = static_cast<int>(file.clusters.size());
    for (std::size_t c = 0; c < file.clusters.size(); ++c) {
        for (const MembershipRow& row : file.clusters[c]) {
            EXPECT_TRUE(clusters.clusterOf.emplace(row.name, static_cast<int>(c)).second) << path << ": " << row.name;
            clusters.valuesOf[row.name] = row.values;
        }
    }
    return clusters;
}

// Checks the gene-pair file and the gene-pair clusters against the membership
// files in folder/out; returns the number of pairs for the caller's own checks.
std::size_t expectResultFilesAgree(const fs::path& folder) {
    const Clusters human = readClusters((folder / "out/human_clusters.txt").string());
    const Clusters mouse = readClusters((folder / "out/mouse_clusters.txt").string());
    const std::vector<GenePairLine> pairs = readGenePairFile((folder / "out/gene_pairs.txt").string());
    const MembershipFile cells = readMembershipFile((folder / "out/pair_clusters.txt").string());
    EXPECT_EQ(cells.clusters.size(), static_cast<std::size_t>(human.count * mouse.count));

    std::vector<std::vector<MembershipRow>> expectedCells(static_cast<std::size_t>(human.count * mouse.count));
    std::size_t disagreements = 0;
    std::string first;
    for (const GenePairLine& pair : pairs) {
        const auto h = human.clusterOf.find(pair.human);
        const auto m = mouse.clusterOf.find(pair.mouse);
        const int expectedHuman = h == human.clusterOf.end() ? human.count : h->second;
        const int expectedMouse = m == mouse.clusterOf.end() ? mouse.count : m->second;
        if (pair.humanIndex != expectedHuman || pair.mouseIndex != expectedMouse) {
            if (disagreements++ == 0) {
                first = pair.human + ", " + pair.mouse + ": [" + std::to_string(pair.humanIndex) + "," +
                        std::to_string(pair.mouseIndex) + "] in the pair file, [" + std::to_string(expectedHuman) +
                        "," + std::to_string(expectedMouse) + "] in the membership files";
            }
            continue;
        }
        if (expectedHuman == human.count || expectedMouse == mouse.count) continue;
        MembershipRow row{pair.human, "", human.valuesOf.at(pair.human)};
        const std::vector<std::string>& mouseValues = mouse.valuesOf.at(pair.mouse);
        row.values.insert(row.values.end(), mouseValues.begin(), mouseValues.end());
        expectedCells[static_cast<std::size_t>(expectedHuman * mouse.count + expectedMouse)].push_back(row);
    }
    EXPECT_EQ(disagreements, 0u) << "of " << pairs.size() << " pairs; the first: " << first;

    for (std::size_t c = 0; c < cells.clusters.size() && c < expectedCells.size(); ++c) {
        const std::vector<MembershipRow>& written = cells.clusters[c];
        bool same = written.size() == expectedCells[c].size();
        for (std::size_t r = 0; same && r < written.size(); ++r) {
            same = written[r].name == expectedCells[c][r].name && written[r].values == expectedCells[c][r].values;
        }
        EXPECT_TRUE(same) << "cell " << c << " holds " << written.size() << " rows, the pairs of its two clusters "
                          << expectedCells[c].size();
    }
    return pairs.size();
}

void copyFolder(const fs::path& from, const fs::path& to) {
    for (const auto& entry : fs::directory_iterator(from)) {
        if (entry.is_regular_file()) fs::copy_file(entry.path(), to / entry.path().filename());
    }
    fs::create_directories(to / "out");
}

TEST(ResultAgreement, TheExampleWithTenRepetitionsWritesFourFilesOfOneClustering) {
    TempDir work;
    copyFolder(ORTHOMIX_EXAMPLES, work.path());
    setParameter(work.file("ParameterSetting.txt"), "nMaxAlgRun", "10");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("Repetitive times:9\n"), std::string::npos);
    EXPECT_GT(expectResultFilesAgree(work.path()), 1000u);
}

TEST(ResultAgreement, TheFastDensityModeRunsEndToEndAndFindsTheExactModesClusters) {
    TempDir exact, fast;
    PlantedDataset d;
    d.runs = 4;
    ASSERT_NO_FATAL_FAILURE(generateDataset(exact.path(), d));
    ASSERT_NO_FATAL_FAILURE(generateDataset(fast.path(), d));
    writeFile(fast.file("ParameterSetting.txt"), readFile(fast.file("ParameterSetting.txt")) + "fastDensity = yes\n");

    const CommandResult exactRun = runTool(exact.path(), "ParameterSetting.txt");
    ASSERT_EQ(exactRun.exitStatus, 0) << exactRun.err;
    const CommandResult fastRun = runTool(fast.path(), "ParameterSetting.txt");
    ASSERT_EQ(fastRun.exitStatus, 0) << fastRun.err;
    EXPECT_EQ(withoutOrthologReport(fastRun.err), "");
    EXPECT_NE(fastRun.out.find("Final BIC:"), std::string::npos);
    expectResultFilesAgree(fast.path());

    // Well separated clusters: both arithmetics put every gene in the same cluster.
    for (const char* file : {"out/human_clusters.txt", "out/mouse_clusters.txt"}) {
        const Clusters exactClusters = readClusters(exact.file(file));
        const Clusters fastClusters = readClusters(fast.file(file));
        EXPECT_EQ(exactClusters.clusterOf, fastClusters.clusterOf) << file;
    }
}

TEST(ResultAgreement, TheFastModeFinishesWhereTheExactModeDoesWithNegativePseudoCounts) {
    // A negative pseudo count can make the scatter term negative: the exact
    // arithmetic carries on, and so must the log domain.
    TempDir data;
    ASSERT_NO_FATAL_FAILURE(generateDataset(data.path(), PlantedDataset{}));
    for (const char* pseudoCounts : {"-5", "-1000"}) {
        TempDir exact, fast;
        copyFolder(data.path(), exact.path());
        copyFolder(data.path(), fast.path());
        setParameter(exact.file("ParameterSetting.txt"), "psudo_uniform_counts", pseudoCounts);
        setParameter(fast.file("ParameterSetting.txt"), "psudo_uniform_counts", pseudoCounts);
        writeFile(fast.file("ParameterSetting.txt"), readFile(fast.file("ParameterSetting.txt")) + "fastDensity = yes\n");
        const CommandResult exactRun = runTool(exact.path(), "ParameterSetting.txt");
        ASSERT_EQ(exactRun.exitStatus, 0) << pseudoCounts << ": " << exactRun.err;
        const CommandResult fastRun = runTool(fast.path(), "ParameterSetting.txt");
        ASSERT_EQ(fastRun.exitStatus, 0) << pseudoCounts << ": " << fastRun.err;
        EXPECT_NE(fastRun.out.find("Final BIC:"), std::string::npos);
        expectResultFilesAgree(fast.path());
        for (const char* file : {"out/human_clusters.txt", "out/mouse_clusters.txt"}) {
            EXPECT_EQ(readClusters(exact.file(file)).clusterOf, readClusters(fast.file(file)).clusterOf)
                << pseudoCounts << ": " << file;
        }
    }
}

}  // namespace
}  // namespace orthomix::testing
