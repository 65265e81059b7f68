// The report page in memory: the embedded files, the markers, text that
// could end a script early, and the data the charts draw.
#include "driver/results/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "driver/results/report_assets.h"
#include "driver/driver_test_data.h"

namespace orthomix {
namespace {

using testing::addGene;
using testing::clusteringOf;

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

AttemptRecord attemptOf(std::int32_t k, std::int32_t repetition, bool accepted, std::vector<double> trace,
                        const char* reason = "") {
    AttemptRecord record;
    record.k = k;
    record.repetition = repetition;
    record.accepted = accepted;
    record.rejectionReason = reason;
    record.logLikelihoodByIteration = std::move(trace);
    return record;
}

// Two human clusters {H0, H1} and {H2} (H3 in none) over 2 columns; one mouse cluster {M0, M1} over 1.
struct ReportFixture {
    FitOutcome outcome;
    RunInputs inputs;
    RunClock clock;

    ReportFixture() {
        Dataset& data = outcome.data;
        addGene(data.human, "H0", {0.0, 0.0});
        addGene(data.human, "H1", {1.0, 2.0});
        addGene(data.human, "H2", {5.0, 5.0});
        addGene(data.human, "H3", {9.0, 9.0});
        addGene(data.mouse, "M0", {1.0});
        addGene(data.mouse, "M1", {3.0});
        data.human.sampleNames = {"</script><script>alert(1)</script>", "h2"};
        data.mouse.sampleNames = {"m1"};
        data.orthologs.pairs = {{0, 0}, {2, 1}, {3, 1}};
        RepetitionOutcome kept;
        AttemptResult& best = kept.best;
        best.human = clusteringOf({{0, 1}, {2}}, 4, 2);
        best.mouse = clusteringOf({{0, 1}}, 2, 1);
        best.pairTable.reset(2, 1);
        best.pairTable.cells = {0.5, 0.25};
        best.pairTable.scatterProbability = 0.25;
        best.iterations = 2;
        kept.bestRepetition = 1;
        kept.bestLogLikelihood = -4.0;
        kept.bic = 20.0;
        inputs.parameters = ParameterSetting{};
        inputs.parameters->k = 2;
        inputs.seed = 7;
        inputs.seedFromClock = false;
        KRun& other = outcome.runs.emplace_back();
        other.k = 3;
        other.attempts = {attemptOf(3, 0, true, {-1.0})};
        other.outcome = Error{"no result"};
        KRun& run = outcome.runs.emplace_back();
        run.k = 2;
        run.attempts = {attemptOf(2, 0, true, {-9.0, -5.0}), attemptOf(2, 1, false, {-8.0}, "a gene without a nearest mean"),
                        attemptOf(2, 1, true, {-7.0, -4.0})};
        run.outcome = std::move(kept);
        outcome.chosen = 1;
        outcome.modelSelection = {ModelSelectionRow{}, ModelSelectionRow{}};
    }
    ReportInput input() const { return ReportInput{inputs, clock, outcome}; }
};

TEST(ReportPage, EveryMarkerIsFilledOnceAndNoTextCanEndAScriptEarly) {
    for (const std::string_view marker : {kReportDataMarker, kVegaMarker, kVegaLiteMarker, kVegaEmbedMarker}) {
        EXPECT_EQ(occurrences(embedded::reportPage, marker), 1u) << marker;
    }
    for (const std::string_view library : {embedded::vegaJs, embedded::vegaLiteJs, embedded::vegaEmbedJs}) {
        EXPECT_GT(library.size(), 10000u);
        EXPECT_EQ(lowerCase(library).find("</script"), std::string::npos) << "a library would end its script element";
        EXPECT_EQ(library.find("<!--"), std::string::npos) << "a comment opener changes how a script is parsed";
    }

    const ReportFixture f;
    const std::string page = renderReport(f.input());
    for (const std::string_view marker : {kReportDataMarker, kVegaMarker, kVegaLiteMarker, kVegaEmbedMarker}) {
        EXPECT_EQ(page.find(marker), std::string::npos) << marker;
    }
    EXPECT_EQ(occurrences(lowerCase(page), "</script"), occurrences(lowerCase(embedded::reportPage), "</script"))
        << "a sample name with </script> stays inside the data";
    EXPECT_NE(page.find("\\u003c/script>\\u003cscript>alert(1)\\u003c/script>"), std::string::npos);
    EXPECT_NE(page.find(embedded::vegaEmbedJs), std::string::npos);
    EXPECT_EQ(occurrences(page, "<script"), occurrences(embedded::reportPage, "<script"));
}

TEST(ReportData, TheKeptKsRepetitionsPairTableAndProfiles) {
    const ReportFixture f;
    const std::string data = reportData(f.input());
    const auto expectPart = [&](const std::string& part) {
        EXPECT_NE(data.find(part), std::string::npos) << "missing " << part << " in\n" << data;
    };
    expectPart("\"seed\":{\"value\":7,\"source\":\"seed key\"}");
    expectPart("\"k\":2,\"repetitions\":{\"accepted\":2,\"rejected\":1,\"rejectionReasons\":[{\"reason\":"
               "\"a gene without a nearest mean\",\"attempts\":1}]}");
    expectPart("\"best\":{\"repetition\":1,\"logLikelihood\":-4,\"bic\":20,\"iterations\":2}");
    // Pairs (H0, M0) in cell (0, 0), (H2, M1) in (1, 0); H3 is in no cluster.
    // With one mouse cluster every pair lands in its column: p = q = 1, nothing is a partner.
    expectPart("\"pairTable\":{\"cells\":[[0,0,1,0.5,1,1,1,1],[1,0,1,0.25,1,1,1,1]],\"scatter\":{\"pairs\":1,"
               "\"probability\":0.25}}");
    expectPart("\"evidence\":\"no evidence that the clusterings correspond\"");
    expectPart("\"humanPartners\":[{\"humanCluster\":0,\"partners\":[]},{\"humanCluster\":1,\"partners\":[]}]");
    // Every gene for the search and the lists: identifier, annotation, cluster (-1: none), posterior.
    expectPart("\"geneTable\":{\"human\":[[\"H0\",\"\",0,null],[\"H1\",\"\",0,null],[\"H2\",\"\",1,null],"
               "[\"H3\",\"\",-1,null]],\"mouse\":[[\"M0\",\"\",0,null],[\"M1\",\"\",0,null]]}");
    expectPart("\"pairs\":[[0,0],[2,1],[3,1]]");
    expectPart("\"thresholds\":{\"human\":{\"CVThr\":0,\"maxExpr\":0},\"mouse\":{\"CVThr\":0,\"maxExpr\":0}}");
    // Human cluster 0 holds (0, 0) and (1, 2): means 0.5 and 1, standard deviations 0.5 and 1.
    expectPart("\"human\":{\"clusters\":[{\"genes\":2,\"mean\":[0.5,1],\"sd\":[0.5,1]},{\"genes\":1,\"mean\":[5,5],"
               "\"sd\":[0,0]}],\"scatterGenes\":1}");
    expectPart("\"traces\":[{\"repetition\":0,\"best\":false,\"logLikelihood\":[-9,-5]},{\"repetition\":1,"
               "\"best\":true,\"logLikelihood\":[-7,-4]}]");
    expectPart("\"modelSelection\":null");  // a run of one k has no model selection
    EXPECT_EQ(data.find("-8"), std::string::npos) << "the rejected attempt draws no line";
    EXPECT_EQ(data.find("\"logLikelihood\":[-1]"), std::string::npos) << "nor does another k";
}

TEST(ReportData, ASweepShowsEveryKItRan) {
    ReportFixture f;
    f.outcome.sweep = true;
    f.outcome.modelSelection[0].k = 3;
    f.outcome.modelSelection[1].k = 2;
    f.outcome.modelSelection[1].completed = true;
    f.outcome.modelSelection[1].bic = 20.0;
    f.outcome.modelSelection[1].selected = true;
    f.outcome.modelSelection[1].icl = 21.5;
    f.outcome.modelSelection[1].humanStability = 0.5;
    const std::string data = reportData(f.input());
    EXPECT_NE(data.find("\"modelSelection\":[{\"k\":3,\"logLikelihood\":null,\"bic\":null,\"selected\":false,"
                        "\"icl\":null,\"humanStability\":null,\"mouseStability\":null},"
                        "{\"k\":2,\"logLikelihood\":0,\"bic\":20,\"selected\":true,\"icl\":21.5,"
                        "\"humanStability\":0.5,\"mouseStability\":null}]"),
              std::string::npos)
        << data;
    EXPECT_NE(data.find("\"k\":2,\"repetitions\""), std::string::npos) << "the kept k, not the last one run";
}

}  // namespace
}  // namespace orthomix
