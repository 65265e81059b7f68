// The writers of the result tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
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

template <typename Write>
Status written(const std::string& path, Write write) {
    AtomicOutputFile out(path);
    write(out);
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

TEST(PairTableFile, CellsThenScatterWithUndefinedNumbersLeftEmpty) {
    const TemporaryDirectory work;
    constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
    const std::vector<PairTableRow> rows = {
        {0, 0, 12, 0.25, 4.0, 3.0, 1.5e-12, 3e-11},
        {0, 1, 0, 1.0 / 3.0, 0.0, kUndefined, 1.0, 1.0},
        {-1, -1, 7, 0.0123456789, kUndefined, kUndefined, kUndefined, kUndefined},
    };
    const std::string path = work.pathOf("table.tsv");
    ASSERT_TRUE(written(path, [&](AtomicOutputFile& out) { writePairTableFile(out, rows); }).ok());
    EXPECT_EQ(readWholeFile(path),
              "human_cluster\tmouse_cluster\tpairs\tfitted_probability\texpected_pairs\tobserved_over_expected\t"
              "p_value\tq_value\n"
              "0\t0\t12\t0.25\t4\t3\t1.5e-12\t3e-11\n"
              "0\t1\t0\t0.333333\t0\t\t1\t1\n"
              "scatter\tscatter\t7\t0.0123457\t\t\t\t\n");
}

TEST(PairAssignmentFile, BothGenesTheirClustersTheCellAndWhetherItIsAPartner) {
    const TemporaryDirectory work;
    const std::vector<PairAssignmentRow> rows = {
        {"H1", "heart actin", "M1", "Actc1", 3, 0, 0.75, 1.0, true},
        {"H2", "", "M2", "m two", -1, 2, std::numeric_limits<double>::quiet_NaN(), 0.5, false},
    };
    const std::string path = work.pathOf("pairs.tsv");
    ASSERT_TRUE(written(path, [&](AtomicOutputFile& out) { writePairAssignmentFile(out, rows); }).ok());
    EXPECT_EQ(readWholeFile(path),
              "human_id\thuman_annotation\tmouse_id\tmouse_annotation\thuman_cluster\tmouse_cluster\tcell\t"
              "human_posterior\tmouse_posterior\tsignificant_partners\n"
              "H1\theart actin\tM1\tActc1\t3\t0\t3,0\t0.75\t1\tyes\n"
              "H2\t\tM2\tm two\tscatter\t2\tscatter\t\t0.5\tno\n");
}

TEST(ModelSelectionFile, ExactLikelihoodsAndAFailedKWithOnlyItsCounts) {
    const TemporaryDirectory work;
    ModelSelectionRow done;
    done.k = 4;
    done.completed = true;
    done.repetitionsAccepted = 10;
    done.attemptsRejected = 2;
    done.logLikelihood = -6199.968453875235;
    done.parameters = 276;
    done.bic = 0.1 + 0.2;  // 0.30000000000000004: every digit that tells it from 0.3
    done.iterations = 9;
    done.seconds = 1.23456;
    done.selected = true;
    done.icl = 12.5;
    done.humanStability = 0.75;
    done.mouseStability = 1.0;
    ModelSelectionRow failed;
    failed.k = 40;
    failed.attemptsRejected = 100;
    failed.parameters = 1840;
    failed.seconds = 0.5;
    const std::string path = work.pathOf("selection.tsv");
    ASSERT_TRUE(written(path, [&](AtomicOutputFile& out) { writeModelSelectionFile(out, {done, failed}); }).ok());
    EXPECT_EQ(readWholeFile(path),
              "k\trepetitions_accepted\tattempts_rejected\tlog_likelihood\tparameters\tbic\titerations\tseconds\t"
              "selected\ticl\thuman_stability\tmouse_stability\n"
              "4\t10\t2\t-6199.968453875235\t276\t0.30000000000000004\t9\t1.235\tyes\t12.5\t0.75\t1\n"
              "40\t0\t100\t\t\t\t\t0.500\tno\t\t\t\n");
}

}  // namespace
}  // namespace orthomix
