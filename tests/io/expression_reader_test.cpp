#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "io/expression_reader.h"
#include "support/thread_pool.h"
#include "io_test_support.h"

namespace orthomix {
namespace {

using testing::TemporaryDirectory;

// The parsed file; a rejection fails the test with its message.
ExpressionFile parsed(const std::string& text) {
    Result<ExpressionFile> result = parseExpressionText(text, "input.txt");
    if (!result) {
        ADD_FAILURE() << "rejected: " << result.error().message;
        return {};
    }
    return std::move(result).value();
}

// The message of a rejection; a file that is accepted fails the test.
std::string rejection(const Result<ExpressionFile>& result) {
    if (result) {
        ADD_FAILURE() << "accepted, with " << result->data.geneCount() << " genes";
        return {};
    }
    return result.error().message;
}

std::vector<double> rowOf(const OrganismData& data, std::size_t gene) {
    const std::span<const double> row = data.expression.rowSpan(gene);
    return {row.begin(), row.end()};
}

TEST(ExpressionReader, ReadsHeaderNamesAndGeneValues) {
    const ExpressionFile file = parsed("ID\tS1\tS2\tS3\ng1\t1.5\t-2\t3e1\ng2\t0\t.25\t-0\n");
    const OrganismData& data = file.data;
    EXPECT_EQ(data.sampleNames, (std::vector<std::string>{"S1", "S2", "S3"}));
    EXPECT_EQ(data.identifiers, (std::vector<std::string>{"g1", "g2"}));
    ASSERT_EQ(data.expression.rows(), 2u) << "one matrix row per gene";
    ASSERT_EQ(data.expression.columns(), 3u) << "one matrix column per sample";
    EXPECT_EQ(rowOf(data, 0), (std::vector<double>{1.5, -2.0, 30.0}));
    EXPECT_EQ(rowOf(data, 1), (std::vector<double>{0.0, 0.25, 0.0}));
    EXPECT_TRUE(std::signbit(data.expression.row(1)[2])) << "-0 keeps its sign";
    EXPECT_EQ(data.annotations, (std::vector<std::string>{"", ""})) << "annotations are parallel and empty";
    EXPECT_EQ(file.nonNumericFields, 0u);
}

TEST(ExpressionReader, HeaderWithoutGenesGivesAnEmptyMatrixOfTheRightWidth) {
    const ExpressionFile file = parsed("ID\tA\tB\n\n \t\n");
    EXPECT_EQ(file.data.sampleNames, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(file.data.geneCount(), 0u);
    EXPECT_EQ(file.data.expression.rows(), 0u);
    EXPECT_EQ(file.data.expression.columns(), 2u);
    EXPECT_TRUE(file.data.annotations.empty());
}

TEST(ExpressionReader, SplitsFieldsAndConvertsValuesByThePrefixRule) {
    const ExpressionFile file = parsed(
        "ID\tS1\tS2\tS3\n"
        "g2\t1\t\t2\t3\n"          // two tabs in a row: no empty field
        "\n"                       // empty line
        "x\n"                      // one character
        "g3\t4\t5\t6\t7\tNA\n"     // extra fields ignored, and not counted as non-numeric
        "g4\tNA\t-\t12abc\n"       // no number, no number, 12
        " \t \n"                   // blanks and tabs only
        "\t\t\n"                   // tabs only
        "g2\t9\t9\t9\n"            // repeated identifier
        "g 5\t1\t2\t3\t\n"         // trailing tab, space inside the identifier
        "\tg6\t7\t8\t9");          // leading tab, no final line feed
    const OrganismData& data = file.data;
    EXPECT_EQ(data.identifiers, (std::vector<std::string>{"g2", "g3", "g4", "g2", "g 5", "g6"}))
        << "a repeated identifier gives a gene of its own";
    ASSERT_EQ(data.expression.rows(), 6u);
    EXPECT_EQ(rowOf(data, 0), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(rowOf(data, 1), (std::vector<double>{4, 5, 6}));
    EXPECT_EQ(rowOf(data, 2), (std::vector<double>{0, 0, 12}));
    EXPECT_EQ(rowOf(data, 3), (std::vector<double>{9, 9, 9}));
    EXPECT_EQ(rowOf(data, 4), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(rowOf(data, 5), (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(data.annotations.size(), 6u);
    EXPECT_EQ(file.nonNumericFields, 2u) << "NA and a lone minus sign hold no number; 12abc does";
}

TEST(ExpressionReader, AHeaderOfSampleNamesAloneReadsEverySampleUnderItsOwnName) {
    const ExpressionFile withCorner = parsed("ID\tS1\tS2\tS3\ng1\t1\t2\t3\n\ng2\t4\t5\t6\n");
    EXPECT_FALSE(withCorner.headerWithoutCorner);
    for (const std::string header : {"S1\tS2\tS3", "\tS1\tS2\tS3", "\t\tS1\tS2\tS3\t"}) {
        const ExpressionFile file = parsed(header + "\ng1\t1\t2\t3\n\ng2\t4\t5\t6\n");
        EXPECT_TRUE(file.headerWithoutCorner) << header;
        EXPECT_EQ(file.data.sampleNames, withCorner.data.sampleNames) << header;
        EXPECT_EQ(file.data.identifiers, withCorner.data.identifiers) << header;
        ASSERT_EQ(file.data.expression.rows(), 2u) << header;
        EXPECT_EQ(rowOf(file.data, 1), (std::vector<double>{4, 5, 6})) << header;
    }
    const ExpressionFile single = parsed("value\ng1\t7\ng2\t8\n");
    EXPECT_EQ(single.data.sampleNames, (std::vector<std::string>{"value"})) << "a one-column table has no corner";
    EXPECT_EQ(rowOf(single.data, 1), (std::vector<double>{8}));
}

TEST(ExpressionReader, LinesOfMixedWidthsKeepTheCornerReading) {
    // A leading tab over lines of as many fields as the header: the first name is the corner.
    const ExpressionFile shifted = parsed("\tS1\tS2\ng1\t5\n");
    EXPECT_FALSE(shifted.headerWithoutCorner);
    EXPECT_EQ(shifted.data.sampleNames, (std::vector<std::string>{"S2"}));
    EXPECT_EQ(rowOf(shifted.data, 0), (std::vector<double>{5}));

    // One wider line further down shows that the header has a corner after all.
    const ExpressionFile mixed = parsed("ID\tS1\tS2\ng1\t1\t2\t3\ng2\t4\t5\t6\t7\n");
    EXPECT_FALSE(mixed.headerWithoutCorner);
    EXPECT_EQ(mixed.data.sampleNames, (std::vector<std::string>{"S1", "S2"}));
    EXPECT_EQ(rowOf(mixed.data, 1), (std::vector<double>{4, 5}));
    EXPECT_EQ(rejection(parseExpressionText("ID\tS1\tS2\ng1\t1\t2\t3\ng2\t4\n", "late.txt")),
              "Line 3 of late.txt has 1 values, but the header names 2 samples");
}

TEST(ExpressionReader, CrlfLinesAndTrailingTabsReadLikeTheCleanTwin) {
    const ExpressionFile clean = parsed("ID\tA\tB\ng1\t1.25\t-3\ng2\t0.5\t7e-3\n");
    const ExpressionFile messy = parsed("ID\tA\tB\t\r\ng1\t1.25\t-3\t\t\r\n\r\ng2\t0.5\t7e-3\t\r\n");
    EXPECT_EQ(clean.data.sampleNames, messy.data.sampleNames);
    EXPECT_EQ(clean.data.identifiers, messy.data.identifiers);
    ASSERT_EQ(clean.data.expression.rows(), 2u);
    ASSERT_EQ(messy.data.expression.rows(), 2u);
    for (std::size_t g = 0; g < 2; ++g) EXPECT_EQ(rowOf(clean.data, g), rowOf(messy.data, g)) << "gene " << g;
}

TEST(ExpressionReader, ReadsLinesOfAnyLength) {
    constexpr int kSamples = 3000;  // far beyond a 5,000-byte line
    std::string text = "ID";
    for (int s = 0; s < kSamples; ++s) text.append("\tsample_").append(std::to_string(s));
    for (const char* name : {"wide", "wider"}) {
        text.append("\n").append(name);
        for (int s = 0; s < kSamples; ++s) text.append("\t").append(std::to_string(s)).append(".5");
    }
    const ExpressionFile file = parsed(text);
    ASSERT_EQ(file.data.sampleCount(), static_cast<std::size_t>(kSamples));
    EXPECT_EQ(file.data.sampleNames.back(), "sample_2999");
    ASSERT_EQ(file.data.expression.rows(), 2u);
    EXPECT_EQ(file.data.expression.row(0)[kSamples - 1], 2999.5);
    EXPECT_EQ(file.data.expression.row(1)[0], 0.5) << "the second row starts after the first one's last value";
}

TEST(ExpressionReader, RejectsHeadersWithoutSamplesAndShortLinesNamingTheLine) {
    EXPECT_EQ(rejection(parseExpressionText("ID\ng1\ng2\n", "id_only.txt")),
              "No sample columns in the header of id_only.txt");
    EXPECT_EQ(rejection(parseExpressionText("", "empty.txt")), "No sample columns in the header of empty.txt");
    EXPECT_EQ(rejection(parseExpressionText("\n", "blank.txt")), "No sample columns in the header of blank.txt");

    // Line 4 counts the blank line 3; two tabs in a row are one separator.
    EXPECT_EQ(rejection(parseExpressionText("ID\tS1\tS2\tS3\ng1\t1\t2\t3\n\ng2\t1\t\t2\n", "short.txt")),
              "Line 4 of short.txt has 2 values, but the header names 3 samples");
    EXPECT_EQ(rejection(parseExpressionText("ID\tS1\ng1", "bare.txt")),
              "Line 2 of bare.txt has 0 values, but the header names 1 samples");
    EXPECT_EQ(rejection(parseExpressionText("ID\tS1\tS2\ng1\t1\t2\ng2\t3\t\r\ng3\t4\t5\n", "crlf.txt")),
              "Line 3 of crlf.txt has 1 values, but the header names 2 samples")
        << "the first short line is reported, not a later one";
}

TEST(ExpressionReader, NumbersBeyondTheRangeOfADoubleCountAsNotNumbersAndTheFirstIsLocated) {
    const ExpressionFile file = parsed(
        "ID\tS1\tS2\tS3\n"
        "g1\t1\t2\t3\n"
        "\n"
        "g2\t4\t1e309\tNA\n"    // overflows to infinity; no number
        "g3\t-1e400\tinf\t1e-400\n"  // overflows; not a decimal number; underflows to 0, a number
        "g4\t1.7976931348623157e308\t-1.7976931348623157e308\t0\n");
    ASSERT_EQ(file.data.geneCount(), 4u);
    EXPECT_EQ(rowOf(file.data, 1), (std::vector<double>{4, 0, 0}));
    EXPECT_EQ(rowOf(file.data, 2), (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(rowOf(file.data, 3), (std::vector<double>{1.7976931348623157e308, -1.7976931348623157e308, 0}))
        << "the largest finite values are numbers";
    EXPECT_EQ(file.nonNumericFields, 4u) << "1e309, NA, -1e400 and inf";
    EXPECT_EQ(file.nonNumericCells, (std::vector<std::size_t>{4, 5, 6, 7})) << "row * 3 + column";
    EXPECT_EQ(file.firstNonNumericLine, 4u) << "the blank line 3 counts";
    EXPECT_EQ(file.firstNonNumericColumn, 3u) << "the identifier is column 1";
    EXPECT_EQ(file.firstNonNumericText, "1e309");

    const ExpressionFile clean = parsed("ID\tS1\ng1\t1\n");
    EXPECT_EQ(clean.firstNonNumericLine, 0u) << "no place without a non-number";
    EXPECT_EQ(clean.firstNonNumericText, "");
    const ExpressionFile doubledTabs = parsed("ID\tS1\tS2\ng1\t\t1\t\t\tx\n");
    EXPECT_EQ(doubledTabs.firstNonNumericColumn, 3u) << "columns count fields, as the values are read";
}

TEST(ExpressionReader, AHeaderOfMillionsOfNamesOverShortLinesFailsAtTheFirstDataLine) {
    constexpr std::size_t kNames = 2000000;
    std::string text = "ID";
    text.reserve(kNames * 2 + 64);
    for (std::size_t s = 0; s < kNames; ++s) text += "\tx";
    text += "\n\n \ng1\t1\t2\t3\ng2\t4\n";
    EXPECT_EQ(rejection(parseExpressionText(text, "wide.txt")),
              "Line 4 of wide.txt has 3 values, but the header names 2000000 samples")
        << "the first gene line, after the skipped ones, is the one reported";

    // A wide header that the lines do fill is read in full.
    std::string filled = "ID";
    std::string row = "g";
    for (int s = 0; s < 5000; ++s) {
        filled += "\ts" + std::to_string(s);
        row += "\t1";
    }
    const ExpressionFile file = parsed(filled + "\n" + row + "\n" + row);
    EXPECT_EQ(file.data.sampleCount(), 5000u);
    EXPECT_EQ(file.data.geneCount(), 2u);
}

// Everything a read gives, values by their bits; or the rejection.
std::string summaryOf(const Result<ExpressionFile>& result) {
    if (!result) return "rejected: " + result.error().message;
    const ExpressionFile& file = *result;
    std::string out = file.headerWithoutCorner ? "samples only;" : "corner;";
    for (const std::string& name : file.data.sampleNames) out += name + ",";
    out += ";";
    for (std::size_t g = 0; g < file.data.geneCount(); ++g) {
        out += file.data.identifiers[g] + ":";
        for (const double value : file.data.expression.rowSpan(g)) {
            std::uint64_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            out += std::to_string(bits) + " ";
        }
    }
    out += ";" + std::to_string(file.nonNumericFields) + "," + std::to_string(file.firstNonNumericLine) + "," +
           std::to_string(file.firstNonNumericColumn) + "," + file.firstNonNumericText + ";";
    for (const std::size_t cell : file.nonNumericCells) out += std::to_string(cell) + ",";
    return out + ";" + std::to_string(file.data.annotations.size());
}

TEST(ExpressionReader, ReadingInPiecesOnManyThreadsGivesTheSameFile) {
    std::string many = "ID\tS1\tS2\tS3\r\n";
    for (int g = 0; g < 300; ++g) {
        many += "g" + std::to_string(g) + "\t" + std::to_string(g * 0.37) + (g % 7 == 0 ? "\tNA" : "\t-2e3") + "\t" +
                (g % 11 == 0 ? "1e999" : std::to_string(-g)) + (g % 5 == 0 ? "\r\n\n \t\n" : "\r\n");
    }
    std::string samplesOnly = "S1\tS2\n";
    for (int g = 0; g < 100; ++g) samplesOnly += "g" + std::to_string(g) + "\t1\t" + std::to_string(g) + "\n";
    std::string shortLate = many + "gx\t1\t2\n" + many;  // too few values half-way
    std::string widerLate = samplesOnly + "gy\t1\t2\t3\n" + samplesOnly;  // a corner after all
    // Lines too short to fit: beyond what a text of this size holds, so the
    // later pieces start past the matrix's last row.
    std::string shortLines = "ID\tS1\tS2\tS3\tS4\tS5\tS6\ng0\t1\t2\t3\t4\t5\t6\n";
    for (int g = 0; g < 400; ++g) shortLines += "ab\n";
    std::string csv = "ID,S1,S2\n";
    for (int g = 0; g < 200; ++g) csv += "\"g," + std::to_string(g) + "\",," + std::to_string(g) + "\n";

    ThreadPool pool(3);
    const std::vector<std::pair<std::string, Separator>> texts = {
        {many, Separator::Tab},      {samplesOnly, Separator::Tab}, {shortLate, Separator::Tab},
        {widerLate, Separator::Tab}, {shortLines, Separator::Tab},  {csv, Separator::Comma},
        {"ID\tS1\ng1\t1", Separator::Tab}};
    for (const auto& [text, separator] : texts) {
        const std::string whole = summaryOf(parseExpressionText(text, "in.txt", separator));
        for (const std::size_t pieceBytes : {1u, 7u, 100u, 4096u}) {
            EXPECT_EQ(summaryOf(parseExpressionText(text, "in.txt", separator, &pool, pieceBytes)), whole)
                << "pieces of " << pieceBytes << " bytes, text starting " << text.substr(0, 20);
        }
    }
    EXPECT_EQ(summaryOf(parseExpressionText(shortLate, "in.txt", Separator::Tab, &pool, 1)),
              "rejected: Line 422 of in.txt has 2 values, but the header names 3 samples");
    EXPECT_EQ(summaryOf(parseExpressionText(shortLines, "in.txt", Separator::Tab, &pool, 1)),
              "rejected: Line 3 of in.txt has 0 values, but the header names 6 samples");
    EXPECT_NE(summaryOf(parseExpressionText(widerLate, "in.txt", Separator::Tab, &pool, 1)).find("corner;"),
              std::string::npos);
}

TEST(ExpressionReader, ReadsFilesAndNamesThePathInEveryError) {
    const TemporaryDirectory directory;
    const std::string text = "ID\tS1\tS2\ng1\t1\t2\ng2\tNA\t4\n";
    const std::string path = directory.write("expression.txt", text);
    Result<ExpressionFile> read = readExpressionFile(path);
    ASSERT_TRUE(read.ok()) << read.error().message;
    const ExpressionFile inMemory = parsed(text);
    EXPECT_EQ(read->data.sampleNames, inMemory.data.sampleNames);
    EXPECT_EQ(read->data.identifiers, inMemory.data.identifiers);
    EXPECT_EQ(rowOf(read->data, 1), rowOf(inMemory.data, 1));
    EXPECT_EQ(read->nonNumericFields, 1u);

    const std::string shortLine = directory.write("short.txt", "ID\tS1\tS2\ng1\t1\n");
    EXPECT_EQ(rejection(readExpressionFile(shortLine)),
              "Line 2 of " + shortLine + " has 1 values, but the header names 2 samples");
    const std::string missing = directory.pathOf("missing.txt");
    EXPECT_EQ(rejection(readExpressionFile(missing)), "Cannot open " + missing);
    EXPECT_EQ(rejection(readExpressionFile(directory.path().string())), "Cannot open " + directory.path().string())
        << "a directory cannot be read as a file";
}

}  // namespace
}  // namespace orthomix
