// The writers of the cluster membership files and the gene-pair result file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "io/result_writers.h"
#include "io_test_support.h"

namespace orthomix {
namespace {

namespace fs = std::filesystem;
using testing::readWholeFile;
using testing::TemporaryDirectory;

using Names = std::vector<std::string>;
const std::vector<std::string> kColumns = {"S1", "S2"};

Status writeMembership(const std::string& path, const std::vector<MembershipCluster>& clusters,
                       const std::vector<std::string>& columns) {
    AtomicOutputFile out(path);
    writeMembershipFile(out, clusters, columns);
    return out.commit();
}

Status writeGenePairs(const std::string& path, const std::vector<GenePairLine>& pairs) {
    AtomicOutputFile out(path);
    writeGenePairResultFile(out, pairs);
    return out.commit();
}

TEST(MembershipFile, HeaderMembersAndThreeNoneLinesBetweenClusters) {
    const TemporaryDirectory work;
    const std::vector<double> v12 = {1.0, 2.0}, v34 = {3.0, 4.0}, v56 = {5.0, 6.0};

    const std::string two = work.write("two.txt", "an older, longer file that must disappear entirely\n\n\n\n");
    ASSERT_TRUE(writeMembership(two, {{{"g1", "A", v12, {}}}, {{"g2", "", v34, {}}}}, kColumns).ok());
    EXPECT_EQ(readWholeFile(two), "probe set\tNAME\tS1\tS2\ng1\tA\t1\t2\nNONE\nNONE\nNONE\ng2\t\t3\t4\n");

    const std::string middle = work.pathOf("middle.txt");
    ASSERT_TRUE(writeMembership(middle, {{{"g1", "A", v12, {}}}, {}, {{"g3", "C", v56, {}}}}, kColumns).ok());
    EXPECT_EQ(readWholeFile(middle),
              "probe set\tNAME\tS1\tS2\ng1\tA\t1\t2\nNONE\nNONE\nNONE\nNONE\nNONE\nNONE\ng3\tC\t5\t6\n")
        << "an empty cluster keeps the separators on both sides";

    const std::string trailing = work.pathOf("trailing.txt");
    ASSERT_TRUE(writeMembership(trailing, {{{"g1", "A", v12, {}}}, {}}, kColumns).ok());
    EXPECT_EQ(readWholeFile(trailing), "probe set\tNAME\tS1\tS2\ng1\tA\t1\t2\nNONE\nNONE\nNONE\n")
        << "an empty last cluster still ends with its separator";

    const std::string single = work.pathOf("single.txt");
    const std::vector<double> first = {0.1, -2.5}, second = {1.0 / 3.0, 15000000.0};
    ASSERT_TRUE(writeMembership(single, {{{"b", "x y", first, {}}, {"a", "", second, {}}}}, kColumns).ok());
    EXPECT_EQ(readWholeFile(single), "probe set\tNAME\tS1\tS2\nb\tx y\t0.1\t-2.5\na\t\t0.333333\t1.5e+07\n")
        << "no separator with one cluster; rows in the given order; numbers as %g";

    const std::string empty = work.pathOf("empty.txt");
    ASSERT_TRUE(writeMembership(empty, {}, kColumns).ok());
    EXPECT_EQ(readWholeFile(empty), "probe set\tNAME\tS1\tS2\n") << "no clusters: the header alone";

    EXPECT_EQ(work.entries(), (Names{"empty.txt", "middle.txt", "single.txt", "trailing.txt", "two.txt"}))
        << "no temporary file is left next to the results";
}

TEST(MembershipFile, GenePairRowsGiveTheHumanValuesThenTheMouseValues) {
    const TemporaryDirectory work;
    const std::vector<double> human = {1.0, 2.0}, mouse = {3.0, 4.0, 5.0};
    const std::string path = work.pathOf("pairs.txt");
    const Names columns = {"h1", "h2", "m1", "m2", "m3"};
    ASSERT_TRUE(writeMembership(path, {{{"H1|M1", "ann", human, mouse}, {"H2|M2", "", {}, mouse}}}, columns).ok());
    EXPECT_EQ(readWholeFile(path), "probe set\tNAME\th1\th2\tm1\tm2\tm3\nH1|M1\tann\t1\t2\t3\t4\t5\nH2|M2\t\t3\t4\t5\n")
        << "each row writes exactly the values it holds";
}

TEST(GenePairResultFile, OneLinePerPairWithBothClusterNumbers) {
    const TemporaryDirectory work;
    const std::string path = work.pathOf("pairs.txt");
    ASSERT_TRUE(writeGenePairs(path, {{"H1", "M7", 0, 3}, {"H 2", "M1", -1, 12}, {"H 2", "M7", -1, 3}}).ok());
    EXPECT_EQ(readWholeFile(path), "  <H1, M7>--->\t[0,3]\n  <H 2, M1>--->\t[-1,12]\n  <H 2, M7>--->\t[-1,3]\n");

    const std::string none = work.write("none.txt", "old content\n");
    ASSERT_TRUE(writeGenePairs(none, {}).ok());
    EXPECT_TRUE(fs::exists(none));
    EXPECT_EQ(readWholeFile(none), "") << "no pairs: an empty file, still created";
    EXPECT_EQ(work.entries(), (Names{"none.txt", "pairs.txt"}));
}

}  // namespace
}  // namespace orthomix
