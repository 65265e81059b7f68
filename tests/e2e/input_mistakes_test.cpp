// Everyday mistakes on the input side, made as a user makes them and run
// through the built tool: the parameter file, paths, preprocessing that does
// not fit an organism, compressed input and extreme values. Each either works
// with a warning or stops before any clustering with a message that names the
// key or the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/planted_dataset.h"
#include "support/gzip_support.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

const std::string kBom = "\xEF\xBB\xBF";

// The lines of a text that contain `part`.
std::vector<std::string> linesWith(const std::string& text, const std::string& part) {
    std::vector<std::string> found;
    for (const std::string& line : splitText(text, '\n')) {
        if (line.find(part) != std::string::npos) found.push_back(line);
    }
    return found;
}

// The text with every line that starts with `key =` replaced by `line` ("" drops it).
std::string withLine(const std::string& text, const std::string& key, const std::string& line) {
    std::string out;
    for (const std::string& existing : splitText(text, '\n')) {
        if (existing.rfind(key + " =", 0) == 0) {
            if (!line.empty()) out += line + "\n";
        } else {
            out += existing + "\n";
        }
    }
    return out;
}

class InputMistakes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(generateDataset(work.path(), PlantedDataset{}));
        parameters = readFile(work.file("ParameterSetting.txt"));
    }

    CommandResult runWith(const std::string& parameterText) {
        writeFile(work.file("ParameterSetting.txt"), parameterText);
        return runTool(work.path(), "ParameterSetting.txt");
    }

    // Replaces field `column` (1-based, tab-separated) of line `line` (1-based) of a file.
    void replaceField(const std::string& name, std::size_t line, std::size_t column, const std::string& value) {
        std::vector<std::string> lines = readLines(work.file(name));
        ASSERT_LT(line - 1, lines.size());
        std::vector<std::string> fields = splitText(lines[line - 1], '\t');
        ASSERT_LT(column - 1, fields.size());
        fields[column - 1] = value;
        std::string joined;
        for (std::size_t f = 0; f < fields.size(); ++f) joined += (f ? "\t" : "") + fields[f];
        lines[line - 1] = joined;
        std::string text;
        for (const std::string& l : lines) text += l + "\n";
        writeFile(work.file(name), text);
    }

    TempDir work;
    std::string parameters;  // the generated parameter file
};

// --- The parameter file ---

TEST_F(InputMistakes, EverySetupMistakeAtOnceIsReportedAndStopsBeforeAnyDataFileIsRead) {
    std::string text = kBom + parameters;  // saved with a byte-order mark
    text = withLine(text, "nMaxAlgRun", "nMaxAlgRuns = 1");
    text = withLine(text, "seed", "sead = 17");
    text = withLine(text, "psudo_uniform_counts", "pseudo_uniform_counts = 10");
    text = withLine(text, "prep", "prep = yes   # filter the genes");
    text = withLine(text, "k", "k = 3.9");
    text += "verbose = true\n";
    const CommandResult failed = runWith(text);
    EXPECT_EQ(failed.exitStatus, 1);
    EXPECT_EQ(failed.out, "") << "nothing is read or clustered";
    const std::string& err = failed.err;
    EXPECT_EQ(err.find("\"dataFile_hm\""), std::string::npos) << "the byte-order mark is not part of a key:\n" << err;
    for (const std::string expected : {
             "did you mean \"nMaxAlgRun\"?", "did you mean \"seed\"?", "did you mean \"psudo_uniform_counts\"?",
             "the value \"yes   # filter the genes\" of the key prep in parameter file ParameterSetting.txt is read "
             "as off",
             "there is no comment syntax",
             "the value \"3.9\" of the key k in parameter file ParameterSetting.txt is read as 3: a whole number is "
             "expected",
             "the value \"true\" of the key verbose in parameter file ParameterSetting.txt is read as off",
         }) {
        EXPECT_NE(err.find(expected), std::string::npos) << expected << "\nin:\n" << err;
    }
    const std::string last = "\nThe key nMaxAlgRun is missing or empty in parameter file ParameterSetting.txt\n";
    EXPECT_TRUE(err.size() > last.size() && err.compare(err.size() - last.size(), last.size(), last) == 0)
        << "the last line: a missing count is missing, not 0:\n" << err;
    EXPECT_EQ(linesWith(err, "from the clock").size(), 0u) << "no seed note for a run that does not start";

    // With the one fatal mistake mended the run works, the warnings still shown.
    const CommandResult works = runWith(withLine(text, "nMaxAlgRuns", "nMaxAlgRun = 1"));
    EXPECT_EQ(works.exitStatus, 0) << works.err;
    EXPECT_NE(works.out.find("Repetitive times:0"), std::string::npos);
    EXPECT_EQ(works.out.find("Num of human genes"), std::string::npos) << "prep was read as off, as warned";
    EXPECT_EQ(linesWith(works.err, "from the clock").size(), 1u) << works.err;
}

TEST_F(InputMistakes, AParameterFileSavedAsUtf16StopsWithOneMessage) {
    std::string utf16 = "\xFF\xFE";
    for (const char c : parameters) utf16 += std::string{c, '\0'};
    const CommandResult run = runWith(utf16);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "Cannot read ParameterSetting.txt: it is encoded as UTF-16 (little-endian), which some editors call "
              "\"Unicode\"; input files must be plain text or UTF-8 (save it again as UTF-8)\n")
        << "one message instead of a warning per line";
}

TEST_F(InputMistakes, WithoutASeedTheClockSeedIsShownOnceAndRepeatsTheRun) {
    const CommandResult clocked = runWith(withLine(parameters, "seed", ""));
    ASSERT_EQ(clocked.exitStatus, 0) << clocked.err;
    const std::vector<std::string> lines = splitText(withoutOrthologReport(clocked.err), '\n');
    ASSERT_EQ(lines.size(), 1u) << clocked.err;
    const std::string prefix = "seed ";
    const std::string seed = lines[0].substr(prefix.size(), lines[0].find(' ', prefix.size()) - prefix.size());
    EXPECT_EQ(lines[0], "seed " + seed + " from the clock; add \"seed = " + seed + "\" to repeat this run");
    EXPECT_EQ(clocked.out.find("seed"), std::string::npos) << "standard output is unchanged";
    const std::string clusters = readFile(work.file("out/human_clusters.txt"));

    const CommandResult repeated = runWith(withLine(parameters, "seed", "seed = " + seed));
    ASSERT_EQ(repeated.exitStatus, 0) << repeated.err;
    EXPECT_EQ(withoutOrthologReport(repeated.err), "");
    EXPECT_EQ(repeated.out, clocked.out);
    EXPECT_EQ(readFile(work.file("out/human_clusters.txt")), clusters);
}

TEST_F(InputMistakes, APseudoCountBeyond32BitsAndANulByteStopNamingTheKey) {
    const auto expectStop = [&](const std::string& text, const std::string& message) {
        const CommandResult run = runWith(text);
        EXPECT_EQ(run.exitStatus, 1) << message;
        EXPECT_EQ(run.out, "") << message;
        EXPECT_NE(run.err.find(message + "\n"), std::string::npos) << run.err;
    };
    expectStop(withLine(parameters, "psudo_uniform_counts", "psudo_uniform_counts = 2147483648"),
               "The key psudo_uniform_counts must be from -2147483648 to 2147483647 in parameter file "
               "ParameterSetting.txt (it is 2147483648)");
    expectStop(withLine(parameters, "dataFile_hm", std::string("dataFile_hm = human_expression.txt") + '\0' + "x"),
               "The key dataFile_hm holds a NUL byte in parameter file ParameterSetting.txt: save the file again as "
               "plain text or UTF-8");
}

// --- Paths ---

TEST_F(InputMistakes, ADataFileNextToTheParameterFileIsNamedWhenRunFromElsewhere) {
    fs::create_directory(work.path() / "elsewhere");
    const CommandResult run = runTool(work.path() / "elsewhere", "../ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err,
              "Cannot open human_expression.txt (paths in the parameter file are taken from the current folder, not "
              "from the parameter file's folder; did you mean ../human_expression.txt?)\n");

    // The same for the ortholog file, read after the others.
    std::string text = parameters;
    for (const char* key : {"dataFile_hm", "dataFile_ms", "annotFile_hm", "annotFile_ms"}) {
        const std::string name = splitText(linesWith(text, std::string(key) + " =")[0], ' ').back();
        text = withLine(text, key, std::string(key) + " = " + work.file(name));
    }
    writeFile(work.file("ParameterSetting.txt"), text);
    const CommandResult orthologs = runTool(work.path() / "elsewhere", "../ParameterSetting.txt");
    EXPECT_EQ(orthologs.exitStatus, 1);
    EXPECT_NE(orthologs.err.find("Cannot open orthologs.txt (paths in the parameter file are taken from the current "
                                 "folder, not from the parameter file's folder; did you mean ../orthologs.txt?)\n"),
              std::string::npos)
        << orthologs.err;

    // A file that is nowhere gets the plain message.
    const CommandResult missing = runWith(withLine(parameters, "dataFile_ms", "dataFile_ms = nowhere.txt"));
    EXPECT_NE(missing.err.find("Cannot open nowhere.txt\n"), std::string::npos) << missing.err;
}

// --- Preprocessing ---

TEST_F(InputMistakes, PerOrganismThresholdsOverrideTheSharedOnesAndFewKeptGenesWarn) {
    // A mouse threshold that about one gene in twenty reaches.
    std::vector<double> maxima;
    for (const auto& [name, values] : readExpression(work.file("mouse_expression.txt"))) {
        maxima.push_back(*std::max_element(values.begin(), values.end()));
    }
    std::sort(maxima.begin(), maxima.end());
    const double threshold = maxima[maxima.size() * 95 / 100];
    const CommandResult few = runWith(parameters + "maxExpr_ms = " + std::to_string(threshold) + "\n");
    const std::vector<std::string> kept = linesWith(few.out, "Num of mouse genes after preprocessing = ");
    ASSERT_EQ(kept.size(), 1u) << few.out;
    const std::vector<std::string> warning = linesWith(few.err, "warning: preprocessing kept ");
    ASSERT_EQ(warning.size(), 1u) << few.err;
    EXPECT_EQ(warning[0].rfind("warning: preprocessing kept " + kept[0].substr(kept[0].rfind(' ') + 1) +
                                   " of the 260 mouse genes (under 10 %): ",
                               0),
              0u)
        << warning[0];
    EXPECT_NE(warning[0].find(" a largest value below maxExpr_ms = "), std::string::npos) << warning[0];
    EXPECT_NE(warning[0].find("CVThr_ms and maxExpr_ms set thresholds for the mouse genes alone"), std::string::npos);
    EXPECT_NE(few.err.find("name a gene that preprocessing left out (such as "), std::string::npos)
        << "dropped genes are not blamed on the identifiers:\n" << few.err;
    EXPECT_EQ(few.err.find("does not have"), std::string::npos) << few.err;

    // Thresholds of its own let the mouse keep every gene while the human keeps its shared ones.
    const CommandResult shared = runWith(parameters);
    const CommandResult own = runWith(parameters + "CVThr_ms = -1e300\nmaxExpr_ms = -1e300\n");
    ASSERT_EQ(own.exitStatus, 0) << own.err;
    EXPECT_NE(own.out.find("Num of mouse genes after preprocessing = 260\n"), std::string::npos) << own.out;
    EXPECT_EQ(linesWith(own.out, "Num of human genes after"), linesWith(shared.out, "Num of human genes after"));
    EXPECT_NE(linesWith(own.out, "Num of mouse genes after"), linesWith(shared.out, "Num of mouse genes after"));
}

TEST_F(InputMistakes, ValuesThatAreNotNumbersAreLocatedAndAKMeansStartOfIdenticalGenesWarns) {
    ASSERT_NO_FATAL_FAILURE(replaceField("human_expression.txt", 5, 3, "NA"));
    ASSERT_NO_FATAL_FAILURE(replaceField("human_expression.txt", 9, 2, "1e309"));
    const CommandResult located = runWith(parameters);
    EXPECT_EQ(located.exitStatus, 0) << located.err;
    EXPECT_NE(located.err.find("warning: 2 value fields of human_expression.txt are not numbers and were read as 0 "
                               "(the first on line 5, column 3: \"NA\"); missingValues = "),
              std::string::npos)
        << "a value that overflows counts too:\n" << located.err;

    // Every human gene with the same values, clustered as read: the k-means start cannot make three clusters.
    std::string identical = "ID\tS1\tS2\tS3\n";
    for (const auto& [name, values] : readExpression(work.file("human_expression.txt"))) {
        identical += name + "\t4\t5\t6\n";
    }
    writeFile(work.file("human_expression.txt"), identical);
    const CommandResult merged = runWith(withLine(parameters, "prep", "prep = no"));
    const std::vector<std::string> warning = linesWith(merged.err, "warning: the k-means start left fewer than k");
    ASSERT_EQ(warning.size(), 1u) << merged.err;
    EXPECT_EQ(warning[0].rfind("warning: the k-means start left fewer than k = 3 human clusters in ", 0), 0u)
        << warning[0];
    EXPECT_NE(warning[0].find("(1 at the fewest): seed genes with identical values start one cluster between them"),
              std::string::npos)
        << warning[0];
}

TEST_F(InputMistakes, AKWhoseTableHasMoreCellsThanPairsWarnsBeforeTheFirstRepetition) {
    const CommandResult run = runWith(withLine(parameters, "k", "k = 20"));
    const std::vector<std::string> warning = linesWith(run.err, "cells in the cluster-pair table");
    ASSERT_EQ(warning.size(), 1u) << run.err;
    EXPECT_EQ(warning[0].rfind("warning: k = 20 gives 400 cells in the cluster-pair table, more than the ", 0), 0u)
        << warning[0];
    EXPECT_TRUE(linesWith(runWith(parameters).err, "cells in the cluster-pair table").empty()) << "k = 3: 9 cells";
}

// --- Compressed input ---

TEST_F(InputMistakes, GzippedInputsGiveTheSameRunAndADamagedOneStopsNamingIt) {
    const CommandResult plain = runWith(parameters);
    ASSERT_EQ(plain.exitStatus, 0) << plain.err;
    std::vector<std::string> results;
    for (const char* name : {"human_clusters.txt", "mouse_clusters.txt", "gene_pairs.txt", "pair_clusters.txt"}) {
        results.push_back(readFile(work.file(std::string("out/") + name)));
        fs::remove(work.path() / "out" / name);
    }

    std::string text = parameters;
    for (const char* key : {"dataFile_hm", "dataFile_ms", "annotFile_hm", "annotFile_ms", "orthologFile"}) {
        const std::string name = splitText(linesWith(text, std::string(key) + " =")[0], ' ').back();
        writeFile(work.file(name + ".gz"), gzipText(readFile(work.file(name))));
        fs::remove(work.path() / name);
        text = withLine(text, key, std::string(key) + " = " + name + ".gz");
    }
    const CommandResult compressed = runWith(text);
    ASSERT_EQ(compressed.exitStatus, 0) << compressed.err;
    EXPECT_EQ(withoutOrthologReport(compressed.err), "");
    EXPECT_EQ(compressed.out, plain.out);
    std::size_t r = 0;
    for (const char* name : {"human_clusters.txt", "mouse_clusters.txt", "gene_pairs.txt", "pair_clusters.txt"}) {
        EXPECT_TRUE(readFile(work.file(std::string("out/") + name)) == results[r++]) << name;
    }

    const std::string archive = readFile(work.file("mouse_annotation.txt.gz"));
    writeFile(work.file("mouse_annotation.txt.gz"), archive.substr(0, archive.size() / 2));
    const CommandResult truncated = runWith(text);
    EXPECT_EQ(truncated.exitStatus, 1);
    EXPECT_EQ(truncated.err,
              "Cannot read mouse_annotation.txt.gz: the compressed data ends early (the file is truncated)\n");
    EXPECT_EQ(truncated.out, "finish reading params\nfinish reading data\nfinish human annot\n");
}

// --- Extreme values ---

TEST_F(InputMistakes, AHeaderOfTwentyFiveMillionNamesFailsAtItsFirstLineWithinAModestMemoryLimit) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#else
    constexpr std::size_t kNames = 25000000;
    std::string text;
    text.reserve(kNames * 2 + 64);
    text += "ID";
    for (std::size_t s = 0; s < kNames; ++s) text += "\tx";
    text += "\nH00001\t1\t2\t3\n";
    writeFile(work.file("human_expression.txt"), text);
    text.clear();
    text.shrink_to_fit();
    // 600 MB of address space: the file and its text fit, 25 million stored names would not.
    const std::string command = "cd '" + work.path().string() + "' && ulimit -v 600000 && '" +
                                std::string(ORTHOMIX_BINARY) + "' ParameterSetting.txt > .out 2> .err < /dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status)) << "ended by a signal, not with a message";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(readFile(work.file(".err")),
              "Line 2 of human_expression.txt has 3 values, but the header names 25000000 samples\n");
#endif
}

}  // namespace
}  // namespace orthomix::testing
