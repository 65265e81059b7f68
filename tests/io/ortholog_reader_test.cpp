#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "io/ortholog_reader.h"
#include "io_test_support.h"

namespace orthomix {
namespace {

using testing::TemporaryDirectory;
using PairList = std::vector<std::pair<std::string, std::string>>;

PairList pairsOf(const OrthologTable& table) { return {table.begin(), table.end()}; }

TEST(OrthologReader, KeepsDistinctPairsInIdentifierOrder) {
    EXPECT_EQ(pairsOf(parseOrthologText("H1\tM1\nH1\tM2\nH1\tM1\n")), (PairList{{"H1", "M1"}, {"H1", "M2"}}))
        << "a repeated pair is one entry";
    EXPECT_EQ(pairsOf(parseOrthologText("H2\tM1\r\nH1\tM9\r\n")), (PairList{{"H1", "M9"}, {"H2", "M1"}}));
    EXPECT_TRUE(parseOrthologText("").empty());
    EXPECT_TRUE(parseOrthologText("\n\n").empty());

    // The first line is a pair (no header); short, one-field and tab-only
    // lines are skipped; extra fields are ignored; a proper prefix sorts first
    // and bytes above 0x7f sort after ASCII.
    const std::string text =
        "H10\tM1\textra\n"
        "\n"
        "H\n"
        "ONLYONE\n"
        "\t\t\t\n"
        "\xc3\xa9\tM1\n"
        "\t\tH1\t\tM1\t\n"
        "H1\tM10";
    EXPECT_EQ(pairsOf(parseOrthologText(text)), (PairList{{"H1", "M1"}, {"H1", "M10"}, {"H10", "M1"}, {"\xc3\xa9", "M1"}}));
}

TEST(OrthologReader, PairsOnSeveralLinesAreCountedOncePerExtraLine) {
    const OrthologFile file = parseOrthologFile("H1\tM1\nH1\tM2\nH1\tM1\nH2\tM2\nH1\tM1\nH2\tM2\n");
    EXPECT_EQ(pairsOf(file.table), (PairList{{"H1", "M1"}, {"H1", "M2"}, {"H2", "M2"}}));
    EXPECT_EQ(file.repeatedPairs.repeatRows, 3u);
    EXPECT_EQ(file.repeatedPairs.identifiers, 2u);
    EXPECT_EQ(file.repeatedPairs.examples, (std::vector<std::string>{"H1 M1", "H2 M2"}));
    EXPECT_FALSE(parseOrthologFile("H1\tM1\nH1\tM2\nH2\tM1\n").repeatedPairs.any())
        << "a gene with several orthologs repeats no pair";
}

TEST(OrthologReader, ReadsIdentifiersLongerThanAnyFixedBuffer) {
    const std::string human(5000, 'h');
    EXPECT_EQ(pairsOf(parseOrthologText(human + "\tM1\n")), (PairList{{human, "M1"}}));
}

TEST(OrthologReader, ReadsFilesLikeTextAndNamesAnUnreadablePath) {
    const TemporaryDirectory directory;
    const std::string text = "H2\tM2\nH1\tM1\nH2\tM2\n";
    Result<OrthologTable> read = readOrthologFile(directory.write("orthologs.txt", text));
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(pairsOf(*read), (PairList{{"H1", "M1"}, {"H2", "M2"}}));

    const std::string missing = directory.pathOf("missing.txt");
    const Result<OrthologTable> absent = readOrthologFile(missing);
    ASSERT_FALSE(absent.ok());
    EXPECT_EQ(absent.error().message, "Cannot open " + missing);
    const Result<OrthologTable> folder = readOrthologFile(directory.path().string());
    ASSERT_FALSE(folder.ok()) << "a directory cannot be read as a file";
    EXPECT_EQ(folder.error().message, "Cannot open " + directory.path().string());
}

}  // namespace
}  // namespace orthomix
