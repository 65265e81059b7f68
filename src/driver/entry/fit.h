#pragma once

// The in-memory entry: settings and data in, the whole outcome out. The
// command line reads files and writes results around it; other front ends
// call it with data they hold.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/control/interruption.h"
#include "driver/control/run_clock.h"
#include "driver/fitting/k_sweep.h"
#include "driver/fitting/repetitions.h"
#include "driver/settings/settings.h"
#include "io/result_writers.h"
#include "records/dataset.h"
#include "records/organism_data.h"
#include "records/orthologs.h"
#include "support/error.h"
#include "support/reporter.h"

namespace orthomix {

// The data a fit starts from: both organisms as read (identifiers, sample
// names, annotations, values) and the ortholog pairs.
struct FitInputs {
    OrganismData human;
    OrganismData mouse;
    OrthologTable orthologs;
};

// Where a fit reports as it goes and what may ask it to stop. Console text,
// warnings included, goes to the reporter as it happens.
struct FitObserver {
    Reporter& reporter;
    const StopToken& stop;
    RunClock clock;  // verbose progress lines count seconds from its start
};

// Everything a fit gives, also when it fails: what it reached is kept, so
// that a failed run can say how far it got.
struct FitOutcome {
    Dataset data;                // preprocessed, pairs resolved; read-only from here on
    std::uint32_t seed = 0;      // the seed the generator was seeded with
    bool seedFromClock = false;  // the settings gave none, so seedWhenUnset was used
    bool sweep = false;          // see isKSweep

    std::optional<std::size_t> humanGenesRead, mouseGenesRead, humanGenesKept, mouseGenesKept;
    std::optional<std::size_t> orthologEntries;       // distinct (human, mouse) entries of the table
    std::optional<std::size_t> orthologPairsPresent;  // entries whose two genes are both kept

    std::optional<double> preprocessingSeconds;  // set when preprocessing was asked for and ended
    std::optional<double> repetitionsSeconds;    // resolving the pairs and fitting every k

    // One run per k, in order: its attempts and its kept repetition with its BIC.
    std::vector<KRun> runs;
    // One row per run once every k has run; the rows of a single k are its own.
    std::vector<ModelSelectionRow> modelSelection;
    std::optional<std::size_t> chosen;  // the run that is kept: the lowest BIC

    std::vector<std::string> warnings;  // in the order given, without "warning: "
    std::optional<Error> error;         // the error that ended the fit
    bool outOfMemory = false;           // memory ran out; the data and results are released

    bool succeeded() const { return chosen.has_value() && !error; }
    // The kept run; only when the fit succeeded.
    const KRun& keptRun() const { return runs[*chosen]; }
    const RepetitionOutcome& kept() const { return *keptRun().outcome; }
    // Every attempt of every k, in the order they ran.
    std::vector<AttemptRecord> allAttempts() const;
};

// What a fit does before its first repetition, and nothing more: the data
// preprocessed when the settings ask for it and the ortholog pairs resolved,
// with the same console lines, warnings and errors. For a check of a set-up.
FitOutcome prepareFitData(const ParameterSetting& settings, FitInputs inputs, const FitObserver& observer);

// Preprocesses the data when the settings ask for it, resolves the ortholog
// pairs, and runs the repetitions of every k the settings give, keeping the k
// with the lowest BIC. `seedWhenUnset` seeds the generator unless the
// settings give a seed. The paths of the settings are not used.
FitOutcome fitClusters(const ParameterSetting& settings, FitInputs inputs, std::uint32_t seedWhenUnset,
                       const FitObserver& observer);

}  // namespace orthomix
