// The messages about input files and the data they hold, built from the
// counts the readers and preprocessing return.
#include "driver/inputs/input_messages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace orthomix {
namespace {

namespace fs = std::filesystem;

TEST(InputMessages, ARelativePathFoundOnlyBesideTheParameterFileIsNamed) {
    const fs::path folder = fs::temp_directory_path() / ("orthomix_hint_" + std::to_string(::getpid()));
    fs::create_directories(folder / "sub");
    std::ofstream(folder / "only_beside_the_parameters.txt") << "x";
    const std::string parameters = (folder / "ParameterSetting.txt").string();
    const Error original{"Cannot open only_beside_the_parameters.txt"};

    EXPECT_EQ(withFolderHint(original, "only_beside_the_parameters.txt", parameters).message,
              "Cannot open only_beside_the_parameters.txt (paths in the parameter file are taken from the current "
              "folder, not from the parameter file's folder; did you mean " +
                  (folder / "only_beside_the_parameters.txt").string() + "?)");
    EXPECT_EQ(withFolderHint(original, "not_there_either.txt", parameters).message, original.message)
        << "nowhere: the message as it was";
    EXPECT_EQ(withFolderHint(original, "sub", parameters).message, original.message) << "a folder is no data file";
    EXPECT_EQ(withFolderHint(original, (folder / "only_beside_the_parameters.txt").string(), parameters).message,
              original.message)
        << "an absolute path is not taken from any folder";
    EXPECT_EQ(withFolderHint(original, "only_beside_the_parameters.txt", "ParameterSetting.txt").message,
              original.message)
        << "a parameter file in the current folder has no other folder";
    fs::remove_all(folder);
}

TEST(InputMessages, NonNumbersAreCountedWithTheFirstPlaceAndALongTextIsCut) {
    ExpressionFile file;
    EXPECT_EQ(nonNumericWarning(file, "h.txt"), "");
    file.nonNumericFields = 3;
    file.firstNonNumericLine = 12;
    file.firstNonNumericColumn = 4;
    file.firstNonNumericText = "NA";
    const std::string keys =
        "; missingValues = dropGene leaves such genes out, geneMean reads the mean of the gene's other values";
    EXPECT_EQ(nonNumericWarning(file, "h.txt"),
              "3 value fields of h.txt are not numbers and were read as 0 (the first on line 12, column 4: \"NA\")" +
                  keys);
    EXPECT_EQ(nonNumericWarning(file, "h.txt", "dropGene"),
              "3 value fields of h.txt are not numbers and their genes were left out (missingValues = dropGene) (the "
              "first on line 12, column 4: \"NA\")");
    EXPECT_EQ(nonNumericWarning(file, "h.txt", "geneMean"),
              "3 value fields of h.txt are not numbers and were read as the mean of their gene's other values "
              "(missingValues = geneMean) (the first on line 12, column 4: \"NA\")");
    file.firstNonNumericText = std::string(45, 'x');
    EXPECT_EQ(nonNumericWarning(file, "h.txt"),
              "3 value fields of h.txt are not numbers and were read as 0 (the first on line 12, column 4: \"" +
                  std::string(40, 'x') + "...\")" + keys);
}

TEST(InputMessages, VarianceFiltersAreNotedOnlyWhenGivenWithTheKeysThatApplied) {
    PreprocessingCounts counts{.read = 900, .kept = 500, .belowDeviation = 40, .beyondTop = 300};
    PreprocessingThresholds thresholds{0.0,          0.0,          "CVThr", "maxExpr",
                                       std::nullopt, std::nullopt, "minSD", "topVariable"};
    EXPECT_EQ(varianceFilterNote(counts, "mouse", thresholds), "");
    thresholds.topVariable = 500;
    thresholds.topVariableKey = "topVariable_ms";
    EXPECT_EQ(varianceFilterNote(counts, "mouse", thresholds),
              "preprocessing kept 500 of the 900 mouse genes; 300 passed every test but are not among the "
              "topVariable_ms = 500 most variable");
    thresholds.minSD = 0.25;
    EXPECT_EQ(varianceFilterNote(counts, "mouse", thresholds),
              "preprocessing kept 500 of the 900 mouse genes; 40 have a standard deviation below minSD = 0.25; 300 "
              "passed every test but are not among the topVariable_ms = 500 most variable");
}

TEST(InputMessages, PreprocessingThatKeepsUnderATenthSaysWhyAndNamesTheKeysThatApplied) {
    PreprocessingCounts counts{
        .read = 20627, .kept = 12, .belowVariation = 20590, .belowMaximum = 20100, .constant = 3, .notFinite = 0};
    PreprocessingThresholds thresholds{0.1, 5.0, "CVThr", "maxExpr_ms", std::nullopt, std::nullopt, "", ""};
    EXPECT_EQ(preprocessingWarning(counts, "mouse", thresholds),
              "preprocessing kept 12 of the 20627 mouse genes (under 10 %): 20590 have a coefficient of variation "
              "below CVThr = 0.1, 20100 a largest value below maxExpr_ms = 5, 3 are constant (for data centred on 0 "
              "the coefficient of variation is negative or huge; CVThr_ms and maxExpr_ms set thresholds for the "
              "mouse genes alone)");

    counts.kept = 2063;  // a tenth, rounded up
    EXPECT_EQ(preprocessingWarning(counts, "mouse", thresholds), "") << "at least a tenth kept";
    counts.notFinite = 2;
    EXPECT_EQ(preprocessingWarning(counts, "human", thresholds),
              "preprocessing kept 2063 of the 20627 human genes: 20590 have a coefficient of variation below CVThr = "
              "0.1, 20100 a largest value below maxExpr_ms = 5, 3 are constant, 2 have a mean or standard deviation "
              "that is not finite")
        << "genes dropped for statistics that are not finite are always reported";
    EXPECT_EQ(preprocessingWarning(PreprocessingCounts{}, "human", thresholds), "") << "no genes, nothing to say";
}

ParameterSetting orthologFiles() {
    ParameterSetting settings;
    settings.orthologFile = "o.txt";
    settings.dataFile_hm = "h.txt";
    settings.dataFile_ms = "m.txt";
    return settings;
}

TEST(InputMessages, TheOrthologLineNamesOnlyTheCausesThatOccurAndSaysHowVersionedIdentifiersMatch) {
    const ParameterSetting settings = orthologFiles();
    OrthologMatchSummary summary;
    summary.entries = 1500;
    summary.matched = 1500;
    OrthologMatchLine line = orthologMatchLine(summary, settings);
    EXPECT_FALSE(line.warning);
    EXPECT_EQ(line.text, "o.txt holds 1500 ortholog pairs, 1500 with both genes present and kept");

    summary.matched = 1400;
    summary.namingAbsentMouse = 100;
    summary.absentMouseExample = "ENSMUSG1.3";
    summary.matchableWithoutVersions = 98;
    summary.versionExample = "ENSMUSG1.3";
    line = orthologMatchLine(summary, settings);
    EXPECT_FALSE(line.warning);
    EXPECT_EQ(line.text,
              "o.txt holds 1500 ortholog pairs, 1400 with both genes present and kept; the other 100: 100 name a mouse "
              "identifier that m.txt does not have (such as \"ENSMUSG1.3\"); 98 of them would match without a version "
              "suffix (such as \"ENSMUSG1.3\"): stripIdVersions = yes matches identifiers so");

    EXPECT_EQ(dateLikeIdentifiersWarning({2, "1-Mar"}, "h.txt"),
              "2 identifiers of h.txt look like dates (such as \"1-Mar\"), which a spreadsheet makes of gene names "
              "such as MARCH1 or SEPT2: they match no other file; export the table again with that column formatted as "
              "text");
}

TEST(InputMessages, OrthologMessagesCountEachCauseAndSayWhatToCheckForTheCausesThatLoseMany) {
    const ParameterSetting settings = orthologFiles();
    OrthologMatchSummary summary{.entries = 15000,
                                 .matched = 12,
                                 .namingAbsentHuman = 1500,
                                 .namingAbsentMouse = 500,
                                 .namingDroppedGene = 12988,
                                 .absentHumanExample = "ENSG1",
                                 .absentMouseExample = "Xkr4",
                                 .droppedHumanExample = "1",
                                 .droppedMouseExample = "A1bg",
                                 .matchableWithoutVersions = 0,
                                 .versionExample = ""};
    const OrthologMatchLine few = orthologMatchLine(summary, settings);
    EXPECT_TRUE(few.warning);
    EXPECT_EQ(few.text,
              "o.txt holds 15000 ortholog pairs, only 12 with both genes present and kept (more than one in ten is "
              "lost); the other 14988: 1500 name a human identifier that h.txt does not have (such as \"ENSG1\"), 500 "
              "a mouse identifier that m.txt does not have (such as \"Xkr4\"), 12988 a gene that preprocessing left "
              "out (such as human \"1\"); check that the ortholog file's identifiers are those of the expression "
              "files' first columns; preprocessing may be too strict for one organism");

    // Past one pair in ten lost, only a cause that loses so many alone gets a word on what to check.
    summary = OrthologMatchSummary{};
    summary.entries = 1000;
    summary.matched = 899;
    summary.namingAbsentHuman = 1;
    summary.absentHumanExample = "ENSG1";
    summary.namingDroppedGene = 100;
    summary.droppedMouseExample = "A1bg";
    EXPECT_EQ(orthologMatchLine(summary, settings).text,
              "o.txt holds 1000 ortholog pairs, only 899 with both genes present and kept (more than one in ten is "
              "lost); the other 101: 1 name a human identifier that h.txt does not have (such as \"ENSG1\"), 100 a "
              "gene that preprocessing left out (such as mouse \"A1bg\")");
    summary.matched = 898;
    summary.namingDroppedGene = 101;
    const std::string text = orthologMatchLine(summary, settings).text;
    EXPECT_EQ(text.substr(text.find("), 101")),
              "), 101 a gene that preprocessing left out (such as mouse \"A1bg\"); preprocessing may be too strict "
              "for one organism");

    summary = OrthologMatchSummary{};
    summary.entries = 15000;
    summary.matched = 0;
    summary.namingDroppedGene = 15000;
    summary.droppedHumanExample = "1";
    EXPECT_EQ(noMatchedOrthologsError(summary, settings).message,
              "No entry of the ortholog file o.txt names two genes of the data files: 15000 name a gene that "
              "preprocessing left out (such as human \"1\"); preprocessing may be too strict for one organism");
    summary.namingDroppedGene = 0;
    summary.namingAbsentHuman = 15000;
    summary.absentHumanExample = "ENSG1";
    EXPECT_EQ(noMatchedOrthologsError(summary, settings).message,
              "No entry of the ortholog file o.txt names two genes of the data files: 15000 name a human identifier "
              "that h.txt does not have (such as \"ENSG1\"); check that the ortholog file's identifiers are those of "
              "the expression files' first columns");
    EXPECT_EQ(noMatchedOrthologsError(OrthologMatchSummary{}, settings).message,
              "No entry of the ortholog file o.txt names two genes of the data files: it has no entries");
}

TEST(InputMessages, APairTableWithMoreCellsThanPairsWarnsUnlessKCannotBeSeeded) {
    Dataset data;
    data.human.identifiers.assign(150, "h");
    data.mouse.identifiers.assign(120, "m");
    data.orthologs.pairs.assign(99, OrthologPair{});
    EXPECT_EQ(sparsePairTableWarning(10, data),
              "k = 10 gives 100 cells in the cluster-pair table, more than the 99 ortholog pairs whose genes are both "
              "kept: most cells can hold no pair, and each iteration takes time in proportion to k x k (a smaller k "
              "runs faster)");
    data.orthologs.pairs.emplace_back();
    EXPECT_EQ(sparsePairTableWarning(10, data), "") << "as many pairs as cells";
    EXPECT_EQ(sparsePairTableWarning(121, data), "") << "more clusters than mouse genes stops the run instead";
    EXPECT_NE(sparsePairTableWarning(120, data), "");
    data.human.identifiers.assign(50000, "h");
    data.mouse.identifiers.assign(50000, "m");
    EXPECT_NE(sparsePairTableWarning(46341, data).find("k = 46341 gives 2147488281 cells"), std::string::npos)
        << "k x k beyond 32 bits";
}

}  // namespace
}  // namespace orthomix
