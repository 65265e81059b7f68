// The in-memory entry on the worked examples: data read in the test, settings
// from the example's parameter file, and the numbers, labels and console text
// of the command line's run on the same example.
#include "driver/entry/fit.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <tuple>

#include "driver/results/result_files.h"
#include "io/annotation_reader.h"
#include "io/expression_reader.h"
#include "io/ortholog_reader.h"
#include "io/parameter_file.h"
#include "support/number_format.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"

namespace orthomix {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::RecordingReporter;
using testing::TempDir;

// Never asks to stop.
const StopFlag kNeverStop;

fs::path exampleFolder(const std::string& name) { return fs::path(ORTHOMIX_TEST_DATA) / "golden" / name; }

OrganismData organismFrom(const fs::path& expression, const fs::path& annotation) {
    Result<ExpressionFile> file = readExpressionFile(expression.string());
    EXPECT_TRUE(file) << file.error().message;
    OrganismData organism = std::move(file->data);
    Result<std::vector<std::string>> annotations = readAnnotationFile(annotation.string(), organism.identifiers);
    EXPECT_TRUE(annotations) << annotations.error().message;
    organism.annotations = std::move(*annotations);
    return organism;
}

FitInputs inputsOf(const fs::path& folder) {
    FitInputs inputs;
    inputs.human = organismFrom(folder / "human_expression.txt", folder / "human_annotation.txt");
    inputs.mouse = organismFrom(folder / "mouse_expression.txt", folder / "mouse_annotation.txt");
    Result<OrthologTable> orthologs = readOrthologFile((folder / "orthologs.txt").string());
    EXPECT_TRUE(orthologs) << orthologs.error().message;
    inputs.orthologs = std::move(*orthologs);
    return inputs;
}

// The example's settings, with input paths that lead nowhere: the entry reads no file.
ParameterSetting settingsOf(const fs::path& folder) {
    ParameterSetting settings =
        settingsFromTable(parseParameterText(readFile((folder / "ParameterSetting.txt").string())));
    settings.dataFile_hm = settings.dataFile_ms = settings.annotFile_hm = settings.annotFile_ms =
        settings.orthologFile = "no such file";
    return settings;
}

// The line after `heading` in the console text.
std::string valueAfter(const std::string& console, const std::string& heading) {
    const std::size_t at = console.find(heading + "\n");
    if (at == std::string::npos) return "(no " + heading + ")";
    const std::size_t start = at + heading.size() + 1;
    return console.substr(start, console.find('\n', start) - start);
}

class EntryOnExample : public ::testing::TestWithParam<const char*> {};

TEST_P(EntryOnExample, GivesTheCommandLinesLabelsLikelihoodBicAndConsole) {
    const fs::path folder = exampleFolder(GetParam());
    const std::string console = readFile((folder / "expected" / "console.txt").string());
    ParameterSetting settings = settingsOf(folder);
    settings.threads = 2;
    RecordingReporter reporter;
    const FitOutcome outcome = fitClusters(settings, inputsOf(folder), 1, FitObserver{reporter, kNeverStop, {}});
    ASSERT_TRUE(outcome.succeeded()) << (outcome.error ? outcome.error->message : "no k kept");

    EXPECT_EQ(outcome.seed, *settings.seed);
    EXPECT_FALSE(outcome.seedFromClock);
    EXPECT_EQ(formatNumber(outcome.kept().bestLogLikelihood), valueAfter(console, "The maximum likelihood:"));
    EXPECT_EQ(formatNumber(outcome.kept().bic), valueAfter(console, "Final BIC:"));
    const std::string preprocessed = "Num of human genes before preprocessing";
    ASSERT_NE(console.find(preprocessed), std::string::npos);
    EXPECT_EQ(reporter.out, console.substr(console.find(preprocessed)))
        << "everything the command line prints after reading its files comes from the entry";
    for (const auto& [organism, read, kept] : {std::tuple{"human", outcome.humanGenesRead, outcome.humanGenesKept},
                                               std::tuple{"mouse", outcome.mouseGenesRead, outcome.mouseGenesKept}}) {
        const std::string counts = std::string("Num of ") + organism + " genes ";
        EXPECT_NE(console.find(counts + "before preprocessing = " + std::to_string(read.value_or(0))), std::string::npos);
        EXPECT_NE(console.find(counts + "after preprocessing = " + std::to_string(kept.value_or(0))), std::string::npos);
    }
    EXPECT_EQ(outcome.orthologPairsPresent, outcome.data.orthologs.pairs.size());
    ASSERT_EQ(outcome.modelSelection.size(), 1u);
    EXPECT_EQ(outcome.modelSelection[0].bic, outcome.kept().bic);

    // The labels: the result files written from the outcome alone, byte for byte.
    const TempDir out;
    settings.outputFile_hm = out.file("human_clusters.txt");
    settings.outputFile_ms = out.file("mouse_clusters.txt");
    settings.k_by_k_output_clusters = out.file("pair_clusters.txt");
    settings.gene_pair_result = out.file("gene_pairs.txt");
    OutputSet results;
    writeResults(results, outcome, settings, RunInputs{}, RunClock{});
    ASSERT_TRUE(results.finish());
    ASSERT_TRUE(results.commit());
    for (const char* name : {"human_clusters.txt", "mouse_clusters.txt", "pair_clusters.txt", "gene_pairs.txt"}) {
        EXPECT_TRUE(readFile(out.file(name)) == readFile((folder / "expected" / name).string())) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, EntryOnExample, ::testing::Values("public1", "public2"));

TEST(Entry, WarningsComeBackAsValuesInTheOrderTheyWereShown) {
    const fs::path folder = exampleFolder("public1");
    ParameterSetting settings = settingsOf(folder);
    settings.nMaxAlgRun = 1;
    settings.kValues = {2, 40000};  // 40000 cannot be seeded: that k warns and is left out
    RecordingReporter reporter;
    const FitOutcome outcome = fitClusters(settings, inputsOf(folder), 1, FitObserver{reporter, kNeverStop, {}});
    ASSERT_TRUE(outcome.succeeded()) << outcome.error->message;
    EXPECT_TRUE(outcome.sweep);
    ASSERT_EQ(outcome.runs.size(), 2u);
    EXPECT_EQ(outcome.keptRun().k, 2);
    EXPECT_FALSE(outcome.runs[1].outcome);
    std::string shown;
    for (const std::string& warning : outcome.warnings) shown += "warning: " + warning + "\n";
    EXPECT_FALSE(outcome.warnings.empty());
    std::string errWarnings;
    for (std::size_t at = reporter.err.find("warning: "); at != std::string::npos;
         at = reporter.err.find("warning: ", at + 1)) {
        errWarnings += reporter.err.substr(at, reporter.err.find('\n', at) + 1 - at);
    }
    EXPECT_EQ(shown, errWarnings);
    ASSERT_EQ(outcome.modelSelection.size(), 2u);
    EXPECT_TRUE(outcome.modelSelection[0].selected);
}

TEST(Entry, AStopAskedForEndsTheFitWithWhatItReached) {
    const fs::path folder = exampleFolder("public1");
    StopFlag stop;
    stop.request(SIGINT);
    RecordingReporter reporter;
    const FitOutcome outcome =
        fitClusters(settingsOf(folder), inputsOf(folder), 1, FitObserver{reporter, stop, {}});
    EXPECT_FALSE(outcome.succeeded());
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->message, "Interrupted by SIGINT; the result files were left as they were");
    EXPECT_TRUE(outcome.humanGenesKept.has_value()) << "preprocessing ran before the first attempt";
    EXPECT_TRUE(outcome.repetitionsSeconds.has_value());
}

TEST(Entry, AnOrganismWithoutGenesLeftIsAnErrorValue) {
    const fs::path folder = exampleFolder("public1");
    ParameterSetting settings = settingsOf(folder);
    settings.maxExpr = 1e300;  // no gene reaches it
    RecordingReporter reporter;
    const FitOutcome outcome = fitClusters(settings, inputsOf(folder), 1, FitObserver{reporter, kNeverStop, {}});
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->message, "No human genes are left for clustering");
    EXPECT_EQ(outcome.humanGenesKept, 0u);
    EXPECT_FALSE(outcome.repetitionsSeconds.has_value()) << "it stops before the repetitions";
    EXPECT_TRUE(outcome.runs.empty());
}

}  // namespace
}  // namespace orthomix
