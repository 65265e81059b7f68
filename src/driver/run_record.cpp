#include "driver/run_record.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "driver/joint_cluster_model.h"
#include "io/atomic_file.h"
#include "io/json_writer.h"

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

void writeParameters(JsonWriter& json, const ParameterSetting& p) {
    json.beginObject();
    json.member("prep", p.prep);
    json.member("dataFile_hm", p.dataFile_hm);
    json.member("dataFile_ms", p.dataFile_ms);
    json.member("annotFile_hm", p.annotFile_hm);
    json.member("annotFile_ms", p.annotFile_ms);
    json.member("orthologFile", p.orthologFile);
    json.member("outputFile_hm", p.outputFile_hm);
    json.member("outputFile_ms", p.outputFile_ms);
    json.member("k_by_k_output_clusters", p.k_by_k_output_clusters);
    json.member("gene_pair_result", p.gene_pair_result);
    json.member("CVThr", p.CVThr);
    json.member("maxExpr", p.maxExpr);
    json.member("k", p.k);
    json.member("kmeansMaxIterations", p.kmeansMaxIterations);
    json.member("nMaxAlgRun", p.nMaxAlgRun);
    json.member("stoppingThr", p.stoppingThr);
    json.member("psudo_uniform_counts", p.psudo_uniform_counts);
    json.member("fastDensity", p.fastDensity);
    optionalMember(json, "seed", p.hasSeed ? std::optional<std::uint32_t>(p.seed) : std::nullopt);
    json.member("runRecordFile", p.runRecordFile);
    json.member("assignmentFile_hm", p.assignmentFile_hm);
    json.member("assignmentFile_ms", p.assignmentFile_ms);
    json.member("verbose", p.verbose);
    json.endObject();
}

void writeGeneCounts(JsonWriter& json, const std::optional<std::size_t>& read,
                     const std::optional<std::size_t>& kept) {
    json.beginObject();
    optionalMember(json, "read", read);
    optionalMember(json, "kept", kept);
    json.endObject();
}

void writeAttempts(JsonWriter& json, const std::vector<RepetitionAttempt>& attempts) {
    json.beginArray();
    for (const RepetitionAttempt& attempt : attempts) {
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

// Temporary file and rename, as AtomicOutputFile, but reporting failure instead of ending the process.
bool writeFileQuietly(const std::string& path, const std::string& text) {
    const std::string temporaryPath = path + ".tmp" + std::to_string(::getpid());
    std::FILE* file = std::fopen(temporaryPath.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (written && closed && std::rename(temporaryPath.c_str(), path.c_str()) == 0) return true;
    std::remove(temporaryPath.c_str());
    return false;
}

}  // namespace

double RunRecord::secondsSinceStart() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

std::string isoUtcTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, length);
}

std::string renderRunRecord(const JointClusterModel& model, std::optional<std::string_view> error) {
    const RunRecord& record = model.runRecord;
    JsonWriter json;
    json.beginObject();
    json.member("tool", "orthomix");
    json.member("version", ORTHOMIX_VERSION);
    json.member("status", error ? "failed" : "completed");
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

    json.member("parameterFile", model.parameterFilePath);
    json.key("parameters");
    writeParameters(json, model.parameters);

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
    writeAttempts(json, model.attempts);

    json.key("best");
    if (record.repetitionsSeconds && model.bestRepetition >= 0) {
        json.beginObject();
        json.member("repetition", model.bestRepetition);
        json.member("maximumLikelihood", model.bestLogLikelihood);
        json.member("bic", model.bic);
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

void writeRunRecord(const JointClusterModel& model) {
    AtomicOutputFile out(model.parameters.runRecordFile);
    out.write(renderRunRecord(model, std::nullopt));
    out.commit();
}

bool writeFailedRunRecord(const JointClusterModel& model, std::string_view error) noexcept {
    if (model.parameters.runRecordFile.empty()) return false;
    try {
        return writeFileQuietly(model.parameters.runRecordFile, renderRunRecord(model, error));
    } catch (...) {
        return false;
    }
}

}  // namespace orthomix
