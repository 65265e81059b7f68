// The run record's JSON text and the assignment tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "driver/results/assignment_tables.h"
#include "driver/results/run_record.h"
#include "io/atomic_file.h"
#include "support/json_writer.h"

namespace orthomix {
namespace {

std::string jsonString(std::string_view text) {
    std::string out;
    appendJsonString(out, text);
    return out;
}

std::string jsonNumber(double value) {
    std::string out;
    appendJsonNumber(out, value);
    return out;
}

TEST(JsonString, EscapesQuotesBackslashesAndControlsAndKeepsValidUtf8) {
    EXPECT_EQ(jsonString("plain id"), "\"plain id\"");
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString(std::string("t\tn\nr\rz\0e\x1f", 10)), "\"t\\u0009n\\u000ar\\u000dz\\u0000e\\u001f\"")
        << "every control character as \\u00XX, NUL included";
    EXPECT_EQ(jsonString("del\x7f"), "\"del\x7f\"") << "DEL is not a control character in JSON";
    EXPECT_EQ(jsonString("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\xa7\xac \xf4\x8f\xbf\xbf"),
              "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\xa7\xac \xf4\x8f\xbf\xbf\"")
        << "two-, three- and four-byte sequences up to U+10FFFF pass through";
}

TEST(JsonString, EachByteOfInvalidUtf8BecomesALoneSurrogate) {
    EXPECT_EQ(jsonString("x\xffy"), "\"x\\udcffy\"");
    EXPECT_EQ(jsonString("\x80"), "\"\\udc80\"") << "a continuation byte without a lead";
    EXPECT_EQ(jsonString("\xc0\xaf"), "\"\\udcc0\\udcaf\"") << "overlong two-byte form of /";
    EXPECT_EQ(jsonString("\xe0\x80\xaf"), "\"\\udce0\\udc80\\udcaf\"") << "overlong three-byte form";
    EXPECT_EQ(jsonString("\xed\xa0\x80"), "\"\\udced\\udca0\\udc80\"") << "an encoded surrogate";
    EXPECT_EQ(jsonString("\xf4\x90\x80\x80"), "\"\\udcf4\\udc90\\udc80\\udc80\"") << "beyond U+10FFFF";
    EXPECT_EQ(jsonString("ab\xe2\x82"), "\"ab\\udce2\\udc82\"") << "a sequence cut off by the end of the text";
    EXPECT_EQ(jsonString("\xe2\x82z\xc3\xa9"), "\"\\udce2\\udc82z\xc3\xa9\"")
        << "a cut-off sequence does not swallow the valid text after it";
}

TEST(JsonNumber, SeventeenSignificantDigitsAndNullForNonFiniteValues) {
    EXPECT_EQ(jsonNumber(5.0), "5");
    EXPECT_EQ(jsonNumber(0.1), "0.10000000000000001");
    EXPECT_EQ(jsonNumber(-0.0), "-0");
    EXPECT_EQ(jsonNumber(1e300), "1.0000000000000001e+300");
    EXPECT_EQ(jsonNumber(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(jsonNumber(-std::numeric_limits<double>::infinity()), "null");
    for (const double value : {-8787.2564053828719, 1.0 / 3.0, 4.9406564584124654e-324, 1.7976931348623157e308}) {
        EXPECT_EQ(std::strtod(jsonNumber(value).c_str(), nullptr), value) << jsonNumber(value) << " does not read back";
    }
}

// Three clusters with centres (1, 0), (10, 0), (20, 0), and a fourth without genes.
struct SnapshotFixture {
    OrganismData organism;
    MembershipView view;

    SnapshotFixture() {
        organism.sampleNames = {"S1", "S2"};
        organism.expression = ExpressionMatrix(0, 2);
        view.genes = {{0, 1}, {2}, {3}, {}};
        view.centres = {1.0, 0.0, 10.0, 0.0, 20.0, 0.0, std::nan(""), std::nan("")};
        // Genes 0 to 3 are the clusters' members; 4 to 7 are the genes assigned below.
        add("A", {0.0, 0.0});
        add("B", {2.0, 0.0});
        add("C", {10.0, 0.0});
        add("A", {20.0, 0.0});
        add("A", {0.0, 0.0});
        add("D", {5.5, 0.0});
        add("A", {19.0, 0.0});
        add("C", {10.0, 3.0});
    }
    void add(const std::string& name, std::vector<double> values) {
        organism.identifiers.push_back(name);
        organism.annotations.push_back("");
        organism.expression.appendRow(values.data());
    }
};

TEST(AssignmentTable, ClusterByRowAndNearestCentreForEveryGene) {
    const SnapshotFixture f;
    const std::vector<GeneAssignment> assignments = assignGenes(f.organism, f.view);
    ASSERT_EQ(assignments.size(), 8u) << "one assignment per gene, duplicates included";

    EXPECT_EQ(assignments[0].cluster, 0);
    EXPECT_EQ(assignments[3].cluster, 2) << "a row sharing its identifier with a row of cluster 0 is in its own";
    EXPECT_EQ(assignments[4].cluster, -1) << "a row in no cluster is scatter, whatever rows share its identifier";
    EXPECT_EQ(assignments[4].nearestCluster, 0);
    EXPECT_EQ(assignments[4].nearestDistance, 1.0);
    EXPECT_EQ(assignments[5].cluster, -1) << "a name in no cluster is scatter";
    EXPECT_EQ(assignments[5].nearestCluster, 0) << "4.5 from the first two centres: the tie goes to the first";
    EXPECT_EQ(assignments[5].nearestDistance, 4.5);
    EXPECT_EQ(assignments[6].cluster, -1);
    EXPECT_EQ(assignments[6].nearestCluster, 2) << "the nearest centre is the gene's own, by its values";
    EXPECT_EQ(assignments[6].nearestDistance, 1.0);
    EXPECT_EQ(assignments[7].cluster, -1);
    EXPECT_EQ(assignments[7].nearestCluster, 1);
    EXPECT_EQ(assignments[7].nearestDistance, 3.0);
    for (const GeneAssignment& assignment : assignments) {
        EXPECT_NE(assignment.nearestCluster, 3) << "a cluster without genes is nobody's nearest";
    }
}

TEST(AssignmentTable, OneLinePerGeneWithClusterOrScatterAndTheNearestCentre) {
    const SnapshotFixture f;
    const std::string path = testing::TempDir() + "assignment_table_test.tsv";
    {
        AtomicOutputFile out(path);
        writeAssignmentTable(out, f.organism, f.view);
        const Status committed = out.commit();
        ASSERT_TRUE(committed) << committed.error().message;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    EXPECT_EQ(text,
              "identifier\tannotation\tcluster\tnearest_cluster\tdistance_to_nearest\n"
              "A\t\t0\t0\t1\nB\t\t0\t0\t1\nC\t\t1\t1\t0\nA\t\t2\t2\t0\n"
              "A\t\tscatter\t0\t1\nD\t\tscatter\t0\t4.5\nA\t\tscatter\t2\t1\nC\t\tscatter\t1\t3\n");
}

TEST(RunRecordText, AFailedRunShowsItsErrorAndWhatItReached) {
    RunRecord record;
    record.inputs.parameterFile = "p.txt";
    std::string text = renderRunRecord(record, std::string_view("Cannot open p.txt"));
    EXPECT_NE(text.find("\"status\": \"failed\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"error\": \"Cannot open p.txt\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"parameters\": null"), std::string::npos) << "the file was never read: " << text;
    EXPECT_NE(text.find("\"best\": null"), std::string::npos) << text;
    EXPECT_EQ(record.path(), "") << "without parameters there is nowhere to write the record";

    record.inputs.parameters = settingsFromTable(parseParameterText("runRecordFile = out/r.json\nk = 4\n"));
    record.best = RunRecord::Best{2, -10.5, 42.0};
    AttemptRecord attempt;
    attempt.rejectionReason = "a gene without a nearest mean";
    record.attempts.push_back(attempt);
    text = renderRunRecord(record, std::nullopt);
    EXPECT_NE(text.find("\"status\": \"completed\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"k\": 4"), std::string::npos) << "the settings are echoed: " << text;
    EXPECT_NE(text.find("\"rejectionReason\": \"a gene without a nearest mean\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"maximumLikelihood\": -10.5"), std::string::npos) << text;
    EXPECT_EQ(record.path(), "out/r.json");
}

TEST(RunRecordText, AnInterruptedRunSaysSoAndAnUncheckedPathGetsNoRecord) {
    const std::string path = testing::TempDir() + "run_record_test_record.json";
    std::remove(path.c_str());
    RunRecord record;
    record.inputs.parameters = settingsFromTable(parseParameterText("runRecordFile = " + path + "\n"));
    writeFailedRunRecord(record, "The key runRecordFile names the parameter file");
    EXPECT_FALSE(std::ifstream(path).good()) << "a path not yet checked against the inputs is never written";

    record.outputPathsChecked = true;
    record.interruptedBy = 15;
    writeFailedRunRecord(record, "Interrupted by SIGTERM");
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    EXPECT_NE(text.find("\"status\": \"interrupted\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"error\": \"Interrupted by SIGTERM\""), std::string::npos) << text;
}

TEST(RunRecordPhase, TheFirstPhaseWithoutATimeIsTheOneUnderWay) {
    RunRecord record;
    EXPECT_EQ(record.phaseInProgress(), "reading the parameter file");
    record.inputs.parameters = settingsFromTable(parseParameterText("prep = yes\n"));
    EXPECT_EQ(record.phaseInProgress(), "reading the expression data");
    record.readingSeconds = 0.5;
    EXPECT_EQ(record.phaseInProgress(), "reading the annotation and ortholog files");
    record.annotationSeconds = 0.1;
    EXPECT_EQ(record.phaseInProgress(), "preprocessing");
    record.inputs.parameters->prep = false;
    EXPECT_EQ(record.phaseInProgress(), "running the repetitions") << "without prep there is no preprocessing phase";
    record.repetitionsSeconds = 3.0;
    EXPECT_EQ(record.phaseInProgress(), "writing the result files");
}

// A fit of kValues 2 and 3 whose k = 3 is kept, with one attempt per k.
FitOutcome sweptOutcome() {
    FitOutcome outcome;
    outcome.sweep = true;
    outcome.humanGenesKept = 30;
    outcome.orthologPairsPresent = 12;
    outcome.repetitionsSeconds = 2.0;
    for (const std::int32_t k : {2, 3}) {
        KRun& run = outcome.runs.emplace_back();
        run.k = k;
        run.attempts.emplace_back().k = k;
        RepetitionOutcome kept;
        kept.bestRepetition = k - 2;
        kept.bestLogLikelihood = -10.0 * k;
        kept.bic = 100.0 - k;
        run.outcome = std::move(kept);
        ModelSelectionRow& row = outcome.modelSelection.emplace_back();
        row.k = k;
        row.selected = k == 3;
    }
    outcome.chosen = 1;
    return outcome;
}

TEST(RunRecordBuilder, TheFitGivesCountsAttemptsBestAndForASweepItsRows) {
    RunRecordBuilder builder("p.txt", RunClock{});
    builder.settingsRead(settingsFromTable(parseParameterText("kValues = 2, 3\nseed = 9\n")), 9);
    const FitOutcome swept = sweptOutcome();
    builder.fitted(swept);
    const RunRecord& record = builder.record();
    EXPECT_EQ(record.inputs.parameterFile, "p.txt");
    EXPECT_FALSE(record.inputs.seedFromClock);
    EXPECT_EQ(record.inputs.humanGenesKept, 30u);
    EXPECT_EQ(record.inputs.orthologPairsPresent, 12u);
    EXPECT_EQ(record.repetitionsSeconds, 2.0);
    ASSERT_EQ(record.attempts.size(), 2u) << "the attempts of every k, in the order run";
    EXPECT_EQ(record.attempts[0].k, 2);
    EXPECT_EQ(record.attempts[1].k, 3);
    ASSERT_TRUE(record.best.has_value());
    EXPECT_EQ(record.best->k, 3) << "the kept k, not the last one";
    EXPECT_EQ(record.best->maximumLikelihood, -30.0);
    EXPECT_EQ(record.modelSelection.size(), 2u);
    const std::string text = renderRunRecord(builder.completed({"a.txt", "b.txt"}), std::nullopt);
    EXPECT_NE(text.find("\"modelSelection\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"resultFiles\": [\n    \"a.txt\""), std::string::npos) << text;
    EXPECT_TRUE(builder.record().resultFiles.empty()) << "files are listed as committed only once they are";

    FitOutcome single = sweptOutcome();
    single.sweep = false;
    RunRecordBuilder singleBuilder("p.txt", RunClock{});
    singleBuilder.fitted(single);
    EXPECT_TRUE(singleBuilder.record().modelSelection.empty()) << "a run of one k shows no model selection";

    FitOutcome failed = sweptOutcome();
    failed.chosen.reset();
    failed.error = Error{"No k of kValues gave a result"};
    RunRecordBuilder failedBuilder("p.txt", RunClock{});
    failedBuilder.fitted(failed);
    EXPECT_FALSE(failedBuilder.record().best.has_value());
    EXPECT_EQ(failedBuilder.record().attempts.size(), 2u) << "a failed fit still shows what it tried";
}

TEST(RunRecordText, TheCorrespondenceNamesTheTestsTheVerdictAndEachClustersPartners) {
    PairCounts counts;
    counts.reset(2, 2);
    counts.at(0, 0) = 30;
    counts.at(1, 1) = 30;
    counts.at(0, 1) = 1;
    RunRecord record;
    record.correspondence = assessPairSignificance(counts);
    const std::string text = renderRunRecord(record, std::nullopt);
    EXPECT_NE(text.find("\"pairsInClusters\": 61"), std::string::npos) << text;
    EXPECT_NE(text.find("\"degreesOfFreedom\": 1"), std::string::npos) << text;
    EXPECT_NE(text.find("\"evidence\": \"strong evidence that the clusterings correspond\""), std::string::npos)
        << text;
    // Human cluster 0's only partner is mouse cluster 0: the cell (0, 1) is below chance.
    const std::size_t human = text.find("\"humanPartners\"");
    const std::size_t mouse = text.find("\"mousePartners\"");
    ASSERT_NE(human, std::string::npos);
    ASSERT_NE(mouse, std::string::npos);
    const std::string humanPart = text.substr(human, mouse - human);
    EXPECT_NE(humanPart.find("\"mouseCluster\": 0,\n            \"pairs\": 30"), std::string::npos) << humanPart;
    EXPECT_EQ(humanPart.find("\"pairs\": 1,"), std::string::npos) << "a cell below chance is no partner";
    EXPECT_NE(text.substr(mouse).find("\"humanCluster\": 1,\n            \"pairs\": 30"), std::string::npos) << text;

    record.correspondence.reset();
    EXPECT_NE(renderRunRecord(record, std::nullopt).find("\"correspondence\": null"), std::string::npos)
        << "a run without a result has nothing to correspond";
}

TEST(IsoUtcTime, SecondsSinceTheEpochInUtc) {
    EXPECT_EQ(isoUtcTime(std::chrono::system_clock::from_time_t(0)), "1970-01-01T00:00:00Z");
    EXPECT_EQ(isoUtcTime(std::chrono::system_clock::from_time_t(4294967295)), "2106-02-07T06:28:15Z");
}

}  // namespace
}  // namespace orthomix
