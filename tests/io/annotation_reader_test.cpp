#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "io/annotation_reader.h"
#include "io_test_support.h"

namespace orthomix {
namespace {

using testing::regexEscaped;
using testing::TemporaryDirectory;

class AnnotationReader : public ::testing::Test {
protected:
    AnnotationReader() {
        for (const char* name : {"P1", "P2", "P3", "P4", "p1"}) {
            store_.push_back(std::make_unique<GeneRecord>(std::vector<double>{1.0}, name));
            genes_.push_back(store_.back().get());
        }
    }
    std::vector<std::string> annotate(const std::string& text) {
        readAnnotationFile(directory_.write("annotation.txt", text), genes_);
        std::vector<std::string> annotations;
        for (const GeneRecord* gene : genes_) annotations.push_back(gene->annotation);
        return annotations;
    }

    TemporaryDirectory directory_;
    GeneStore store_;
    std::vector<GeneRecord*> genes_;
};

TEST_F(AnnotationReader, AppliesTheLastTextOfEachIdentifierAfterTheHeader) {
    genes_[3]->annotation = "stale";
    const auto annotations = annotate(
        "P4\theader that looks like data\n"
        "P1\tfirst\n"
        "P2\t\tSYMBOL\textra field\n"  // two tabs: the text is SYMBOL
        "P1\tsecond text, with spaces\r\n"
        "P3\n"                          // no second field
        "x\n"
        "\t\t\n"
        "UNKNOWN\tnobody\n"
        "P1");                          // single field without a line feed
    EXPECT_EQ(annotations[0], "second text, with spaces") << "the later line wins, whole, without its CR";
    EXPECT_EQ(annotations[1], "SYMBOL");
    EXPECT_EQ(annotations[2], "") << "a line without a second field is skipped";
    EXPECT_EQ(annotations[3], "") << "the header is never data, and an unnamed gene gets the empty text";
    EXPECT_EQ(annotations[4], "") << "identifiers match case-sensitively";
}

TEST_F(AnnotationReader, HeaderOnlyOrEmptyFileLeavesEveryAnnotationEmpty) {
    genes_[0]->annotation = "stale";
    EXPECT_EQ(annotate("P1\tonly the header\n"), std::vector<std::string>(5, ""));
    genes_[0]->annotation = "stale";
    EXPECT_EQ(annotate(""), std::vector<std::string>(5, ""));
}

TEST_F(AnnotationReader, ReadsAnnotationLinesLongerThanAnyFixedBuffer) {
    const std::string longText(300000, 'a');
    EXPECT_EQ(annotate("ID\tNAME\nP2\t" + longText + "\n")[1], longText);
}

std::vector<std::pair<std::string, std::string>> orthologKeys(const TemporaryDirectory& directory,
                                                              const std::string& text, OrthologTable& table) {
    readOrthologFile(directory.write("orthologs.txt", text), table);
    std::vector<std::pair<std::string, std::string>> keys;
    for (const auto& [key, value] : table) {
        EXPECT_EQ(value, 0) << key.first << " " << key.second;
        keys.push_back(key);
    }
    return keys;
}

using KeyList = std::vector<std::pair<std::string, std::string>>;

TEST(OrthologReader, KeepsDistinctPairsInIdentifierOrder) {
    const TemporaryDirectory directory;
    OrthologTable table;
    table[{"OLD", "OLD"}] = 5;
    EXPECT_EQ(orthologKeys(directory, "H1\tM1\nH1\tM2\nH1\tM1\n", table), (KeyList{{"H1", "M1"}, {"H1", "M2"}}))
        << "a repeated pair is one entry and the old content is gone";
    EXPECT_EQ(orthologKeys(directory, "H2\tM1\r\nH1\tM9\r\n", table), (KeyList{{"H1", "M9"}, {"H2", "M1"}}));

    // The first line is a pair; short, one-field and tab-only lines are
    // skipped; extra fields are ignored; a proper prefix sorts first and bytes
    // above 0x7f sort after ASCII.
    const std::string text =
        "H10\tM1\textra\n"
        "\n"
        "H\n"
        "ONLYONE\n"
        "\t\t\t\n"
        "\xc3\xa9\tM1\n"
        "\t\tH1\t\tM1\t\n"
        "H1\tM10";
    EXPECT_EQ(orthologKeys(directory, text, table),
              (KeyList{{"H1", "M1"}, {"H1", "M10"}, {"H10", "M1"}, {"\xc3\xa9", "M1"}}));
}

TEST(OrthologReader, ReadsIdentifiersLongerThanAnyFixedBuffer) {
    const TemporaryDirectory directory;
    OrthologTable table;
    const std::string human(5000, 'h');
    EXPECT_EQ(orthologKeys(directory, human + "\tM1\n", table), (KeyList{{human, "M1"}}));
}

TEST(AnnotationReaderDeathTest, MissingFilesAreFatal) {
    const TemporaryDirectory directory;
    const std::string missing = directory.pathOf("missing.txt");
    std::vector<GeneRecord*> genes;
    OrthologTable table;
    EXPECT_EXIT(readAnnotationFile(missing, genes), ::testing::ExitedWithCode(1),
                "^Cannot open " + regexEscaped(missing) + "\n$");
    EXPECT_EXIT(readOrthologFile(missing, table), ::testing::ExitedWithCode(1),
                "^Cannot open " + regexEscaped(missing) + "\n$");
}

}  // namespace
}  // namespace orthomix
