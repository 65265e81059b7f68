#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/annotation_reader.h"
#include "io/expression_reader.h"
#include "io/ortholog_reader.h"
#include "io/tab_separated_text.h"
#include "io_test_support.h"

namespace orthomix {
namespace {

using testing::TemporaryDirectory;

// Every field of a line as text.
std::vector<std::string> fieldsOf(std::string_view line, Separator separator) {
    FieldCursor cursor(line, separator);
    std::vector<std::string> fields;
    std::string_view field;
    while (cursor.next(field)) fields.push_back(cursor.text(field));
    return fields;
}

using Fields = std::vector<std::string>;

TEST(FieldCursor, CommaSeparatedFieldsKeepEmptiesAndQuotedCommas) {
    EXPECT_EQ(fieldsOf("a,b,c", Separator::Comma), (Fields{"a", "b", "c"}));
    EXPECT_EQ(fieldsOf("a,,c,", Separator::Comma), (Fields{"a", "", "c", ""})) << "every comma separates";
    EXPECT_EQ(fieldsOf("", Separator::Comma), (Fields{""}));
    EXPECT_EQ(fieldsOf("\"\",\"S1\",\"S 2\"", Separator::Comma), (Fields{"", "S1", "S 2"}));
    EXPECT_EQ(fieldsOf("\"x, y\",\"say \"\"hi\"\"\",z", Separator::Comma), (Fields{"x, y", "say \"hi\"", "z"}));
    EXPECT_EQ(fieldsOf("\"\"\"\",1", Separator::Comma), (Fields{"\"", "1"})) << "a field of one quote";
    EXPECT_EQ(fieldsOf("\"open, never closed", Separator::Comma), (Fields{"open, never closed"}))
        << "an unclosed quote ends with its line";
    EXPECT_EQ(fieldsOf("\"a\"junk,b", Separator::Comma), (Fields{"a", "b"}));
    EXPECT_EQ(fieldsOf("a\tb,c", Separator::Comma), (Fields{"a\tb", "c"})) << "a tab is text in a comma file";
    EXPECT_EQ(fieldsOf("\t\ta,b\t\tc\t", Separator::Tab), (Fields{"a,b", "c"})) << "a comma is text in a tab file";
}

TEST(FieldCursor, TheNameDecidesTheSeparatorAndACommaFileReadAsTabsIsCaught) {
    EXPECT_EQ(separatorForName("data/human.csv"), Separator::Comma);
    EXPECT_EQ(separatorForName("HUMAN.CSV.GZ"), Separator::Comma);
    EXPECT_EQ(separatorForName("human.csv.txt"), Separator::Tab);
    EXPECT_EQ(separatorForName("human.tsv"), Separator::Tab);
    EXPECT_EQ(separatorForName("csv"), Separator::Tab);

    EXPECT_TRUE(checkSeparatorFits("a,b\nc,d\n", Separator::Comma, "x.csv").ok());
    EXPECT_TRUE(checkSeparatorFits("a\tb,c\n", Separator::Tab, "x.txt").ok()) << "one tab is enough";
    EXPECT_TRUE(checkSeparatorFits("abc\n", Separator::Tab, "x.txt").ok());
    const Status commas = checkSeparatorFits("a,b\nc,d\n", Separator::Tab, "x.txt");
    ASSERT_FALSE(commas.ok());
    EXPECT_EQ(commas.error().message,
              "x.txt has commas but no tab: it looks comma-separated, and files are read tab-separated unless their "
              "name ends in .csv (or .csv.gz); rename it so, or save it tab-separated");
}

TEST(CommaSeparatedReaders, ReadWhatTheirTabSeparatedTwinsRead) {
    const ExpressionFile tabs = [] {
        Result<ExpressionFile> file = parseExpressionText("ID\tS1\tS2\ng1\t1.5\t-2\ng\"2\t3\t4\n", "t.txt");
        return file ? std::move(*file) : ExpressionFile{};
    }();
    for (const std::string text : {"\"ID\",\"S1\",\"S2\"\n\"g1\",1.5,-2\n\"g\"\"2\",\"3\",4\n",
                                   "\"\",\"S1\",\"S2\"\r\ng1,1.5,-2\r\n,,\r\n\"g\"\"2\",3,4\r\n",
                                   "S1,S2\ng1,1.5,-2\n\"g\"\"2\",3,4\n"}) {
        Result<ExpressionFile> csv = parseExpressionText(text, "c.csv", Separator::Comma);
        ASSERT_TRUE(csv.ok()) << csv.error().message;
        EXPECT_EQ(csv->data.sampleNames, tabs.data.sampleNames) << text;
        EXPECT_EQ(csv->data.identifiers, tabs.data.identifiers) << text;
        ASSERT_EQ(csv->data.expression.rows(), 2u) << text;
        EXPECT_EQ(csv->data.expression.row(1)[0], 3.0) << text;
        EXPECT_EQ(csv->nonNumericFields, 0u) << text;
    }
    Result<ExpressionFile> empty = parseExpressionText("ID,S1,S2\ng1,,2\n", "c.csv", Separator::Comma);
    ASSERT_TRUE(empty.ok()) << empty.error().message;
    EXPECT_EQ(empty->nonNumericFields, 1u) << "an empty cell is a value that is not a number, not a shift";
    EXPECT_EQ(empty->data.expression.row(0)[1], 2.0);

    const std::vector<std::string> genes = {"P1", "P2", "P3"};
    EXPECT_EQ(annotationsFromText("id,name\nP1,\"kinase, type 2\"\nP2,\nP3,\"the \"\"big\"\" one\",x\n", genes,
                                  Separator::Comma),
              (std::vector<std::string>{"kinase, type 2", "", "the \"big\" one"}));
    const OrthologTable pairs = parseOrthologText("H1,M1\n\"H2\",\"M2\"\n,M3\nH4,\n,\nH1,M1\n", Separator::Comma);
    EXPECT_EQ(pairs, (OrthologTable{{"H1", "M1"}, {"H2", "M2"}})) << "lines with an empty identifier are skipped";
}

TEST(CommaSeparatedReaders, FilesNamedCsvAreReadSoAndCommaFilesNamedOtherwiseStop) {
    const TemporaryDirectory directory;
    const std::string csv = "ID,S1\ng1,1\n";
    Result<ExpressionFile> expression = readExpressionFile(directory.write("e.csv", csv));
    ASSERT_TRUE(expression.ok()) << expression.error().message;
    EXPECT_EQ(expression->data.sampleNames, (std::vector<std::string>{"S1"}));

    const std::string misnamed = directory.write("e.txt", csv);
    const auto expectStop = [&](const Status& status) {
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.error().message.rfind(misnamed + " has commas but no tab: it looks comma-separated", 0), 0u)
            << status.error().message;
    };
    const Result<ExpressionFile> asTabs = readExpressionFile(misnamed);
    expectStop(asTabs ? okStatus() : Status(asTabs.error()));
    const Result<std::vector<std::string>> annotations = readAnnotationFile(misnamed, {"g1"});
    expectStop(annotations ? okStatus() : Status(annotations.error()));
    const Result<OrthologTable> orthologs = readOrthologFile(misnamed);
    expectStop(orthologs ? okStatus() : Status(orthologs.error()));

    Result<OrthologTable> csvPairs = readOrthologFile(directory.write("o.csv", "H1,M1\n"));
    ASSERT_TRUE(csvPairs.ok()) << csvPairs.error().message;
    EXPECT_EQ(csvPairs->size(), 1u);
}

}  // namespace
}  // namespace orthomix
