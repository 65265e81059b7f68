#include "driver/check_summary.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace orthomix {
namespace {

namespace fs = std::filesystem;

Error cannotOpen(const std::string& path, int reason) {
    return Error{"Cannot open file " + path + ": " + std::strerror(reason)};
}

Status checkOutputLocation(const std::string& path) {
    const fs::path target(path);
    fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code error;
    // The folders a run would create start at the nearest one that exists.
    fs::path existing = folder;
    while (!existing.empty() && !fs::exists(existing, error)) existing = existing.parent_path();
    if (existing.empty()) existing = ".";
    if (!fs::is_directory(existing, error)) {
        return Error{"Cannot open file " + path + ": " + existing.string() + " is a file, not a folder"};
    }
    if (::access(existing.c_str(), W_OK | X_OK) != 0) return cannotOpen(path, errno);
    if (existing != folder) return okStatus();
    if (fs::is_directory(target, error)) return cannotOpen(path, EISDIR);
    if (fs::exists(target, error) && ::access(target.c_str(), W_OK) != 0) return cannotOpen(path, errno);
    return okStatus();
}

// The output paths of the settings, each with its key.
std::vector<std::pair<std::string, std::string>> outputPaths(const ParameterSetting& settings) {
    std::vector<std::pair<std::string, std::string>> paths;
    for (const SettingDefinition& definition : kSettings) {
        if (definition.kind != SettingKind::OutputPath) continue;
        const std::string& path = settings.*std::get<std::string ParameterSetting::*>(definition.field);
        if (!path.empty()) paths.emplace_back(std::string(definition.key), path);
    }
    return paths;
}

std::string count(const std::optional<std::size_t>& value) { return value ? std::to_string(*value) : "0"; }

}  // namespace

Status checkOutputLocations(const ParameterSetting& settings) {
    for (const auto& [key, path] : outputPaths(settings)) ORTHOMIX_TRY(checkOutputLocation(path));
    return okStatus();
}

std::vector<std::string> checkSummary(const ParameterSetting& settings, const Dataset& data, const RunInputs& inputs) {
    std::vector<std::string> lines;
    lines.push_back("check: human: " + count(inputs.humanGenesRead) + " genes read, " +
                    count(inputs.humanGenesKept) + " kept for clustering, " +
                    std::to_string(data.human.sampleCount()) + " samples");
    lines.push_back("check: mouse: " + count(inputs.mouseGenesRead) + " genes read, " +
                    count(inputs.mouseGenesKept) + " kept for clustering, " +
                    std::to_string(data.mouse.sampleCount()) + " samples");
    lines.push_back("check: orthologs: " + count(inputs.orthologEntries) + " pairs in " + settings.orthologFile + ", " +
                    count(inputs.orthologPairsPresent) + " with both genes present and kept");
    for (const auto& [key, path] : outputPaths(settings)) {
        lines.push_back("check: a run would write " + path + " (" + key + ")");
    }
    lines.push_back("check: nothing was written; the warnings above, if any, are those a run would give");
    return lines;
}

}  // namespace orthomix
