#include "driver/merge/single_k_record.h"

#include <cmath>
#include <limits>

#include "io/tab_separated_text.h"

namespace orthomix {
namespace {

// Reads members of one JSON object; the first problem is kept and names the
// record and the member.
class MemberReader {
public:
    MemberReader(const JsonValue& object, std::string path, std::string where)
        : object_(object), path_(std::move(path)), where_(std::move(where)) {}

    const JsonValue* get(const std::string& name, JsonValue::Kind kind) {
        const JsonValue* value = object_.find(name);
        if (!value || value->kind != kind) {
            fail(name);
            return nullptr;
        }
        return value;
    }

    std::string text(const std::string& name) {
        const JsonValue* value = get(name, JsonValue::Kind::String);
        return value ? value->text : std::string();
    }

    bool flag(const std::string& name) {
        const JsonValue* value = get(name, JsonValue::Kind::Bool);
        return value && value->flag;
    }

    // A number the writer gives as null when it is not finite.
    double real(const std::string& name) {
        const JsonValue* value = object_.find(name);
        if (value && value->isNull()) return std::numeric_limits<double>::quiet_NaN();
        value = get(name, JsonValue::Kind::Number);
        return value ? value->number : 0.0;
    }

    template <typename Whole>
    Whole whole(const std::string& name) {
        const JsonValue* value = get(name, JsonValue::Kind::Number);
        if (!value) return 0;
        const double number = value->number;
        if (number != std::floor(number) || number < static_cast<double>(std::numeric_limits<Whole>::min()) ||
            number > static_cast<double>(std::numeric_limits<Whole>::max())) {
            fail(name);
            return 0;
        }
        return static_cast<Whole>(number);
    }

    std::optional<Error> problem() const { return problem_; }

private:
    void fail(const std::string& name) {
        if (problem_) return;
        problem_ = Error{path_ + ": not a run record of orthomix: " + where_ + name + " is missing or malformed"};
    }

    const JsonValue& object_;
    std::string path_;
    std::string where_;
    std::optional<Error> problem_;
};

Result<AttemptRecord> readAttempt(const JsonValue& item, const std::string& path, std::int32_t k, std::size_t index) {
    MemberReader read(item, path, "attempts[" + std::to_string(index) + "].");
    AttemptRecord attempt;
    attempt.k = k;
    attempt.repetition = read.whole<std::int32_t>("repetition");
    attempt.attempt = read.whole<std::int32_t>("attempt");
    attempt.accepted = read.flag("accepted");
    const JsonValue* reason = item.find("rejectionReason");
    if (reason && reason->kind == JsonValue::Kind::String) attempt.rejectionReason = reason->text;
    attempt.iterations = read.whole<int>("iterations");
    attempt.logLikelihood = read.real("logLikelihood");
    attempt.humanSpread = read.real("humanSpread");
    attempt.mouseSpread = read.real("mouseSpread");
    attempt.scatterPairs = read.whole<std::size_t>("scatterPairs");
    attempt.seconds = read.real("seconds");
    if (const auto problem = read.problem()) return *problem;
    return attempt;
}

Result<std::vector<InputChecksum>> readChecksums(const JsonValue& record, const std::string& path) {
    const JsonValue* object = record.find("inputChecksums");
    if (!object || object->kind != JsonValue::Kind::Object) {
        return Error{path + ": the record lists no input checksums; rerun that k with this version of orthomix"};
    }
    std::vector<InputChecksum> checksums;
    for (const auto& [key, value] : object->members) {
        if (value.kind != JsonValue::Kind::String && !value.isNull()) {
            return Error{path + ": not a run record of orthomix: inputChecksums." + key + " is malformed"};
        }
        checksums.push_back(InputChecksum{key, value.isNull() ? std::nullopt : std::optional(value.text)});
    }
    return checksums;
}

// The k of a run of one k; the record of a kValues run is refused.
Result<std::int32_t> singleK(const JsonValue& parameters, const std::string& path) {
    const JsonValue* kValues = parameters.find("kValues");
    if (kValues && kValues->kind == JsonValue::Kind::Array && !kValues->items.empty()) {
        return Error{path + ": the record of a kValues run; merge takes the records of runs of one k each"};
    }
    MemberReader read(parameters, path, "parameters.");
    const std::int32_t k = read.whole<std::int32_t>("k");
    if (const auto problem = read.problem()) return *problem;
    return k;
}

}  // namespace

Result<SingleKRecord> parseSingleKRecord(const std::string& text, const std::string& path) {
    Result<JsonValue> parsed = parseJson(text);
    if (!parsed) return Error{path + ": not a run record of orthomix: " + parsed.error().message};
    const JsonValue& json = *parsed;
    MemberReader read(json, path, "");
    if (json.kind != JsonValue::Kind::Object || read.text("tool") != "orthomix") {
        return Error{path + ": not a run record of orthomix"};
    }
    SingleKRecord record;
    record.path = path;
    record.version = read.text("version");
    const std::string status = read.text("status");
    if (const auto problem = read.problem()) return *problem;
    if (status != "completed") return Error{path + ": the run did not complete (status \"" + status + "\")"};

    const JsonValue* parameters = read.get("parameters", JsonValue::Kind::Object);
    const JsonValue* seed = read.get("seed", JsonValue::Kind::Object);
    const JsonValue* best = read.get("best", JsonValue::Kind::Object);
    const JsonValue* attempts = read.get("attempts", JsonValue::Kind::Array);
    const JsonValue* phases = read.get("phaseSeconds", JsonValue::Kind::Object);
    if (const auto problem = read.problem()) return *problem;
    record.parameters = *parameters;
    Result<std::int32_t> k = singleK(*parameters, path);
    if (!k) return k.error();
    record.k = *k;

    MemberReader readSeed(*seed, path, "seed.");
    record.seed = readSeed.whole<std::uint32_t>("value");
    MemberReader readBest(*best, path, "best.");
    record.bestRepetition = readBest.whole<std::int32_t>("repetition");
    record.bestLogLikelihood = readBest.real("maximumLikelihood");
    record.bic = readBest.real("bic");
    record.icl = readBest.real("icl");
    if (const JsonValue* stability = readBest.get("stability", JsonValue::Kind::Object)) {
        MemberReader readStability(*stability, path, "best.stability.");
        const auto optionalReal = [&](const char* name) -> std::optional<double> {
            const JsonValue* value = stability->find(name);
            if (value && value->isNull()) return std::nullopt;
            return readStability.real(name);
        };
        record.humanStability = optionalReal("human");
        record.mouseStability = optionalReal("mouse");
        if (const auto problem = readStability.problem()) return *problem;
    }
    MemberReader readPhases(*phases, path, "phaseSeconds.");
    record.seconds = readPhases.real("repetitions");
    for (const MemberReader* part : {&readSeed, &readBest, &readPhases}) {
        if (const auto problem = part->problem()) return *problem;
    }

    for (std::size_t i = 0; i < attempts->items.size(); ++i) {
        Result<AttemptRecord> attempt = readAttempt(attempts->items[i], path, record.k, i);
        if (!attempt) return attempt.error();
        record.attempts.push_back(std::move(*attempt));
    }
    Result<std::vector<InputChecksum>> checksums = readChecksums(json, path);
    if (!checksums) return checksums.error();
    record.inputChecksums = std::move(*checksums);
    return record;
}

Result<SingleKRecord> readSingleKRecord(const std::string& path) {
    std::string text;
    if (!readFileContents(path, text)) return Error{"Cannot open " + path};
    return parseSingleKRecord(text, path);
}

}  // namespace orthomix
