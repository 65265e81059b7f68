#include "driver/settings/run_limits.h"

#include <limits.h>

#include <algorithm>
#include <thread>

#include "support/message_text.h"

namespace orthomix {
namespace {

constexpr unsigned kThreadsPerHardwareThread = 4;
constexpr unsigned kMostThreads = 1024;

Status checkThreads(const ParameterSetting& settings, const std::string& inFile) {
    const unsigned hardware = std::thread::hardware_concurrency();
    const unsigned bound = threadBound(hardware);
    if (settings.threads <= 0 || static_cast<unsigned>(settings.threads) <= bound) return okStatus();
    const std::string reason = hardware == 0 ? "the number of hardware threads is unknown here"
                                             : std::to_string(kThreadsPerHardwareThread) + " times the " +
                                                   std::to_string(hardware) + " hardware threads here, at most " +
                                                   std::to_string(kMostThreads);
    return Error{"The key threads must be at most " + std::to_string(bound) + " (" + reason + ")" + inFile +
                 " (it is " + std::to_string(settings.threads) + "); results are the same for every number of threads"};
}

Status checkPathLengths(const ParameterSetting& settings, const std::string& inFile) {
    for (const SettingDefinition& definition : kSettings) {
        if (definition.kind != SettingKind::InputPath && definition.kind != SettingKind::OutputPath &&
            definition.kind != SettingKind::OutputFolder) {
            continue;
        }
        const std::string& path = settings.*std::get<std::string ParameterSetting::*>(definition.field);
        if (path.size() < PATH_MAX) continue;
        return Error{"The key " + std::string(definition.key) + " holds a path of " + std::to_string(path.size()) +
                     " bytes, longer than the system's limit of " + std::to_string(PATH_MAX - 1) + inFile +
                     " (it is " + excerpt(path) + ")"};
    }
    return okStatus();
}

}  // namespace

unsigned threadBound(unsigned hardwareThreads) {
    if (hardwareThreads == 0) return kMostThreads;
    return std::min(kMostThreads, kThreadsPerHardwareThread * std::min(hardwareThreads, kMostThreads));
}

Status checkRunLimits(const ParameterSetting& settings, const std::string& parameterPath) {
    const std::string inFile = " in parameter file " + excerpt(parameterPath);
    ORTHOMIX_TRY(checkThreads(settings, inFile));
    return checkPathLengths(settings, inFile);
}

void reportThreadShortfall(const ThreadPool& pool, Reporter& reporter) {
    if (pool.startFailure().empty()) return;
    reporter.warning("only " + std::to_string(pool.threads()) + " of the " + std::to_string(pool.requested()) +
                     " threads asked for could be started (" + pool.startFailure() + "); the run goes on with " +
                     std::to_string(pool.threads()) + ", with the same results");
}

}  // namespace orthomix
