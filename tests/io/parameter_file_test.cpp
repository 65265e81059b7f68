#include <gtest/gtest.h>

#include <string>

#include "io/parameter_file.h"
#include "io_test_support.h"

namespace orthomix {
namespace {

using testing::TemporaryDirectory;

TEST(ParameterTable, SplitsAtTheFirstEqualsSignAndTrimsBlanksTabsAndCarriageReturns) {
    const ParameterTable table = parseParameterText(
        "   prep\t=\tyes\r\n"
        "outputFile_hm = a=b.txt\n"
        "no equals sign here\n"
        "k =\n"
        "k = 5\n"
        "k = 7\n"
        "inner key = inner  value \t\n"
        "\r\n"
        "  empty =   \t\r\n"
        " = no key\n"
        "last=line");
    const ParameterTable expected = {
        {"prep", "yes"},         {"outputFile_hm", "a=b.txt"}, {"k", "7"},    {"inner key", "inner  value"},
        {"empty", ""},           {"", "no key"},               {"last", "line"},
    };
    EXPECT_EQ(table, expected) << "only the first = separates; the last line of a key wins; blanks inside stay; "
                                  "a line without = is ignored; a last line without line feed counts";
}

TEST(ParameterTable, KeysAreCaseSensitiveAndLinesEndOnlyAtLineFeeds) {
    const ParameterTable table = parseParameterText("K = 3\nk = 4\na = 1\rb = 2\n");
    EXPECT_EQ(table.at("K"), "3");
    EXPECT_EQ(table.at("k"), "4");
    EXPECT_EQ(table.at("a"), "1\rb = 2") << "a lone carriage return does not end a line";
    EXPECT_EQ(table.size(), 3u);
    EXPECT_TRUE(parseParameterText("").empty());
    EXPECT_TRUE(parseParameterText("\n\n# comment\n").empty());
}

TEST(ParameterTable, ReadsFilesLikeTextAndNamesAnUnreadablePath) {
    const TemporaryDirectory directory;
    const std::string text = "k = 3\r\nnMaxAlgRun=2\n";
    Result<ParameterTable> read = readParameterTable(directory.write("ParameterSetting.txt", text));
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(*read, parseParameterText(text));
    EXPECT_EQ(read->at("nMaxAlgRun"), "2");

    const std::string missing = directory.pathOf("missing.txt");
    const Result<ParameterTable> absent = readParameterTable(missing);
    ASSERT_FALSE(absent.ok());
    EXPECT_EQ(absent.error().message, "Cannot open " + missing);
    const Result<ParameterTable> folder = readParameterTable(directory.path().string());
    ASSERT_FALSE(folder.ok()) << "a folder opens but cannot be read";
    EXPECT_EQ(folder.error().message, "Cannot open " + directory.path().string());
}

}  // namespace
}  // namespace orthomix
