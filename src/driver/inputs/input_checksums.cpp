#include "driver/inputs/input_checksums.h"

#include <variant>

#include "io/file_checksum.h"

namespace orthomix {

Result<std::vector<InputChecksum>> inputChecksums(const ParameterSetting& settings) {
    std::vector<InputChecksum> checksums;
    for (const SettingDefinition& definition : kSettings) {
        if (definition.kind != SettingKind::InputPath) continue;
        const std::string& path = settings.*std::get<std::string ParameterSetting::*>(definition.field);
        if (path.empty()) continue;
        Result<std::optional<std::string>> checksum = fileChecksum(path);
        if (!checksum) return checksum.error();
        checksums.push_back(InputChecksum{std::string(definition.key), std::move(*checksum)});
    }
    return checksums;
}

}  // namespace orthomix
