#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/control/run_clock.h"
#include "driver/entry/fit.h"
#include "driver/fitting/repetitions.h"
#include "driver/inputs/input_checksums.h"
#include "driver/inputs/input_files.h"
#include "driver/settings/settings.h"
#include "io/result_writers.h"
#include "model/pair_significance.h"
#include "support/error.h"
#include "support/json_writer.h"

namespace orthomix {

// What the run read, as its record and its report echo it. An empty
// optional is a count the run has not reached.
struct RunInputs {
    std::string parameterFile;
    std::optional<ParameterSetting> parameters;  // as read, once the file has been read
    std::optional<std::uint32_t> seed;           // the value the generator was seeded with
    bool seedFromClock = true;

    std::optional<std::size_t> humanGenesRead, mouseGenesRead, humanGenesKept, mouseGenesKept;
    // Genes left out for a value that is not a number; set only with missingValues = dropGene.
    std::optional<std::size_t> humanIncompleteGenesDropped, mouseIncompleteGenesDropped;
    std::optional<std::size_t> orthologEntries;       // distinct (human, mouse) entries of the file
    std::optional<std::size_t> orthologPairsPresent;  // entries whose two genes are both present
};

// What the run record reports. An empty optional is a phase or count the run
// has not reached. Only RunRecordBuilder fills it in.
struct RunRecord {
    RunClock clock;

    // Wall seconds of each phase.
    std::optional<double> readingSeconds, annotationSeconds, preprocessingSeconds, repetitionsSeconds,
        writingSeconds;

    RunInputs inputs;
    // Of every input file, once they have been read.
    std::optional<std::vector<InputChecksum>> inputChecksums;

    std::vector<AttemptRecord> attempts;

    struct Best {
        std::int32_t repetition = 0;
        double maximumLikelihood = 0.0;
        double bic = 0.0;
        std::int32_t k = 0;
        // The kept k's evidence, as its model-selection row gives it; a merge
        // of runs of one k each reads it back for the k it does not fit again.
        double icl = 0.0;
        std::optional<double> humanStability{}, mouseStability{};
    };
    std::optional<Best> best;
    // One row per k of a kValues sweep that ran to its end; empty otherwise,
    // and then the record has neither "modelSelection" nor "k" in its attempts
    // and best.
    std::vector<ModelSelectionRow> modelSelection;
    // How the kept clusterings of the two organisms correspond; none until the fit succeeded.
    std::optional<PairSignificance> correspondence;

    std::vector<std::string> resultFiles;  // in the order written

    // The output paths were found apart from every input and from each
    // other; until then not even a failed run's record may be written.
    bool outputPathsChecked = false;
    // The signal that stopped the run, 0 when none did.
    int interruptedBy = 0;

    // The phase the run is in: the first one whose time is not recorded yet.
    std::string phaseInProgress() const;
    // Where the record goes; empty when the run writes none.
    std::string path() const { return inputs.parameters ? inputs.parameters->runRecordFile : std::string(); }
};

// The one place a run record is put together: from the values each phase
// returns, as the phases pass, so that it also describes a failed run.
class RunRecordBuilder {
public:
    RunRecordBuilder(std::string parameterFile, RunClock clock);

    // The parameter file was read (its values kept before they are checked)
    // and the generator gets `seed`.
    void settingsRead(const ParameterSetting& settings, std::uint32_t seed);
    void outputPathsChecked() { record_.outputPathsChecked = true; }
    // The expression files took `seconds`; `inputs` is null when they failed.
    void expressionRead(double seconds, const InputFiles* inputs);
    void annotationsRead(double seconds) { record_.annotationSeconds = seconds; }
    void inputsChecksummed(std::vector<InputChecksum> checksums) { record_.inputChecksums = std::move(checksums); }
    // What the fit reached, whether it succeeded or not.
    void fitted(const FitOutcome& outcome);
    void resultsWritten(double seconds) { record_.writingSeconds = seconds; }
    // The record of the completed run with its result files.
    RunRecord completed(std::vector<std::string> resultFiles) const;
    // The result files are in place.
    void committed(std::vector<std::string> resultFiles) { record_.resultFiles = std::move(resultFiles); }
    void interrupted(int signal) { record_.interruptedBy = signal; }

    const RunRecord& record() const { return record_; }

private:
    RunRecord record_;
};

// Every setting as a JSON object, in table order, as the run used it.
void writeSettingsObject(JsonWriter& json, const ParameterSetting& settings);

// The members that say what the run read: parameterFile, parameters, seed,
// genes (read and kept per organism) and orthologs (entries, pairs present).
void writeRunInputs(JsonWriter& json, const RunInputs& inputs);

// How the clusters of the two organisms correspond, as an object: the pairs
// counted, the chi-square and G tests, the verdict in words, and per cluster
// its significant partners of the other organism, strongest first.
void writeCorrespondence(JsonWriter& json, const PairSignificance& significance);

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
