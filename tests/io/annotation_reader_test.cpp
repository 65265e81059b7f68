#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/annotation_reader.h"
#include "io_test_support.h"

namespace orthomix {
namespace {

using testing::TemporaryDirectory;

const std::vector<std::string> kIdentifiers = {"P1", "P2", "P3", "P4", "p1", "P1"};

TEST(AnnotationReader, AppliesTheLastTextOfEachIdentifierAfterTheHeader) {
    const std::vector<std::string> annotations = annotationsFromText(
        "P4\theader that looks like data\n"
        "P1\tfirst\n"
        "P2\t\tSYMBOL\textra field\n"  // two tabs: the text is SYMBOL
        "P1\tsecond text, with spaces\r\n"
        "P3\n"                          // no second field
        "x\n"
        "\t\t\n"
        "UNKNOWN\tnobody\n"
        "P1",                           // single field without a line feed
        kIdentifiers);
    ASSERT_EQ(annotations.size(), kIdentifiers.size()) << "one annotation per identifier, in order";
    EXPECT_EQ(annotations[0], "second text, with spaces") << "the later line wins, whole, without its CR";
    EXPECT_EQ(annotations[1], "SYMBOL");
    EXPECT_EQ(annotations[2], "") << "a line without a second field is skipped";
    EXPECT_EQ(annotations[3], "") << "the header is never data, and an unnamed gene gets the empty text";
    EXPECT_EQ(annotations[4], "") << "identifiers match case-sensitively";
    EXPECT_EQ(annotations[5], "second text, with spaces") << "genes sharing an identifier share its text";
}

TEST(AnnotationReader, IdentifiersOnSeveralLinesAreCounted) {
    const AnnotationFile file = parseAnnotationText("ID\tNAME\nP1\ta\nP2\tb\nP1\tc\nP1\td\nX\te\nX\tf\n", kIdentifiers);
    EXPECT_EQ(file.repeated.repeatRows, 3u);
    EXPECT_EQ(file.repeated.identifiers, 2u);
    EXPECT_EQ(file.repeated.examples, (std::vector<std::string>{"P1", "X"})) << "named by the file, gene or not";
    EXPECT_EQ(file.annotations[0], "d");
    EXPECT_FALSE(parseAnnotationText("P1\theader\nP1\ta\n", kIdentifiers).repeated.any()) << "the header is no line";
}

TEST(AnnotationReader, HeaderOnlyOrEmptyTextLeavesEveryAnnotationEmpty) {
    const std::vector<std::string> empty(kIdentifiers.size(), "");
    EXPECT_EQ(annotationsFromText("P1\tonly the header\n", kIdentifiers), empty);
    EXPECT_EQ(annotationsFromText("P1\tonly the header, no line feed", kIdentifiers), empty);
    EXPECT_EQ(annotationsFromText("", kIdentifiers), empty);
    EXPECT_TRUE(annotationsFromText("ID\tNAME\nP1\tx\n", {}).empty()) << "no genes, no annotations";
}

TEST(AnnotationReader, ReadsAnnotationLinesLongerThanAnyFixedBuffer) {
    const std::string longText(300000, 'a');
    EXPECT_EQ(annotationsFromText("ID\tNAME\nP2\t" + longText + "\n", kIdentifiers)[1], longText);
}

TEST(AnnotationReader, ReadsFilesLikeTextAndNamesAnUnreadablePath) {
    const TemporaryDirectory directory;
    const std::string text = "ID\tNAME\nP3\tthird\r\nP1\tfirst\n";
    Result<std::vector<std::string>> read = readAnnotationFile(directory.write("annotation.txt", text), kIdentifiers);
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(*read, annotationsFromText(text, kIdentifiers));
    EXPECT_EQ((*read)[2], "third");

    const std::string missing = directory.pathOf("missing.txt");
    const Result<std::vector<std::string>> absent = readAnnotationFile(missing, kIdentifiers);
    ASSERT_FALSE(absent.ok());
    EXPECT_EQ(absent.error().message, "Cannot open " + missing);
    const Result<std::vector<std::string>> folder = readAnnotationFile(directory.path().string(), kIdentifiers);
    ASSERT_FALSE(folder.ok()) << "a directory cannot be read as a file";
    EXPECT_EQ(folder.error().message, "Cannot open " + directory.path().string());
}

}  // namespace
}  // namespace orthomix
