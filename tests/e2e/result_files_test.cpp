// The writers of the cluster membership files and the gene-pair result file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "io/result_writers.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

struct Clusters {
    GeneStore genes;
    ClusterStore store;
    std::vector<GeneCluster*> list;

    GeneCluster* add(std::int32_t dimension) {
        store.push_back(std::make_unique<GeneCluster>(static_cast<std::int32_t>(store.size()), dimension));
        list.push_back(store.back().get());
        return list.back();
    }
    GeneRecord* gene(GeneCluster* cluster, const std::string& name, const std::string& annotation,
                     std::vector<double> values) {
        genes.push_back(std::make_unique<GeneRecord>(std::move(values), name));
        genes.back()->annotation = annotation;
        cluster->appendMember(genes.back().get());
        return genes.back().get();
    }
};

const std::vector<std::string> kColumns = {"S1", "S2"};

TEST(MembershipFile, HeaderMembersAndThreeNoneLinesBetweenClusters) {
    TempDir work;
    Clusters two;
    two.gene(two.add(2), "g1", "A", {1.0, 2.0});
    two.gene(two.add(2), "g2", "", {3.0, 4.0});
    writeFile(work.file("two.txt"), "an older, longer file that must disappear entirely\n\n\n\n");
    writeMembershipFile(work.file("two.txt"), two.list, kColumns);
    EXPECT_EQ(readFile(work.file("two.txt")), "probe set\tNAME\tS1\tS2\ng1\tA\t1\t2\nNONE\nNONE\nNONE\ng2\t\t3\t4\n");

    Clusters middleEmpty;
    middleEmpty.gene(middleEmpty.add(2), "g1", "A", {1.0, 2.0});
    middleEmpty.add(2);
    middleEmpty.gene(middleEmpty.add(2), "g3", "C", {5.0, 6.0});
    writeMembershipFile(work.file("middle.txt"), middleEmpty.list, kColumns);
    EXPECT_EQ(readFile(work.file("middle.txt")),
              "probe set\tNAME\tS1\tS2\ng1\tA\t1\t2\nNONE\nNONE\nNONE\nNONE\nNONE\nNONE\ng3\tC\t5\t6\n")
        << "an empty cluster keeps the separators on both sides";

    Clusters single;
    GeneCluster* only = single.add(2);
    single.gene(only, "b", "x y", {0.1, -2.5});
    single.gene(only, "a", "", {1.0 / 3.0, 15000000.0});
    writeMembershipFile(work.file("single.txt"), single.list, kColumns);
    EXPECT_EQ(readFile(work.file("single.txt")), "probe set\tNAME\tS1\tS2\nb\tx y\t0.1\t-2.5\na\t\t0.333333\t1.5e+07\n")
        << "no separator with one cluster; members in list order; numbers as %g";

    writeMembershipFile(work.file("empty.txt"), {}, kColumns);
    EXPECT_EQ(readFile(work.file("empty.txt")), "probe set\tNAME\tS1\tS2\n") << "no clusters: the header alone";

    Clusters narrow;
    narrow.gene(narrow.add(1), "g", "", {7.0, 8.0});
    writeMembershipFile(work.file("narrow.txt"), narrow.list, {"S1"});
    EXPECT_EQ(readFile(work.file("narrow.txt")), "probe set\tNAME\tS1\ng\t\t7\n")
        << "a member contributes the cluster's dimension of values";

    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(work.path())) ++files;
    EXPECT_EQ(files, 5u) << "no temporary file is left next to the results";
}

TEST(GenePairResultFile, OneLinePerPairWithBothClusterIndices) {
    TempDir work;
    GeneRecord h1({1.0}, "H1"), h2({1.0}, "H 2"), m7({1.0}, "M7"), m1({1.0}, "M1");
    h1.clusterIndex = 0;
    m7.clusterIndex = 3;
    h2.clusterIndex = -1;
    m1.clusterIndex = 12;
    writeGenePairResultFile(work.file("pairs.txt"), {{&h1, &m7}, {&h2, &m1}, {&h2, &m7}});
    EXPECT_EQ(readFile(work.file("pairs.txt")),
              "  <H1, M7>--->\t[0,3]\n  <H 2, M1>--->\t[-1,12]\n  <H 2, M7>--->\t[-1,3]\n");

    writeFile(work.file("none.txt"), "old content\n");
    writeGenePairResultFile(work.file("none.txt"), {});
    EXPECT_TRUE(fs::exists(work.file("none.txt")));
    EXPECT_EQ(readFile(work.file("none.txt")), "") << "no pairs: an empty file, still created";
}

// Only the named directory remains: no temporary file beside it.
void expectOnlyEntry(const fs::path& folder, const std::string& name) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{name});
}

TEST(ResultFilesDeathTest, AnUnwritablePathStopsTheRunWithoutLeavingAFile) {
    TempDir work;
    Clusters one;
    one.gene(one.add(2), "g1", "A", {1.0, 2.0});
    GeneRecord h({1.0}, "H1"), m({1.0}, "M1");

    // The messages name the whole path; its temporary-folder prefix is matched loosely.
    const std::string missingFolder = work.file("absent/human.txt");
    EXPECT_EXIT(writeMembershipFile(missingFolder, one.list, kColumns), ::testing::ExitedWithCode(1),
                "^Cannot open file /.*/absent/human\\.txt\n$");
    EXPECT_EXIT(writeGenePairResultFile(missingFolder, {{&h, &m}}), ::testing::ExitedWithCode(1),
                "^Cannot open file /.*/absent/human\\.txt\n$");

    // A directory in the way: the text is written in full, then cannot take the path.
    fs::create_directory(work.path() / "taken");
    const std::string taken = work.file("taken");
    EXPECT_EXIT(writeMembershipFile(taken, one.list, kColumns), ::testing::ExitedWithCode(1),
                "^Cannot open file /.*/taken\n$");
    EXPECT_EXIT(writeGenePairResultFile(taken, {{&h, &m}}), ::testing::ExitedWithCode(1),
                "^Cannot open file /.*/taken\n$");
    expectOnlyEntry(work.path(), "taken");
    EXPECT_TRUE(fs::is_empty(work.path() / "taken"));
}

}  // namespace
}  // namespace orthomix::testing
