// How the bytes of an input file become its text: a UTF-8 byte-order mark is
// skipped, UTF-16 and UTF-32 are refused by name, and gzip archives are
// inflated, or refused with a message naming the file when damaged.
#include "io/input_decoding.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "io/annotation_reader.h"
#include "io/expression_reader.h"
#include "io/ortholog_reader.h"
#include "io/parameter_file.h"
#include "io/tab_separated_text.h"
#include "io_test_support.h"
#include "support/gzip_support.h"

namespace orthomix {
namespace {

using testing::gzipText;
using testing::TemporaryDirectory;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kExpression = "ID\tS1\tS2\ng1\t1\t2\ng2\t3\tNA\n";
const std::string kAnnotation = "ID\tSymbol\ng1\tALPHA\ng2\tBETA\n";
const std::string kOrthologs = "g1\tm1\ng2\tm2\n";
const std::string kParameters = "k = 3\nnMaxAlgRun = 2\n";

// The message of a failure; a success fails the test.
std::string failure(const Result<std::string>& result) {
    if (result) {
        ADD_FAILURE() << "decoded, " << result->size() << " bytes";
        return {};
    }
    return result.error().message;
}

// The text as UTF-16 (Latin letters only), with or without a byte-order mark.
std::string utf16(const std::string& text, bool littleEndian, bool mark) {
    std::string out = mark ? (littleEndian ? "\xFF\xFE" : "\xFE\xFF") : "";
    for (const char c : text) {
        out += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    }
    return out;
}

// Every reader gives the same result for the plain file and its variant.
void expectReadersAgree(const TemporaryDirectory& directory, const std::string& suffix,
                        const std::function<std::string(const std::string&)>& variant) {
    const auto pair = [&](const std::string& name, const std::string& text) {
        return std::make_pair(directory.write(name + ".txt", text), directory.write(name + suffix, variant(text)));
    };
    const auto [expressionPlain, expressionVariant] = pair("expression", kExpression);
    const Result<ExpressionFile> plain = readExpressionFile(expressionPlain);
    const Result<ExpressionFile> other = readExpressionFile(expressionVariant);
    ASSERT_TRUE(plain.ok() && other.ok()) << (other ? "" : other.error().message);
    EXPECT_EQ(other->data.sampleNames, plain->data.sampleNames) << suffix << ": the first sample is S1, not a mark";
    EXPECT_EQ(other->data.identifiers, plain->data.identifiers) << suffix;
    EXPECT_EQ(other->nonNumericFields, 1u) << suffix;

    const auto [annotationPlain, annotationVariant] = pair("annotation", kAnnotation);
    const std::vector<std::string> ids = {"g1", "g2"};
    const auto annotations = readAnnotationFile(annotationVariant, ids);
    ASSERT_TRUE(annotations.ok()) << annotations.error().message;
    EXPECT_EQ(*annotations, *readAnnotationFile(annotationPlain, ids)) << suffix;

    const auto [orthologPlain, orthologVariant] = pair("orthologs", kOrthologs);
    const auto orthologs = readOrthologFile(orthologVariant);
    ASSERT_TRUE(orthologs.ok()) << orthologs.error().message;
    EXPECT_EQ(*orthologs, *readOrthologFile(orthologPlain)) << suffix << ": the first pair is g1, not a mark";

    const auto [parametersPlain, parametersVariant] = pair("parameters", kParameters);
    const auto parameters = readParameterTable(parametersVariant);
    ASSERT_TRUE(parameters.ok()) << parameters.error().message;
    EXPECT_EQ(*parameters, *readParameterTable(parametersPlain)) << suffix << ": the first key is k";
}

TEST(InputDecoding, EveryReaderSkipsAUtf8ByteOrderMark) {
    const TemporaryDirectory directory;
    expectReadersAgree(directory, ".bom.txt", [](const std::string& text) { return kBom + text; });
    const Result<std::string> onlyMark = decodeInputText(kBom, "mark.txt");
    ASSERT_TRUE(onlyMark.ok());
    EXPECT_EQ(*onlyMark, "") << "a file holding nothing but the mark is empty";
    EXPECT_EQ(*decodeInputText("a" + kBom, "inner.txt"), "a" + kBom) << "only a leading mark is dropped";
    EXPECT_EQ(*decodeInputText(kBom + kBom + "k", "twice.txt"), kBom + "k") << "one mark is dropped, not two";
}

TEST(InputDecoding, Utf16AndUtf32AreRefusedNamingTheEncoding) {
    const std::string prefix = "Cannot read p.txt: it is encoded as ";
    const std::string suffix = "; input files must be plain text or UTF-8 (save it again as UTF-8)";
    EXPECT_EQ(failure(decodeInputText(utf16(kParameters, true, true), "p.txt")),
              prefix + "UTF-16 (little-endian), which some editors call \"Unicode\"" + suffix);
    EXPECT_EQ(failure(decodeInputText(utf16(kParameters, false, true), "p.txt")),
              prefix + "UTF-16 (big-endian), which some editors call \"Unicode big endian\"" + suffix);
    EXPECT_EQ(failure(decodeInputText(utf16(kParameters, true, false), "p.txt")),
              prefix + "UTF-16 (little-endian), which some editors call \"Unicode\"" + suffix)
        << "recognised without a mark by the zero bytes";
    EXPECT_EQ(failure(decodeInputText(utf16(kParameters, false, false), "p.txt")),
              prefix + "UTF-16 (big-endian), which some editors call \"Unicode big endian\"" + suffix);
    EXPECT_EQ(failure(decodeInputText(std::string("\xFF\xFE\0\0k\0\0\0", 8), "p.txt")),
              prefix + "UTF-32 (little-endian)" + suffix)
        << "not taken for UTF-16 although it starts like it";
    EXPECT_EQ(failure(decodeInputText(std::string("\0\0\xFE\xFF\0\0\0k", 8), "p.txt")),
              prefix + "UTF-32 (big-endian)" + suffix);

    // Text that merely holds a few zero bytes, or letters beyond ASCII, is not UTF-16.
    const std::string withZero = std::string("dataFile_hm = a\0b.txt\nk = 3\n", 28);
    EXPECT_EQ(detectTextEncoding(withZero), TextEncoding::PlainOrUtf8);
    EXPECT_EQ(detectTextEncoding("ID\tProbe \xC3\xA9t\xC3\xA9\n"), TextEncoding::PlainOrUtf8);
    EXPECT_EQ(detectTextEncoding(std::string("k\0", 2)), TextEncoding::PlainOrUtf8) << "one character is no evidence";
    EXPECT_EQ(detectTextEncoding(""), TextEncoding::PlainOrUtf8);

    // The readers report it, the file named once.
    const TemporaryDirectory directory;
    const std::string path = directory.write("unicode.txt", utf16(kExpression, true, true));
    const Result<ExpressionFile> read = readExpressionFile(path);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().message.rfind("Cannot read " + path + ": it is encoded as UTF-16", 0), 0u)
        << read.error().message;
}

TEST(InputDecoding, EveryReaderReadsCarriageReturnLineEndsAsLines) {
    const TemporaryDirectory directory;
    const auto oldMac = [](std::string text) {
        std::replace(text.begin(), text.end(), '\n', '\r');
        return text;
    };
    expectReadersAgree(directory, ".mac.txt", oldMac);
    EXPECT_EQ(*decodeInputText(kBom + "a\rb\r", "m.txt"), "a\nb\n") << "after a UTF-8 mark too";
    EXPECT_EQ(*decodeInputText("a\r\nb\rc\n", "mixed.txt"), "a\r\nb\rc\n")
        << "where line feeds end the lines, a carriage return is left to the readers";
    EXPECT_EQ(withLineFeeds("no line end"), "no line end");
}

// Bytes that only look like a mark: the message shows them instead of naming an encoding.
TEST(InputDecoding, AMarkBeforeOtherDataIsReportedByItsBytesNotAsAnEncoding) {
    const std::string strayLittle = "\xFF\xFEhs_gene\tmm_gene\ng1\tm1\n";
    EXPECT_EQ(detectTextEncoding(strayLittle), TextEncoding::MarkWithoutText);
    EXPECT_EQ(failure(decodeInputText(strayLittle, "orthologs.txt")),
              "Cannot read orthologs.txt: it begins with the bytes FF FE 68 73 5F 67 65 6E, the mark of UTF-16 or "
              "UTF-32 text, but what follows is not text of that encoding; input files must be plain text or UTF-8");
    EXPECT_EQ(detectTextEncoding("\xFE\xFFk = 3\n"), TextEncoding::MarkWithoutText);
    EXPECT_EQ(detectTextEncoding(std::string("\xFF\xFE\0\0k = 3\n", 10)), TextEncoding::MarkWithoutText)
        << "neither UTF-32 (no code point) nor UTF-16";
    EXPECT_NE(failure(decodeInputText("\xFE\xFF", "short.txt")).find("encoded as UTF-16 (big-endian)"), std::string::npos)
        << "a mark alone is an empty file of that encoding, named as such";

    // Text of the encoding after the mark, also in another script, is named as before.
    EXPECT_EQ(detectTextEncoding(utf16(kParameters, true, true)), TextEncoding::Utf16LittleEndian);
    std::string cyrillic = "\xFF\xFE";
    for (int i = 0; i < 10; ++i) cyrillic += std::string("\x1F\x04\x09\x00\x31\x00\x0A\x00", 8);  // "П\t1\n"
    EXPECT_EQ(detectTextEncoding(cyrillic), TextEncoding::Utf16LittleEndian);
}

TEST(CompressedInput, GzipFilesReadLikeTheirPlainTwins) {
    const TemporaryDirectory directory;
    expectReadersAgree(directory, ".txt.gz", [](const std::string& text) { return gzipText(text); });
    expectReadersAgree(directory, ".bom.gz", [](const std::string& text) { return gzipText(kBom + text); });
    // Recognised by its first bytes without the .gz name.
    expectReadersAgree(directory, ".packed", [](const std::string& text) { return gzipText(text); });

    // Concatenated archives hold their texts one after the other; zero padding after the end is ignored.
    const Result<std::string> joined =
        decodeInputText(gzipText("ID\tS1\n") + gzipText("g1\t1\n") + std::string(512, '\0'), "joined.gz");
    ASSERT_TRUE(joined.ok()) << joined.error().message;
    EXPECT_EQ(*joined, "ID\tS1\ng1\t1\n");
    EXPECT_EQ(*decodeInputText(gzipText(""), "empty.gz"), "") << "an archive of nothing is an empty file";

    // Larger than the first guess of the inflated size, and larger than the recorded one.
    std::string large;
    for (int i = 0; i < 200000; ++i) large += "g" + std::to_string(i) + "\t" + std::to_string(i % 97) + ".25\n";
    std::string twice = gzipText(large) + gzipText(large);
    const Result<std::string> inflated = decodeInputText(twice, "large.gz");
    ASSERT_TRUE(inflated.ok()) << inflated.error().message;
    EXPECT_TRUE(*inflated == large + large) << "the second member's trailer records only its own size";
}

TEST(CompressedInput, DamagedTruncatedOrMisnamedArchivesFailNamingTheFile) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "g" + std::to_string(i) + "\t" + std::to_string(i * 7 % 1000) + "\n";
    const std::string archive = gzipText(text);
    ASSERT_GT(archive.size(), 100u);
    const std::string truncated = "Cannot read data.gz: the compressed data ends early (the file is truncated)";
    for (const std::size_t length : {std::size_t{2}, std::size_t{10}, archive.size() / 2, archive.size() - 4,
                                     archive.size() - 1}) {
        EXPECT_EQ(failure(decodeInputText(archive.substr(0, length), "data.gz")), truncated)
            << "cut to " << length << " bytes";
    }
    EXPECT_EQ(failure(decodeInputText("", "data.gz")),
              "Cannot read data.gz: its name ends in .gz, but it is not gzip-compressed (rename a plain text file "
              "without .gz)")
        << "an empty file is no archive";
    EXPECT_EQ(failure(decodeInputText(text, "data.gz")),
              "Cannot read data.gz: its name ends in .gz, but it is not gzip-compressed (rename a plain text file "
              "without .gz)");

    std::string badChecksum = archive;
    badChecksum[badChecksum.size() - 6] = static_cast<char>(badChecksum[badChecksum.size() - 6] ^ 0x01);
    EXPECT_EQ(failure(decodeInputText(badChecksum, "data.gz")),
              "Cannot read data.gz: the compressed data is damaged (incorrect data check)");

    std::string badBlock = archive;
    badBlock[10] = static_cast<char>(0xFF);  // the first block header: a reserved block type
    const std::string damaged = failure(decodeInputText(badBlock, "data.gz"));
    EXPECT_EQ(damaged.rfind("Cannot read data.gz: the compressed data is damaged (", 0), 0u) << damaged;

    EXPECT_EQ(failure(decodeInputText(archive + "trailing text", "data.gz")),
              "Cannot read data.gz: it holds other data after its compressed text");

    // Through the readers, with the path as given.
    const TemporaryDirectory directory;
    const std::string path = directory.write("orthologs.txt.gz", archive.substr(0, archive.size() / 3));
    const Result<OrthologTable> orthologs = readOrthologFile(path);
    ASSERT_FALSE(orthologs.ok());
    EXPECT_EQ(orthologs.error().message,
              "Cannot read " + path + ": the compressed data ends early (the file is truncated)");
    EXPECT_EQ(readExpressionFile(directory.pathOf("missing.gz")).error().message,
              "Cannot open " + directory.pathOf("missing.gz"))
        << "a file that cannot be opened keeps its message";
}

}  // namespace
}  // namespace orthomix
