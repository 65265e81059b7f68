#include "driver/settings/output_paths.h"

#include <vector>

#include "io/atomic_file.h"
#include "io/file_location.h"
#include "support/message_text.h"

namespace orthomix {
namespace {

struct NamedPath {
    std::string_view key;  // empty for the parameter file
    std::string path;
    FileLocation location;
};

// The paths that the keys of one kind give, in table order; absent ones left out.
std::vector<NamedPath> pathsOfKind(const ParameterSetting& settings, SettingKind kind) {
    std::vector<NamedPath> paths;
    for (const SettingDefinition& definition : kSettings) {
        if (definition.kind != kind) continue;
        const std::string& path = settings.*std::get<std::string ParameterSetting::*>(definition.field);
        if (!path.empty()) paths.push_back({definition.key, path, {}});
    }
    return paths;
}

std::vector<NamedPath> locatedPathsOfKind(const ParameterSetting& settings, SettingKind kind) {
    std::vector<NamedPath> paths = pathsOfKind(settings, kind);
    for (NamedPath& path : paths) path.location = locateFile(path.path);
    return paths;
}

// "The keys a and b both name x" when written alike, "The keys a (x) and b (y) name the same file" otherwise.
std::string bothKeys(const NamedPath& first, const NamedPath& second) {
    const std::string a(first.key), b(second.key);
    if (first.path == second.path) return "The keys " + a + " and " + b + " both name " + excerpt(first.path);
    return "The keys " + a + " (" + excerpt(first.path) + ") and " + b + " (" + excerpt(second.path) +
           ") name the same file";
}

}  // namespace

Status checkOutputPaths(const ParameterSetting& settings, const std::string& parameterPath) {
    const std::string inFile = " in parameter file " + parameterPath;
    const std::string keepInputs = ": a result must not replace an input";
    const NamedPath parameterFile{{}, parameterPath, locateFile(parameterPath)};
    const std::vector<NamedPath> inputs = locatedPathsOfKind(settings, SettingKind::InputPath);
    const std::vector<NamedPath> outputs = locatedPathsOfKind(settings, SettingKind::OutputPath);
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        const NamedPath& output = outputs[o];
        if (output.path == parameterFile.path || sameFile(output.location, parameterFile.location)) {
            return Error{"The key " + std::string(output.key) + " (" + excerpt(output.path) +
                         ") names the parameter file " + parameterPath + " itself" + keepInputs};
        }
        for (const NamedPath& input : inputs) {
            if (output.path == input.path || sameFile(output.location, input.location)) {
                return Error{bothKeys(output, input) + inFile + keepInputs};
            }
        }
        for (std::size_t earlier = 0; earlier < o; ++earlier) {
            if (outputsCollide(output.location, outputs[earlier].location)) {
                return Error{bothKeys(outputs[earlier], output) + inFile + ": every result needs a file of its own"};
            }
        }
    }
    return okStatus();
}

Status prepareOutputLocations(const ParameterSetting& settings) {
    for (const NamedPath& output : pathsOfKind(settings, SettingKind::OutputPath)) {
        ORTHOMIX_TRY(prepareOutputLocation(output.path));
    }
    return okStatus();
}

}  // namespace orthomix
