#include "driver/merge/merge.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "driver/fitting/k_sweep.h"
#include "support/json_writer.h"

namespace orthomix {
namespace {

// Settings that leave every result as it is, and the cluster counts, which
// differ between the parts of a sweep by design.
bool comparedSetting(const SettingDefinition& definition) {
    if (definition.kind == SettingKind::InputPath || definition.kind == SettingKind::OutputPath) return false;
    static constexpr std::string_view kNotCompared[] = {"k", "kValues", "threads", "verbose"};
    return std::find(std::begin(kNotCompared), std::end(kNotCompared), definition.key) == std::end(kNotCompared);
}

// A setting's value as a message shows it.
std::string shown(const JsonValue* value) {
    if (!value) return "nothing";
    std::string out;
    switch (value->kind) {
        case JsonValue::Kind::Null: return "null";
        case JsonValue::Kind::Bool: return value->flag ? "true" : "false";
        case JsonValue::Kind::Number: appendJsonNumber(out, value->number); return out;
        case JsonValue::Kind::String: appendJsonString(out, value->text); return out;
        default: return "another value";
    }
}

Status checkSettings(const SingleKRecord& record, const SweepInputs& sweep) {
    for (const SettingDefinition& definition : kSettings) {
        if (!comparedSetting(definition)) continue;
        const Result<JsonValue> ours = parseJson(settingAsJson(sweep.settings, definition));
        const JsonValue* theirs = record.parameters.find(definition.key);
        if (ours && theirs && *ours == *theirs) continue;
        return Error{record.path + " ran with " + std::string(definition.key) + " = " + shown(theirs) + ", but " +
                     sweep.parameterPath + " gives " + settingAsJson(sweep.settings, definition)};
    }
    return okStatus();
}

Status checkChecksums(const SingleKRecord& record, const SweepInputs& sweep) {
    for (const InputChecksum& ours : sweep.checksums) {
        const auto theirs = std::find_if(record.inputChecksums.begin(), record.inputChecksums.end(),
                                         [&](const InputChecksum& input) { return input.key == ours.key; });
        if (theirs == record.inputChecksums.end()) {
            return Error{record.path + " lists no checksum of " + ours.key + ", which " + sweep.parameterPath +
                         " reads"};
        }
        if (!ours.checksum || !theirs->checksum) {
            return Error{record.path + ": " + ours.key +
                         " is not a regular file, so that both runs read the same data cannot be checked"};
        }
        if (*ours.checksum != *theirs->checksum) {
            return Error{record.path + " was run on another " + ours.key + " (" + *theirs->checksum + ") than " +
                         sweep.parameterPath + " names (" + *ours.checksum + ")"};
        }
    }
    if (record.inputChecksums.size() != sweep.checksums.size()) {
        return Error{record.path + " read other input files than " + sweep.parameterPath + " names"};
    }
    return okStatus();
}

Status checkRecord(const SingleKRecord& record, const MergeSources& sources, const SweepInputs& sweep) {
    if (record.version != ORTHOMIX_VERSION) {
        return Error{record.path + " was written by orthomix " + record.version + "; this is orthomix " +
                     ORTHOMIX_VERSION};
    }
    if (sweep.settings.seed && *sweep.settings.seed != sources.seed) {
        return Error{record.path + " ran with seed " + std::to_string(sources.seed) + ", but " + sweep.parameterPath +
                     " gives seed " + std::to_string(*sweep.settings.seed)};
    }
    ORTHOMIX_TRY(checkSettings(record, sweep));
    return checkChecksums(record, sweep);
}

// The record of each k of the sweep, in sweep order.
Result<std::vector<const SingleKRecord*>> recordsByK(const MergeSources& sources, const SweepInputs& sweep) {
    const std::vector<std::int32_t> ks = clusterCounts(sweep.settings);
    std::map<std::int32_t, const SingleKRecord*> found;
    for (const SingleKRecord& record : sources.records) {
        if (std::find(ks.begin(), ks.end(), record.k) == ks.end()) {
            return Error{record.path + ": k = " + std::to_string(record.k) + " is not among the kValues of " +
                         sweep.parameterPath};
        }
        const auto [earlier, added] = found.emplace(record.k, &record);
        if (!added) {
            return Error{record.path + ": k = " + std::to_string(record.k) + " is given twice (also by " +
                         earlier->second->path + ")"};
        }
    }
    std::vector<const SingleKRecord*> ordered;
    for (const std::int32_t k : ks) {
        const auto record = found.find(k);
        if (record == found.end()) {
            return Error{"No run record for k = " + std::to_string(k) + " of the kValues of " + sweep.parameterPath};
        }
        ordered.push_back(record->second);
    }
    return ordered;
}

// A k's run as its record summarises it: its attempts and the BIC, the
// likelihood and the iterations of its kept repetition, without clusters.
Result<KRun> summarisedRun(const SingleKRecord& record) {
    const auto kept = std::find_if(record.attempts.begin(), record.attempts.end(), [&](const AttemptRecord& attempt) {
        return attempt.accepted && attempt.repetition == record.bestRepetition;
    });
    if (kept == record.attempts.end()) {
        return Error{record.path + ": the best repetition " + std::to_string(record.bestRepetition) +
                     " has no accepted attempt"};
    }
    RepetitionOutcome outcome;
    outcome.bestRepetition = record.bestRepetition;
    outcome.bestLogLikelihood = record.bestLogLikelihood;
    outcome.bic = record.bic;
    outcome.best.iterations = kept->iterations;
    KRun run;
    run.k = record.k;
    run.outcome = std::move(outcome);
    run.attempts = record.attempts;
    run.seconds = record.seconds;
    return run;
}

// Equal to the last bit; two values that are not numbers are equal too.
bool sameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

bool sameAttempt(const AttemptRecord& a, const AttemptRecord& b) {
    // A record shows no reason for an accepted attempt.
    const bool sameReason = a.accepted || a.rejectionReason == b.rejectionReason;
    return a.repetition == b.repetition && a.attempt == b.attempt && a.accepted == b.accepted && sameReason &&
           a.iterations == b.iterations && sameNumber(a.logLikelihood, b.logLikelihood) &&
           sameNumber(a.humanSpread, b.humanSpread) && sameNumber(a.mouseSpread, b.mouseSpread) &&
           a.scatterPairs == b.scatterPairs;
}

Status checkRefit(const KRun& refit, const SingleKRecord& record) {
    const std::string differs = "k = " + std::to_string(record.k) + " fitted again differs from " + record.path;
    const std::size_t common = std::min(refit.attempts.size(), record.attempts.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (!sameAttempt(refit.attempts[i], record.attempts[i])) {
            return Error{differs + " at attempt " + std::to_string(i + 1) + " (repetition " +
                         std::to_string(record.attempts[i].repetition) + ")"};
        }
    }
    if (refit.attempts.size() != record.attempts.size()) {
        return Error{differs + ": " + std::to_string(refit.attempts.size()) + " attempts, the record has " +
                     std::to_string(record.attempts.size())};
    }
    const RepetitionOutcome& outcome = *refit.outcome;
    if (outcome.bestRepetition != record.bestRepetition ||
        !sameNumber(outcome.bestLogLikelihood, record.bestLogLikelihood) || !sameNumber(outcome.bic, record.bic)) {
        return Error{differs + " in its best repetition"};
    }
    return okStatus();
}

FitOutcome failedMerge(const Error& error, std::uint32_t seed) {
    FitOutcome outcome;
    outcome.seed = seed;
    outcome.error = error;
    return outcome;
}

std::string listOfKs(const std::vector<KRun>& runs) {
    std::string text;
    for (const KRun& run : runs) text += (text.empty() ? "" : ", ") + std::to_string(run.k);
    return text;
}

}  // namespace

Result<MergeSources> readMergeSources(const std::vector<std::string>& recordPaths) {
    if (recordPaths.empty()) return Error{"merge needs the run records of the single-k runs"};
    MergeSources sources;
    for (const std::string& path : recordPaths) {
        Result<SingleKRecord> record = readSingleKRecord(path);
        if (!record) return record.error();
        if (!sources.records.empty() && record->seed != sources.seed) {
            return Error{path + " ran with seed " + std::to_string(record->seed) + ", but " +
                         sources.records.front().path + " with seed " + std::to_string(sources.seed)};
        }
        sources.seed = record->seed;
        sources.records.push_back(std::move(*record));
    }
    return sources;
}

Status checkMergeSources(const MergeSources& sources, const SweepInputs& sweep) {
    if (!isKSweep(sweep.settings)) {
        return Error{sweep.parameterPath + " gives no kValues; merge puts runs of one k each together into the run "
                                           "of a parameter file with kValues"};
    }
    for (const SingleKRecord& record : sources.records) ORTHOMIX_TRY(checkRecord(record, sources, sweep));
    Result<std::vector<const SingleKRecord*>> ordered = recordsByK(sources, sweep);
    if (!ordered) return ordered.error();
    return okStatus();
}

FitOutcome mergeSingleKRuns(const MergeSources& sources, const SweepInputs& sweep, FitInputs inputs,
                            const FitObserver& observer) {
    if (const Status checked = checkMergeSources(sources, sweep); !checked) {
        return failedMerge(checked.error(), sources.seed);
    }
    const std::vector<const SingleKRecord*> ordered = *recordsByK(sources, sweep);
    std::vector<KRun> runs;
    for (const SingleKRecord* record : ordered) {
        Result<KRun> run = summarisedRun(*record);
        if (!run) return failedMerge(run.error(), sources.seed);
        runs.push_back(std::move(*run));
    }
    const std::size_t chosen = *selectLowestBic(runs);

    ParameterSetting single = sweep.settings;
    single.kValues.clear();
    single.k = runs[chosen].k;
    observer.reporter.line("merging k = " + listOfKs(runs) + "; fitting k = " + std::to_string(single.k) +
                           ", the lowest BIC, again");
    FitOutcome refit = fitClusters(single, std::move(inputs), sources.seed, observer);
    if (!refit.succeeded()) return refit;
    if (const Status same = checkRefit(refit.runs.front(), *ordered[chosen]); !same) {
        return failedMerge(same.error(), sources.seed);
    }

    // The refit holds the data, the counts and the kept k; the sweep adds every other k.
    FitOutcome merged = std::move(refit);
    merged.sweep = true;
    runs[chosen] = std::move(merged.runs.front());
    // The parts ran apart: their repetitions together took this long.
    double seconds = 0.0;
    for (const KRun& run : runs) seconds += run.seconds;
    merged.repetitionsSeconds = seconds;
    merged.runs = std::move(runs);
    merged.modelSelection = modelSelectionRows(merged.runs, chosen, merged.data);
    // A k that is not fitted again keeps the evidence its own record gives:
    // its clusterings are not at hand to compute it from.
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        if (i == chosen) continue;
        ModelSelectionRow& row = merged.modelSelection[i];
        row.icl = ordered[i]->icl;
        row.humanStability = ordered[i]->humanStability;
        row.mouseStability = ordered[i]->mouseStability;
    }
    merged.chosen = chosen;
    return merged;
}

}  // namespace orthomix
