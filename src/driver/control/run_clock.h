#pragma once

#include <chrono>
#include <optional>
#include <type_traits>

namespace orthomix {

// When the run started, for the seconds its progress lines and record show.
struct RunClock {
    std::chrono::system_clock::time_point startTime = std::chrono::system_clock::now();
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    double secondsSinceStart() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    }
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

}  // namespace orthomix
