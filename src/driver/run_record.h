#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orthomix {

class JointClusterModel;

// What the run record reports beyond the model's own state, gathered as the
// phases pass. An empty optional is a phase or count the run has not reached.
struct RunRecord {
    std::chrono::system_clock::time_point startTime = std::chrono::system_clock::now();
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    // Wall seconds of each phase.
    std::optional<double> readingSeconds, annotationSeconds, preprocessingSeconds, repetitionsSeconds,
        writingSeconds;

    std::optional<std::uint32_t> seed;  // the value the generator was seeded with
    bool seedFromClock = true;

    std::optional<std::size_t> humanGenesRead, mouseGenesRead, humanGenesKept, mouseGenesKept;
    std::optional<std::size_t> orthologEntries;      // distinct (human, mouse) entries of the file
    std::optional<std::size_t> orthologPairsPresent;  // entries whose two genes are both present

    std::vector<std::string> resultFiles;  // in the order written

    double secondsSinceStart() const;
};

// Runs the phase and stores its wall seconds.
template <typename Phase>
void timePhase(std::optional<double>& seconds, Phase phase) {
    const auto start = std::chrono::steady_clock::now();
    phase();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A time as ISO 8601 in UTC to the second, such as 2024-03-05T14:07:09Z.
std::string isoUtcTime(std::chrono::system_clock::time_point time);

// The run record of the model as a JSON document: "completed" without an
// error, "failed" with the fatal message.
std::string renderRunRecord(const JointClusterModel& model, std::optional<std::string_view> error);

// Writes the completed run's record to the runRecordFile path, atomically;
// fatal "Cannot open file <path>" when it cannot.
void writeRunRecord(const JointClusterModel& model);

// Writes the record of a run that is ending with a fatal error. Never fatal
// itself: on any failure the record is silently not written, since the error
// it reports has already been shown. False when nothing was written.
bool writeFailedRunRecord(const JointClusterModel& model, std::string_view error) noexcept;

}  // namespace orthomix
