#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/fitting/repetitions.h"
#include "driver/inputs/input_checksums.h"
#include "support/error.h"
#include "support/json_reader.h"

namespace orthomix {

// What the merge takes from the run record of a completed run of one k.
struct SingleKRecord {
    std::string path;
    std::string version;
    std::uint32_t seed = 0;
    JsonValue parameters;  // the settings as the run echoed them
    std::int32_t k = 0;
    std::vector<AttemptRecord> attempts;  // each with its k
    std::int32_t bestRepetition = 0;
    double bestLogLikelihood = 0.0;
    double bic = 0.0;
    double icl = 0.0;
    std::optional<double> humanStability, mouseStability;  // null in the record: only one repetition was accepted
    double seconds = 0.0;  // the repetitions phase
    std::vector<InputChecksum> inputChecksums;
};

// Reads the run record at `path`. Refuses, with a message that names the
// file, anything but the record of a completed run of one k (no kValues)
// that lists its input checksums.
Result<SingleKRecord> readSingleKRecord(const std::string& path);

// The same record from its text; `path` only names it in messages.
Result<SingleKRecord> parseSingleKRecord(const std::string& text, const std::string& path);

}  // namespace orthomix
