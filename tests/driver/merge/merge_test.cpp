// The merge in memory: runs of one k on a worked example, their records
// written and read back, put together into the outcome of the sweep; and
// the records it refuses.
#include "driver/merge/merge.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "driver/results/run_record.h"
#include "io/annotation_reader.h"
#include "io/expression_reader.h"
#include "io/ortholog_reader.h"
#include "io/parameter_file.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"

namespace orthomix {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::RecordingReporter;

const StopFlag kNeverStop;
const fs::path kExample = fs::path(ORTHOMIX_TEST_DATA) / "golden" / "public1";

OrganismData organismFrom(const std::string& expression, const std::string& annotation) {
    OrganismData organism = std::move(readExpressionFile((kExample / expression).string())->data);
    organism.annotations = *readAnnotationFile((kExample / annotation).string(), organism.identifiers);
    return organism;
}

FitInputs exampleInputs() {
    return FitInputs{organismFrom("human_expression.txt", "human_annotation.txt"),
                     organismFrom("mouse_expression.txt", "mouse_annotation.txt"),
                     *readOrthologFile((kExample / "orthologs.txt").string())};
}

ParameterSetting sweepSettings() {
    ParameterSetting settings =
        settingsFromTable(parseParameterText(readFile((kExample / "ParameterSetting.txt").string())));
    settings.kValues = {3, 4, 5};
    settings.threads = 2;
    return settings;
}

const std::vector<InputChecksum> kChecksums = {{"dataFile_hm", "fnv1a64:0000000000000001"},
                                               {"dataFile_ms", "fnv1a64:0000000000000002"},
                                               {"annotFile_hm", "fnv1a64:0000000000000003"},
                                               {"annotFile_ms", "fnv1a64:0000000000000004"},
                                               {"orthologFile", "fnv1a64:0000000000000005"}};

FitOutcome fit(const ParameterSetting& settings) {
    RecordingReporter reporter;
    return fitClusters(settings, exampleInputs(), 1, FitObserver{reporter, kNeverStop, {}});
}

// The record a run of k alone writes, as text.
std::string singleKRecordText(std::int32_t k) {
    ParameterSetting settings = sweepSettings();
    settings.kValues.clear();
    settings.k = k;
    settings.threads = 1;  // a setting that changes no result may differ
    const FitOutcome outcome = fit(settings);
    EXPECT_TRUE(outcome.succeeded());
    RunRecordBuilder builder("ParameterSetting.txt", RunClock{});
    builder.settingsRead(settings, outcome.seed);
    builder.inputsChecksummed(kChecksums);
    builder.fitted(outcome);
    return renderRunRecord(builder.completed({}), std::nullopt);
}

// The records of k = 3, 4 and 5, made once.
const std::map<std::int32_t, std::string>& recordTexts() {
    static const std::map<std::int32_t, std::string> texts = {
        {3, singleKRecordText(3)}, {4, singleKRecordText(4)}, {5, singleKRecordText(5)}};
    return texts;
}

// The three records, with `edit` applied to the text of k = `edited`.
Result<MergeSources> sourcesWith(std::int32_t edited = 0, const std::string& from = "", const std::string& to = "") {
    MergeSources sources;
    for (const auto& [k, original] : recordTexts()) {
        std::string text = original;
        if (k == edited) {
            const std::size_t at = text.find(from);
            EXPECT_NE(at, std::string::npos) << from;
            if (at != std::string::npos) text.replace(at, from.size(), to);
        }
        Result<SingleKRecord> record = parseSingleKRecord(text, "k" + std::to_string(k) + ".json");
        if (!record) return record.error();
        sources.seed = record->seed;
        sources.records.push_back(std::move(*record));
    }
    return sources;
}

std::string mergeError(const MergeSources& sources, const ParameterSetting& settings,
                       const std::vector<InputChecksum>& checksums = kChecksums) {
    RecordingReporter reporter;
    const FitOutcome merged = mergeSingleKRuns(sources, SweepInputs{settings, "sweep.txt", checksums}, exampleInputs(),
                                               FitObserver{reporter, kNeverStop, {}});
    return merged.error ? merged.error->message : "(merged)";
}

TEST(Merge, PutsSingleKRecordsTogetherIntoTheSweepsOutcome) {
    const ParameterSetting settings = sweepSettings();
    const FitOutcome sweep = fit(settings);
    ASSERT_TRUE(sweep.succeeded());
    const Result<MergeSources> sources = sourcesWith();
    ASSERT_TRUE(sources) << sources.error().message;
    RecordingReporter reporter;
    const FitOutcome merged = mergeSingleKRuns(*sources, SweepInputs{settings, "sweep.txt", kChecksums},
                                               exampleInputs(), FitObserver{reporter, kNeverStop, {}});
    ASSERT_TRUE(merged.succeeded()) << merged.error->message;

    EXPECT_TRUE(merged.sweep);
    EXPECT_EQ(merged.chosen, sweep.chosen);
    ASSERT_EQ(merged.modelSelection.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const ModelSelectionRow& a = sweep.modelSelection[i];
        const ModelSelectionRow& b = merged.modelSelection[i];
        EXPECT_EQ(std::tie(a.k, a.completed, a.repetitionsAccepted, a.attemptsRejected, a.logLikelihood, a.parameters,
                           a.bic, a.iterations, a.selected),
                  std::tie(b.k, b.completed, b.repetitionsAccepted, b.attemptsRejected, b.logLikelihood, b.parameters,
                           b.bic, b.iterations, b.selected))
            << "k = " << a.k;
    }
    const std::vector<AttemptRecord> expected = sweep.allAttempts();
    const std::vector<AttemptRecord> actual = merged.allAttempts();
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(std::tie(actual[i].k, actual[i].repetition, actual[i].attempt, actual[i].logLikelihood,
                           actual[i].scatterPairs),
                  std::tie(expected[i].k, expected[i].repetition, expected[i].attempt, expected[i].logLikelihood,
                           expected[i].scatterPairs))
            << "attempt " << i;
    }
    EXPECT_EQ(merged.kept().best.human.labels, sweep.kept().best.human.labels);
    EXPECT_EQ(merged.kept().best.mouse.labels, sweep.kept().best.mouse.labels);
    EXPECT_NE(reporter.out.find("merging k = 3, 4, 5; fitting k = " + std::to_string(sweep.keptRun().k)),
              std::string::npos)
        << reporter.out;
}

TEST(Merge, RefusesRecordsOfAnotherVersionSeedSettingOrData) {
    const ParameterSetting settings = sweepSettings();
    EXPECT_EQ(mergeError(*sourcesWith(4, "\"version\": \"", "\"version\": \"0."), settings),
              "k4.json was written by orthomix 0." ORTHOMIX_VERSION "; this is orthomix " ORTHOMIX_VERSION);

    ParameterSetting otherSeed = settings;
    otherSeed.seed = 5;
    EXPECT_EQ(mergeError(*sourcesWith(), otherSeed), "k3.json ran with seed 99, but sweep.txt gives seed 5");

    ParameterSetting otherSetting = settings;
    otherSetting.stoppingThr = 1e-3;
    EXPECT_EQ(mergeError(*sourcesWith(), otherSetting),
              "k3.json ran with stoppingThr = 0.0001, but sweep.txt gives 0.001");

    std::vector<InputChecksum> otherData = kChecksums;
    otherData[4].checksum = "fnv1a64:0000000000000006";
    EXPECT_EQ(mergeError(*sourcesWith(), settings, otherData),
              "k3.json was run on another orthologFile (fnv1a64:0000000000000005) than sweep.txt names "
              "(fnv1a64:0000000000000006)");
    otherData[4].checksum.reset();
    EXPECT_NE(mergeError(*sourcesWith(), settings, otherData).find("orthologFile is not a regular file"),
              std::string::npos);

    ParameterSetting single = settings;
    single.kValues.clear();
    EXPECT_NE(mergeError(*sourcesWith(), single).find("sweep.txt gives no kValues"), std::string::npos);

    ParameterSetting fewer = settings;
    fewer.kValues = {3, 5};
    EXPECT_EQ(mergeError(*sourcesWith(), fewer), "k4.json: k = 4 is not among the kValues of sweep.txt");
    ParameterSetting more = settings;
    more.kValues = {3, 4, 5, 6};
    EXPECT_EQ(mergeError(*sourcesWith(), more), "No run record for k = 6 of the kValues of sweep.txt");
}

TEST(Merge, RefusesARecordThatTheRefitOfItsKDoesNotRepeat) {
    const ParameterSetting settings = sweepSettings();
    const FitOutcome sweep = fit(settings);
    ASSERT_TRUE(sweep.succeeded());
    const std::int32_t chosen = sweep.keptRun().k;
    const std::string chosenName = "k" + std::to_string(chosen) + ".json";

    // The kept k's record altered in one attempt's likelihood.
    EXPECT_EQ(mergeError(*sourcesWith(chosen, "\"iterations\": ", "\"iterations\": 1"), settings),
              "k = " + std::to_string(chosen) + " fitted again differs from " + chosenName +
                  " at attempt 1 (repetition 0)");
    // Another k made to look best by a BIC its data do not give.
    const std::int32_t other = chosen == 3 ? 4 : 3;
    const Result<MergeSources> lowered = sourcesWith(other, "\"bic\": ", "\"bic\": -1");
    ASSERT_TRUE(lowered) << lowered.error().message;
    EXPECT_EQ(mergeError(*lowered, settings), "k = " + std::to_string(other) + " fitted again differs from k" +
                                                  std::to_string(other) + ".json in its best repetition");
}

TEST(SingleKRecord, RefusesFailedRunsSweepsAndRecordsWithoutChecksums) {
    const std::string text = recordTexts().at(3);
    const Result<SingleKRecord> read = parseSingleKRecord(text, "r.json");
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->k, 3);
    EXPECT_EQ(read->seed, 99u);
    ASSERT_FALSE(read->attempts.empty());
    EXPECT_EQ(read->attempts.front().k, 3) << "a single-k record lists no k per attempt; the record's k is theirs";
    EXPECT_EQ(read->inputChecksums.size(), 5u);

    const auto refusal = [&](const std::string& from, const std::string& to) {
        std::string edited = text;
        const std::size_t at = edited.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        edited.replace(at, from.size(), to);
        const Result<SingleKRecord> record = parseSingleKRecord(edited, "r.json");
        return record ? std::string("(accepted)") : record.error().message;
    };
    EXPECT_EQ(refusal("\"status\": \"completed\"", "\"status\": \"failed\""),
              "r.json: the run did not complete (status \"failed\")");
    EXPECT_EQ(refusal("\"kValues\": []", "\"kValues\": [3, 4]"),
              "r.json: the record of a kValues run; merge takes the records of runs of one k each");
    EXPECT_EQ(refusal("\"inputChecksums\": {", "\"otherChecksums\": {"),
              "r.json: the record lists no input checksums; rerun that k with this version of orthomix");
    EXPECT_EQ(refusal("\"repetition\": 0", "\"repetition\": 0.5"),
              "r.json: not a run record of orthomix: attempts[0].repetition is missing or malformed");
    EXPECT_EQ(refusal("\"tool\": \"orthomix\"", "\"tool\": \"other\""), "r.json: not a run record of orthomix");
    EXPECT_EQ(refusal("\"maximumLikelihood\": ", "\"maximumLikelihood\": \"high\", \"old\": "),
              "r.json: not a run record of orthomix: best.maximumLikelihood is missing or malformed");
    EXPECT_EQ(parseSingleKRecord(text.substr(0, text.size() / 2), "r.json").error().message.rfind(
                  "r.json: not a run record of orthomix: not valid JSON at byte", 0),
              0u);
}

}  // namespace
}  // namespace orthomix
