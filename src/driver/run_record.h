#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "driver/repetitions.h"
#include "driver/settings.h"
#include "io/result_writers.h"
#include "support/error.h"
#include "support/json_writer.h"

namespace orthomix {

// What the run record reports, gathered by the driver as the phases pass. An
// empty optional is a phase or count the run has not reached.
struct RunRecord {
    std::chrono::system_clock::time_point startTime = std::chrono::system_clock::now();
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    // Wall seconds of each phase.
    std::optional<double> readingSeconds, annotationSeconds, preprocessingSeconds, repetitionsSeconds,
        writingSeconds;

    std::string parameterFile;
    std::optional<ParameterSetting> parameters;  // as read, once the file has been read
    std::optional<std::uint32_t> seed;           // the value the generator was seeded with
    bool seedFromClock = true;

    std::optional<std::size_t> humanGenesRead, mouseGenesRead, humanGenesKept, mouseGenesKept;
    // Genes left out for a value that is not a number; set only with missingValues = dropGene.
    std::optional<std::size_t> humanIncompleteGenesDropped, mouseIncompleteGenesDropped;
    std::optional<std::size_t> orthologEntries;       // distinct (human, mouse) entries of the file
    std::optional<std::size_t> orthologPairsPresent;  // entries whose two genes are both present

    std::vector<AttemptRecord> attempts;

    struct Best {
        std::int32_t repetition = 0;
        double maximumLikelihood = 0.0;
        double bic = 0.0;
        std::int32_t k = 0;
    };
    std::optional<Best> best;
    // One row per k of a kValues sweep; empty for a run of one k, whose record
    // then has neither "modelSelection" nor "k" in its attempts and best.
    std::vector<ModelSelectionRow> modelSelection;

    std::vector<std::string> resultFiles;  // in the order written

    // The output paths were found apart from every input and from each
    // other; until then not even a failed run's record may be written.
    bool outputPathsChecked = false;
    // The signal that stopped the run, 0 when none did.
    int interruptedBy = 0;

    double secondsSinceStart() const;
    // The phase the run is in: the first one whose time is not recorded yet.
    std::string phaseInProgress() const;
    // Where the record goes; empty when the run writes none.
    std::string path() const { return parameters ? parameters->runRecordFile : std::string(); }
};

// Runs the phase and stores its wall seconds (also when it fails); returns what the phase returns.
template <typename Phase>
auto timePhase(std::optional<double>& seconds, Phase phase) {
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    if constexpr (std::is_void_v<decltype(phase())>) {
        phase();
        seconds = elapsed();
    } else {
        auto result = phase();
        seconds = elapsed();
        return result;
    }
}

// Every setting as a JSON object, in table order, as the run used it.
void writeSettingsObject(JsonWriter& json, const ParameterSetting& settings);

// The members that say what the run read: parameterFile, parameters, seed,
// genes (read and kept per organism) and orthologs (entries, pairs present).
void writeRunInputs(JsonWriter& json, const RunRecord& record);

// A time as ISO 8601 in UTC to the second, such as 2024-03-05T14:07:09Z.
std::string isoUtcTime(std::chrono::system_clock::time_point time);

// The record as a JSON document: "completed" without an error; with the
// message of the error that ended the run, "interrupted" when a signal
// stopped it and "failed" otherwise.
std::string renderRunRecord(const RunRecord& record, std::optional<std::string_view> error);

// Writes the record of a run that is ending with an error (its folder
// created when missing), unless its path has not been checked against the
// inputs. The error has already been shown, so a record that cannot be
// written is silently left out.
void writeFailedRunRecord(const RunRecord& record, std::string_view error) noexcept;

}  // namespace orthomix
