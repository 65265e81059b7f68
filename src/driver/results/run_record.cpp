#include "driver/results/run_record.h"

#include <ctime>

#include "driver/results/result_assembly.h"
#include "io/atomic_file.h"
#include "support/json_writer.h"

namespace orthomix {
namespace {

void writeGeneCounts(JsonWriter& json, const std::optional<std::size_t>& read,
                     const std::optional<std::size_t>& kept) {
    json.beginObject();
    json.member("read", read);
    json.member("kept", kept);
    json.endObject();
}

void writeAttempts(JsonWriter& json, const std::vector<AttemptRecord>& attempts, bool sweep) {
    json.beginArray();
    for (const AttemptRecord& attempt : attempts) {
        json.beginObject();
        if (sweep) json.member("k", attempt.k);
        json.member("repetition", attempt.repetition);
        json.member("attempt", attempt.attempt);
        json.member("accepted", attempt.accepted);
        json.key("rejectionReason");
        if (attempt.accepted || attempt.rejectionReason.empty()) {
            json.null();
        } else {
            json.value(attempt.rejectionReason);
        }
        json.member("iterations", attempt.iterations);
        json.member("reachedIterationCap", attempt.reachedIterationCap);
        json.member("logLikelihood", attempt.logLikelihood);
        json.member("humanSpread", attempt.humanSpread);
        json.member("mouseSpread", attempt.mouseSpread);
        json.member("scatterPairs", attempt.scatterPairs);
        json.member("seconds", attempt.seconds);
        json.endObject();
    }
    json.endArray();
}

void writeModelSelection(JsonWriter& json, const std::vector<ModelSelectionRow>& rows) {
    json.beginArray();
    for (const ModelSelectionRow& row : rows) {
        json.beginObject();
        json.member("k", row.k);
        json.member("completed", row.completed);
        json.member("repetitionsAccepted", row.repetitionsAccepted);
        json.member("attemptsRejected", row.attemptsRejected);
        json.member("logLikelihood", row.completed ? std::optional(row.logLikelihood) : std::nullopt);
        json.member("parameters", row.parameters);
        json.member("bic", row.completed ? std::optional(row.bic) : std::nullopt);
        json.member("iterations", row.iterations);
        json.member("seconds", row.seconds);
        json.member("selected", row.selected);
        json.member("icl", row.completed ? std::optional(row.icl) : std::nullopt);
        json.member("iclDirection", "lower is better");
        json.key("stability");
        json.beginObject();
        json.member("human", row.humanStability);
        json.member("mouse", row.mouseStability);
        json.endObject();
        json.endObject();
    }
    json.endArray();
}

void writeAssociationTest(JsonWriter& json, const AssociationTest& test) {
    json.beginObject();
    json.member("statistic", test.statistic);
    json.member("degreesOfFreedom", test.degreesOfFreedom);
    json.member("pValue", test.pValue);
    json.endObject();
}

void writePartners(JsonWriter& json, const std::vector<std::vector<Partner>>& partners, std::string_view of,
                   std::string_view partner) {
    json.beginArray();
    for (std::size_t cluster = 0; cluster < partners.size(); ++cluster) {
        json.beginObject();
        json.member(of, cluster);
        json.key("partners");
        json.beginArray();
        for (const Partner& p : partners[cluster]) {
            json.beginObject();
            json.member(partner, p.cluster);
            json.member("pairs", p.observed);
            json.member("observedOverExpected", p.enrichment);
            json.member("qValue", p.qValue);
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();
}

}  // namespace

void writeCorrespondence(JsonWriter& json, const PairSignificance& significance) {
    json.beginObject();
    json.member("pairsInClusters", significance.pairs);
    json.key("chiSquare");
    writeAssociationTest(json, significance.chiSquare);
    json.key("gTest");
    writeAssociationTest(json, significance.gTest);
    json.member("evidence", correspondenceSentence(significance.evidence));
    json.member("partnerQValueBelow", kPartnerQValue);
    json.key("humanPartners");
    writePartners(json, significance.humanPartners, "humanCluster", "mouseCluster");
    json.key("mousePartners");
    writePartners(json, significance.mousePartners, "mouseCluster", "humanCluster");
    json.endObject();
}

void writeSettingsObject(JsonWriter& json, const ParameterSetting& settings) {
    json.beginObject();
    for (const SettingDefinition& definition : kSettings) {
        json.key(definition.key);
        json.raw(settingAsJson(settings, definition));
    }
    json.endObject();
}

void writeRunInputs(JsonWriter& json, const RunInputs& inputs) {
    json.member("parameterFile", inputs.parameterFile);
    json.key("parameters");
    if (inputs.parameters) {
        writeSettingsObject(json, *inputs.parameters);
    } else {
        json.null();
    }

    json.key("seed");
    json.beginObject();
    json.member("value", inputs.seed);
    json.member("source", inputs.seedFromClock ? "clock" : "seed key");
    json.endObject();

    json.key("genes");
    json.beginObject();
    json.key("human");
    writeGeneCounts(json, inputs.humanGenesRead, inputs.humanGenesKept);
    json.key("mouse");
    writeGeneCounts(json, inputs.mouseGenesRead, inputs.mouseGenesKept);
    if (inputs.humanIncompleteGenesDropped || inputs.mouseIncompleteGenesDropped) {
        json.key("droppedForMissingValues");
        json.beginObject();
        json.member("human", inputs.humanIncompleteGenesDropped);
        json.member("mouse", inputs.mouseIncompleteGenesDropped);
        json.endObject();
    }
    json.endObject();

    json.key("orthologs");
    json.beginObject();
    json.member("entries", inputs.orthologEntries);
    json.member("pairsWithBothGenesPresent", inputs.orthologPairsPresent);
    json.endObject();
}

std::string RunRecord::phaseInProgress() const {
    // Each phase stores its time when it ends, so the first missing one is under way.
    if (!inputs.parameters) return "reading the parameter file";
    if (!readingSeconds) return "reading the expression data";
    if (!annotationSeconds) return "reading the annotation and ortholog files";
    if (inputs.parameters->prep && !preprocessingSeconds) return "preprocessing";
    if (!repetitionsSeconds) return "running the repetitions";
    return "writing the result files";
}

RunRecordBuilder::RunRecordBuilder(std::string parameterFile, RunClock clock) {
    record_.clock = clock;
    record_.inputs.parameterFile = std::move(parameterFile);
}

void RunRecordBuilder::settingsRead(const ParameterSetting& settings, std::uint32_t seed) {
    record_.inputs.parameters = settings;
    record_.inputs.seed = seed;
    record_.inputs.seedFromClock = !settings.seed;
}

void RunRecordBuilder::expressionRead(double seconds, const InputFiles* inputs) {
    record_.readingSeconds = seconds;
    if (!inputs) return;
    record_.inputs.humanGenesRead = inputs->human.geneCount();
    record_.inputs.mouseGenesRead = inputs->mouse.geneCount();
    record_.inputs.humanIncompleteGenesDropped = inputs->humanIncompleteGenesDropped;
    record_.inputs.mouseIncompleteGenesDropped = inputs->mouseIncompleteGenesDropped;
}

void RunRecordBuilder::fitted(const FitOutcome& outcome) {
    record_.preprocessingSeconds = outcome.preprocessingSeconds;
    record_.repetitionsSeconds = outcome.repetitionsSeconds;
    record_.inputs.humanGenesKept = outcome.humanGenesKept;
    record_.inputs.mouseGenesKept = outcome.mouseGenesKept;
    record_.inputs.orthologEntries = outcome.orthologEntries;
    record_.inputs.orthologPairsPresent = outcome.orthologPairsPresent;
    record_.attempts = outcome.allAttempts();
    if (outcome.sweep) record_.modelSelection = outcome.modelSelection;
    if (outcome.succeeded()) {
        const RepetitionOutcome& kept = outcome.kept();
        const ModelSelectionRow& row = outcome.modelSelection.at(*outcome.chosen);
        record_.best = RunRecord::Best{kept.bestRepetition, kept.bestLogLikelihood, kept.bic, outcome.keptRun().k,
                                       row.icl, row.humanStability, row.mouseStability};
        record_.correspondence = pairSignificance(outcome.data, kept.best);
    }
}

RunRecord RunRecordBuilder::completed(std::vector<std::string> resultFiles) const {
    RunRecord record = record_;
    record.resultFiles = std::move(resultFiles);
    return record;
}

std::string isoUtcTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, length);
}

std::string renderRunRecord(const RunRecord& record, std::optional<std::string_view> error) {
    JsonWriter json;
    json.beginObject();
    json.member("tool", "orthomix");
    json.member("version", ORTHOMIX_VERSION);
    json.member("status", !error ? "completed" : record.interruptedBy != 0 ? "interrupted" : "failed");
    json.member("error", error);
    json.member("startTime", isoUtcTime(record.clock.startTime));
    json.member("endTime", isoUtcTime(std::chrono::system_clock::now()));
    json.member("wallSeconds", record.clock.secondsSinceStart());

    json.key("phaseSeconds");
    json.beginObject();
    json.member("reading", record.readingSeconds);
    json.member("annotation", record.annotationSeconds);
    json.member("preprocessing", record.preprocessingSeconds);
    json.member("repetitions", record.repetitionsSeconds);
    json.member("writing", record.writingSeconds);
    json.endObject();

    writeRunInputs(json, record.inputs);
    json.key("inputChecksums");
    if (record.inputChecksums) {
        json.beginObject();
        for (const InputChecksum& input : *record.inputChecksums) json.member(input.key, input.checksum);
        json.endObject();
    } else {
        json.null();
    }

    const bool sweep = !record.modelSelection.empty();
    json.key("attempts");
    writeAttempts(json, record.attempts, sweep);
    if (sweep) {
        json.key("modelSelection");
        writeModelSelection(json, record.modelSelection);
    }

    json.key("best");
    if (record.best) {
        json.beginObject();
        if (sweep) json.member("k", record.best->k);
        json.member("repetition", record.best->repetition);
        json.member("maximumLikelihood", record.best->maximumLikelihood);
        json.member("bic", record.best->bic);
        json.member("bicDirection", "lower is better");
        json.member("icl", record.best->icl);
        json.key("stability");
        json.beginObject();
        json.member("human", record.best->humanStability);
        json.member("mouse", record.best->mouseStability);
        json.endObject();
        json.endObject();
    } else {
        json.null();
    }

    json.key("correspondence");
    if (record.correspondence) {
        writeCorrespondence(json, *record.correspondence);
    } else {
        json.null();
    }

    json.key("resultFiles");
    json.beginArray();
    for (const std::string& path : record.resultFiles) json.value(path);
    json.endArray();
    json.endObject();
    return json.text();
}

void writeFailedRunRecord(const RunRecord& record, std::string_view error) noexcept {
    if (record.path().empty() || !record.outputPathsChecked) return;
    try {
        // The run may have stopped before it created the output folders.
        if (!prepareOutputLocation(record.path())) return;
        (void)writeFileAtomically(record.path(), renderRunRecord(record, error));
    } catch (...) {
    }
}

}  // namespace orthomix
