#include "driver/results/report.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "driver/results/report_assets.h"
#include "driver/results/result_assembly.h"
#include "io/atomic_file.h"
#include "support/json_writer.h"
#include "support/number_format.h"

namespace orthomix {
namespace {

// What the page says it was drawn with.
constexpr std::string_view kChartLibraryVersions = "Vega 6.4.0, Vega-Lite 6.5.0, vega-embed 7.3.0";

// Six significant digits, as in the result files: plenty for a chart, and a
// third of the size of a number that reads back exactly.
void displayNumber(JsonWriter& json, double value) {
    if (std::isfinite(value)) {
        json.raw(formatNumber(value));
    } else {
        json.null();
    }
}

void writeSampleNames(JsonWriter& json, const OrganismData& organism) {
    json.beginArray();
    for (const std::string& name : organism.sampleNames) json.value(name);
    json.endArray();
}

// Accepted repetitions and rejected attempts of the kept k, with how often each reason came up.
void writeRepetitions(JsonWriter& json, const std::vector<AttemptRecord>& attempts) {
    std::int32_t accepted = 0;
    std::int32_t rejected = 0;
    std::map<std::string, std::int32_t> reasons;
    for (const AttemptRecord& attempt : attempts) {
        if (attempt.accepted) {
            ++accepted;
        } else {
            ++rejected;
            ++reasons[attempt.rejectionReason];
        }
    }
    json.beginObject();
    json.member("accepted", accepted);
    json.member("rejected", rejected);
    json.key("rejectionReasons");
    json.beginArray();
    for (const auto& [reason, count] : reasons) {
        json.beginObject();
        json.member("reason", reason);
        json.member("attempts", count);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

// The log-likelihood after every iteration of each accepted repetition of the kept k.
void writeTraces(JsonWriter& json, const std::vector<AttemptRecord>& attempts, std::int32_t best) {
    json.beginArray();
    for (const AttemptRecord& attempt : attempts) {
        if (!attempt.accepted) continue;
        json.beginObject();
        json.member("repetition", attempt.repetition);
        json.member("best", attempt.repetition == best);
        json.key("logLikelihood");
        json.beginArray();
        for (const double value : attempt.logLikelihoodByIteration) json.value(value);
        json.endArray();
        json.endObject();
    }
    json.endArray();
}

// Rows of [human cluster, mouse cluster, pairs, fitted probability, expected
// pairs, observed / expected, p-value, q-value]; the scatter row apart.
void writePairTable(JsonWriter& json, const std::vector<PairTableRow>& rows) {
    json.key("cells");
    json.beginArray();
    for (const PairTableRow& row : rows) {
        if (row.humanCluster < 0) continue;
        json.beginArray();
        json.value(row.humanCluster);
        json.value(row.mouseCluster);
        json.value(row.pairs);
        displayNumber(json, row.fittedProbability);
        displayNumber(json, row.expectedPairs);
        displayNumber(json, row.observedOverExpected);
        displayNumber(json, row.pValue);
        displayNumber(json, row.qValue);
        json.endArray();
    }
    json.endArray();
    json.key("scatter");
    json.beginObject();
    for (const PairTableRow& row : rows) {
        if (row.humanCluster >= 0) continue;
        json.member("pairs", row.pairs);
        json.key("probability");
        displayNumber(json, row.fittedProbability);
    }
    json.endObject();
}

// Per cluster its genes, and the mean and standard deviation (over those
// genes) of every sample; then the genes in no cluster.
void writeProfiles(JsonWriter& json, const OrganismClustering& clustering, const OrganismData& organism) {
    const std::size_t clusters = clustering.clusters.count();
    const std::size_t columns = organism.expression.columns();
    std::vector<std::int64_t> genes(clusters + 1, 0);
    std::vector<double> sums(clusters * columns, 0.0);
    std::vector<double> squares(clusters * columns, 0.0);
    for (std::size_t g = 0; g < clustering.labels.size(); ++g) {
        const auto c = static_cast<std::size_t>(clustering.labels[g]);
        if (c >= clusters) {
            ++genes[clusters];
            continue;
        }
        ++genes[c];
        const double* values = organism.expression.row(g);
        for (std::size_t i = 0; i < columns; ++i) sums[c * columns + i] += values[i];
    }
    for (std::size_t g = 0; g < clustering.labels.size(); ++g) {
        const auto c = static_cast<std::size_t>(clustering.labels[g]);
        if (c >= clusters) continue;
        const double* values = organism.expression.row(g);
        const auto count = static_cast<double>(genes[c]);
        for (std::size_t i = 0; i < columns; ++i) {
            const double deviation = values[i] - sums[c * columns + i] / count;
            squares[c * columns + i] += deviation * deviation;
        }
    }
    json.beginObject();
    json.key("clusters");
    json.beginArray();
    for (std::size_t c = 0; c < clusters; ++c) {
        const auto count = static_cast<double>(genes[c]);
        json.beginObject();
        json.member("genes", genes[c]);
        json.key("mean");
        json.beginArray();
        for (std::size_t i = 0; i < columns; ++i) displayNumber(json, sums[c * columns + i] / count);
        json.endArray();
        json.key("sd");
        json.beginArray();
        for (std::size_t i = 0; i < columns; ++i) displayNumber(json, std::sqrt(squares[c * columns + i] / count));
        json.endArray();
        json.endObject();
    }
    json.endArray();
    json.member("scatterGenes", genes[clusters]);
    json.endObject();
}

void writeModelSelection(JsonWriter& json, const std::vector<ModelSelectionRow>& rows) {
    if (rows.empty()) {
        json.null();
        return;
    }
    json.beginArray();
    for (const ModelSelectionRow& row : rows) {
        json.beginObject();
        json.member("k", row.k);
        json.key("logLikelihood");
        row.completed ? json.value(row.logLikelihood) : json.null();
        json.key("bic");
        row.completed ? json.value(row.bic) : json.null();
        json.member("selected", row.selected);
        json.key("icl");
        row.completed ? json.value(row.icl) : json.null();
        json.member("humanStability", row.humanStability);
        json.member("mouseStability", row.mouseStability);
        json.endObject();
    }
    json.endArray();
}

// Every kept gene as [identifier, annotation, cluster (-1: none), posterior
// (null: none)], in gene order, for the search and the gene lists.
void writeGenes(JsonWriter& json, const OrganismClustering& clustering, const OrganismData& organism) {
    const auto clusters = static_cast<std::int32_t>(clustering.clusters.count());
    json.beginArray();
    for (std::size_t g = 0; g < organism.geneCount(); ++g) {
        const std::int32_t label = clustering.labels[g];
        json.beginArray();
        json.value(organism.identifiers[g]);
        json.value(organism.annotations[g]);
        json.value(label >= 0 && label < clusters ? label : -1);
        displayNumber(json, g < clustering.posteriors.size() ? clustering.posteriors[g]
                                                             : std::numeric_limits<double>::quiet_NaN());
        json.endArray();
    }
    json.endArray();
}

// The ortholog pairs with both genes kept, as [human gene, mouse gene] positions.
void writePairs(JsonWriter& json, const std::vector<OrthologPair>& pairs) {
    json.beginArray();
    for (const OrthologPair& pair : pairs) {
        json.beginArray();
        json.value(pair.human);
        json.value(pair.mouse);
        json.endArray();
    }
    json.endArray();
}

// The preprocessing thresholds that applied to one organism.
void writeThresholds(JsonWriter& json, const PreprocessingThresholds& thresholds) {
    json.beginObject();
    json.member("CVThr", thresholds.cv);
    json.member("maxExpr", thresholds.maxExpr);
    json.endObject();
}

// An object named `name` with a member per organism, "human" then "mouse",
// each written by write(true for human).
template <typename Write>
void writePerOrganism(JsonWriter& json, std::string_view name, const Write& write) {
    json.key(name);
    json.beginObject();
    json.key("human");
    write(true);
    json.key("mouse");
    write(false);
    json.endObject();
}

// Inside a script element the text "</script" would end it early; JSON may
// write "<" as \u003c anywhere it can stand.
std::string safeInScript(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (const char c : json) {
        if (c == '<') {
            out += "\\u003c";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string reportData(const ReportInput& input) {
    const FitOutcome& outcome = input.outcome;
    const Dataset& data = outcome.data;
    const KRun& kept = outcome.keptRun();
    const RepetitionOutcome& best = outcome.kept();
    JsonWriter json(JsonWriter::Layout::Compact);
    json.beginObject();
    json.member("tool", "orthomix");
    json.member("version", ORTHOMIX_VERSION);
    json.member("charts", kChartLibraryVersions);
    json.member("startTime", isoUtcTime(input.clock.startTime));
    json.member("seconds", input.clock.secondsSinceStart());
    writeRunInputs(json, input.inputs);
    json.key("samples");
    json.beginObject();
    json.key("human");
    writeSampleNames(json, data.human);
    json.key("mouse");
    writeSampleNames(json, data.mouse);
    json.endObject();

    json.member("k", kept.k);
    json.key("repetitions");
    writeRepetitions(json, kept.attempts);
    json.key("best");
    json.beginObject();
    json.member("repetition", best.bestRepetition);
    json.member("logLikelihood", best.bestLogLikelihood);
    json.member("bic", best.bic);
    json.member("iterations", best.best.iterations);
    json.endObject();

    json.key("pairTable");
    json.beginObject();
    writePairTable(json, pairTableRows(data, best.best));
    json.endObject();
    json.key("correspondence");
    writeCorrespondence(json, pairSignificance(data, best.best));
    writePerOrganism(json, "geneTable", [&](bool human) {
        writeGenes(json, human ? best.best.human : best.best.mouse, human ? data.human : data.mouse);
    });
    json.key("pairs");
    writePairs(json, data.orthologs.pairs);
    if (input.inputs.parameters) {
        const ParameterSetting& settings = *input.inputs.parameters;
        writePerOrganism(json, "thresholds", [&](bool human) {
            writeThresholds(json, human ? humanThresholds(settings) : mouseThresholds(settings));
        });
    }
    writePerOrganism(json, "profiles", [&](bool human) {
        writeProfiles(json, human ? best.best.human : best.best.mouse, human ? data.human : data.mouse);
    });
    json.key("traces");
    writeTraces(json, kept.attempts, best.bestRepetition);
    json.key("modelSelection");
    // A run of one k has no model selection to show.
    writeModelSelection(json, outcome.sweep ? outcome.modelSelection : std::vector<ModelSelectionRow>{});
    json.endObject();
    return json.text();
}

std::string renderReport(const ReportInput& input) {
    const std::string data = safeInScript(reportData(input));
    const std::pair<std::string_view, std::string_view> fills[] = {
        {kVegaMarker, embedded::vegaJs},
        {kVegaLiteMarker, embedded::vegaLiteJs},
        {kVegaEmbedMarker, embedded::vegaEmbedJs},
        {kReportDataMarker, data},
    };
    std::string page(embedded::reportPage);
    // Filled last to first in the page, so that no filled text is searched again.
    std::vector<std::pair<std::size_t, const std::pair<std::string_view, std::string_view>*>> places;
    for (const auto& fill : fills) places.emplace_back(page.find(fill.first), &fill);
    std::sort(places.begin(), places.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [position, fill] : places) {
        if (position != std::string::npos) page.replace(position, fill->first.size(), fill->second);
    }
    return page;
}

void writeReport(AtomicOutputFile& out, const ReportInput& input) { out.write(renderReport(input)); }

}  // namespace orthomix
