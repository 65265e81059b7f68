#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/expression_reader.h"
#include "io_test_support.h"

namespace orthomix {
namespace {

using testing::regexEscaped;
using testing::TemporaryDirectory;

struct ReadResult {
    GeneStore store;
    std::vector<GeneRecord*> genes;
    std::vector<std::string> names;
    ExpressionReadSummary summary;
};

ReadResult readText(const TemporaryDirectory& directory, const std::string& text) {
    ReadResult result;
    result.summary = readExpressionFile(directory.write("expression.txt", text), result.store, result.genes,
                                        result.names);
    return result;
}

TEST(ExpressionReader, ReadsHeaderNamesAndGeneValues) {
    const TemporaryDirectory directory;
    const ReadResult read = readText(directory, "ID\tS1\tS2\tS3\ng1\t1.5\t-2\t3e1\n");
    EXPECT_EQ(read.names, (std::vector<std::string>{"S1", "S2", "S3"}));
    ASSERT_EQ(read.genes.size(), 1u);
    ASSERT_EQ(read.store.size(), 1u);
    const GeneRecord& gene = *read.genes[0];
    EXPECT_EQ(&gene, read.store[0].get()) << "the gene list points at the stored record";
    EXPECT_EQ(gene.name, "g1");
    EXPECT_EQ(gene.expression, (std::vector<double>{1.5, -2.0, 30.0}));
    EXPECT_EQ(gene.annotation, "");
    EXPECT_EQ(gene.clusterIndex, -1);
    EXPECT_FALSE(gene.hasOrtholog);
    EXPECT_EQ(read.summary.nonNumericFields, 0u);
}

TEST(ExpressionReader, SplitsFieldsAndConvertsValuesByThePrefixRule) {
    const TemporaryDirectory directory;
    const ReadResult read = readText(directory,
                                     "ID\tS1\tS2\tS3\n"
                                     "g2\t1\t\t2\t3\n"         // two tabs in a row: no empty field
                                     "\n"                      // empty line
                                     "x\n"                     // one character
                                     "g3\t4\t5\t6\t7\t8\n"     // extra fields ignored
                                     "g4\tNA\t-\t12abc\n"      // no number, no number, 12
                                     " \t \n"                  // blanks and tabs only
                                     "\t\t\n"                  // tabs only
                                     "g2\t9\t9\t9\n"           // repeated identifier
                                     "g 5\t1\t2\t3\t\n"        // trailing tab, space inside the identifier
                                     "\tg6\t7\t8\t9");         // leading tab, no final line feed
    std::vector<std::string> names;
    for (const GeneRecord* gene : read.genes) names.push_back(gene->name);
    EXPECT_EQ(names, (std::vector<std::string>{"g2", "g3", "g4", "g2", "g 5", "g6"}));
    ASSERT_EQ(read.genes.size(), 6u);
    EXPECT_EQ(read.genes[0]->expression, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(read.genes[1]->expression, (std::vector<double>{4, 5, 6}));
    EXPECT_EQ(read.genes[2]->expression, (std::vector<double>{0, 0, 12}));
    EXPECT_EQ(read.genes[3]->expression, (std::vector<double>{9, 9, 9}));
    EXPECT_NE(read.genes[0], read.genes[3]) << "a repeated identifier gives a record of its own";
    EXPECT_EQ(read.genes[4]->expression, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(read.genes[5]->expression, (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(read.summary.nonNumericFields, 2u) << "NA and a lone minus sign hold no number; 12abc does";
}

TEST(ExpressionReader, HeaderWithLeadingTabLosesItsFirstSampleName) {
    const TemporaryDirectory directory;
    const ReadResult read = readText(directory, "\tS1\tS2\ng1\t5\t6\n");
    EXPECT_EQ(read.names, (std::vector<std::string>{"S2"}));
    ASSERT_EQ(read.genes.size(), 1u);
    EXPECT_EQ(read.genes[0]->expression, (std::vector<double>{5}));
}

TEST(ExpressionReader, CrlfLinesAndTrailingTabsReadLikeTheCleanTwin) {
    const TemporaryDirectory directory;
    const std::string clean = "ID\tA\tB\ng1\t1.25\t-3\ng2\t0.5\t7e-3\n";
    const std::string messy = "ID\tA\tB\t\r\ng1\t1.25\t-3\t\t\r\n\r\ng2\t0.5\t7e-3\t\r\n";
    const ReadResult a = readText(directory, clean);
    const ReadResult b = readText(directory, messy);
    EXPECT_EQ(a.names, b.names);
    ASSERT_EQ(a.genes.size(), 2u);
    ASSERT_EQ(b.genes.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(a.genes[i]->name, b.genes[i]->name) << "gene " << i;
        EXPECT_EQ(a.genes[i]->expression, b.genes[i]->expression) << "gene " << i;
    }
}

TEST(ExpressionReader, ReadsLinesOfAnyLengthAndRefillsItsVectors) {
    const TemporaryDirectory directory;
    constexpr int kSamples = 3000;  // far beyond a 5,000-byte line
    std::string text = "ID";
    for (int s = 0; s < kSamples; ++s) text.append("\tsample_").append(std::to_string(s));
    text += "\nwide";
    for (int s = 0; s < kSamples; ++s) text.append("\t").append(std::to_string(s)).append(".5");
    text += "\n";

    GeneStore store;
    std::vector<GeneRecord*> genes;
    std::vector<std::string> names;
    readExpressionFile(directory.write("wide.txt", text), store, genes, names);
    ASSERT_EQ(names.size(), static_cast<std::size_t>(kSamples));
    EXPECT_EQ(names.back(), "sample_2999");
    ASSERT_EQ(genes.size(), 1u);
    ASSERT_EQ(genes[0]->expression.size(), static_cast<std::size_t>(kSamples));
    EXPECT_EQ(genes[0]->expression.back(), 2999.5);

    // A second read empties the vectors first; the store keeps every record.
    readExpressionFile(directory.write("small.txt", "ID\tS\ng1\t1\ng2\t2\n"), store, genes, names);
    EXPECT_EQ(names, (std::vector<std::string>{"S"}));
    ASSERT_EQ(genes.size(), 2u);
    EXPECT_EQ(genes[1]->name, "g2");
    EXPECT_EQ(store.size(), 3u);
}

void readOrDie(const std::string& path) {
    GeneStore store;
    std::vector<GeneRecord*> genes;
    std::vector<std::string> names;
    readExpressionFile(path, store, genes, names);
}

TEST(ExpressionReaderDeathTest, RejectsUnreadableAndMalformedFiles) {
    const TemporaryDirectory directory;
    const std::string missing = directory.pathOf("missing.txt");
    EXPECT_EXIT(readOrDie(missing), ::testing::ExitedWithCode(1), "^Cannot open " + regexEscaped(missing) + "\n$");
    EXPECT_EXIT(readOrDie(directory.pathOf("")), ::testing::ExitedWithCode(1), "^Cannot open ")
        << "a directory cannot be read as a file";

    const std::string idOnly = directory.write("id_only.txt", "ID\ng1\t1\n");
    EXPECT_EXIT(readOrDie(idOnly), ::testing::ExitedWithCode(1),
                "No sample columns in the header of " + regexEscaped(idOnly));
    const std::string empty = directory.write("empty.txt", "");
    EXPECT_EXIT(readOrDie(empty), ::testing::ExitedWithCode(1),
                "No sample columns in the header of " + regexEscaped(empty));

    // Line 4 counts the blank line 3.
    const std::string shortLine = directory.write("short.txt", "ID\tS1\tS2\tS3\ng1\t1\t2\t3\n\ng2\t1\t\t2\n");
    EXPECT_EXIT(readOrDie(shortLine), ::testing::ExitedWithCode(1),
                "Line 4 of " + regexEscaped(shortLine) + " has 2 values, but the header names 3 samples");
    const std::string bareIdentifier = directory.write("bare.txt", "ID\tS1\ng1");
    EXPECT_EXIT(readOrDie(bareIdentifier), ::testing::ExitedWithCode(1),
                "Line 2 of " + regexEscaped(bareIdentifier) + " has 0 values");
}

}  // namespace
}  // namespace orthomix
