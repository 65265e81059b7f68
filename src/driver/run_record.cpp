#include "driver/run_record.h"

#include <ctime>

#include "io/atomic_file.h"
#include "support/json_writer.h"

namespace orthomix {
namespace {

template <typename T>
void optionalMember(JsonWriter& json, std::string_view name, const std::optional<T>& value) {
    json.key(name);
    if (value) {
        json.value(*value);
    } else {
        json.null();
    }
}

void writeParameters(JsonWriter& json, const ParameterSetting& settings) {
    json.beginObject();
    for (const SettingDefinition& definition : kSettings) {
        json.key(definition.key);
        json.raw(settingAsJson(settings, definition));
    }
    json.endObject();
}

void writeGeneCounts(JsonWriter& json, const std::optional<std::size_t>& read,
                     const std::optional<std::size_t>& kept) {
    json.beginObject();
    optionalMember(json, "read", read);
    optionalMember(json, "kept", kept);
    json.endObject();
}

void writeAttempts(JsonWriter& json, const std::vector<AttemptRecord>& attempts) {
    json.beginArray();
    for (const AttemptRecord& attempt : attempts) {
        json.beginObject();
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
        json.member("logLikelihood", attempt.logLikelihood);
        json.member("humanSpread", attempt.humanSpread);
        json.member("mouseSpread", attempt.mouseSpread);
        json.member("scatterPairs", attempt.scatterPairs);
        json.member("seconds", attempt.seconds);
        json.endObject();
    }
    json.endArray();
}

}  // namespace

double RunRecord::secondsSinceStart() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

std::string RunRecord::phaseInProgress() const {
    // Each phase stores its time when it ends, so the first missing one is under way.
    if (!parameters) return "reading the parameter file";
    if (!readingSeconds) return "reading the expression data";
    if (!annotationSeconds) return "reading the annotation and ortholog files";
    if (parameters->prep && !preprocessingSeconds) return "preprocessing";
    if (!repetitionsSeconds) return "running the repetitions";
    return "writing the result files";
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
    optionalMember(json, "error", error);
    json.member("startTime", isoUtcTime(record.startTime));
    json.member("endTime", isoUtcTime(std::chrono::system_clock::now()));
    json.member("wallSeconds", record.secondsSinceStart());

    json.key("phaseSeconds");
    json.beginObject();
    optionalMember(json, "reading", record.readingSeconds);
    optionalMember(json, "annotation", record.annotationSeconds);
    optionalMember(json, "preprocessing", record.preprocessingSeconds);
    optionalMember(json, "repetitions", record.repetitionsSeconds);
    optionalMember(json, "writing", record.writingSeconds);
    json.endObject();

    json.member("parameterFile", record.parameterFile);
    json.key("parameters");
    if (record.parameters) {
        writeParameters(json, *record.parameters);
    } else {
        json.null();
    }

    json.key("seed");
    json.beginObject();
    optionalMember(json, "value", record.seed);
    json.member("source", record.seedFromClock ? "clock" : "seed key");
    json.endObject();

    json.key("genes");
    json.beginObject();
    json.key("human");
    writeGeneCounts(json, record.humanGenesRead, record.humanGenesKept);
    json.key("mouse");
    writeGeneCounts(json, record.mouseGenesRead, record.mouseGenesKept);
    json.endObject();

    json.key("orthologs");
    json.beginObject();
    optionalMember(json, "entries", record.orthologEntries);
    optionalMember(json, "pairsWithBothGenesPresent", record.orthologPairsPresent);
    json.endObject();

    json.key("attempts");
    writeAttempts(json, record.attempts);

    json.key("best");
    if (record.best) {
        json.beginObject();
        json.member("repetition", record.best->repetition);
        json.member("maximumLikelihood", record.best->maximumLikelihood);
        json.member("bic", record.best->bic);
        json.member("bicDirection", "lower is better");
        json.endObject();
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
