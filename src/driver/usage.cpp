#include "driver/usage.h"

#include "driver/settings.h"

namespace orthomix {

std::string usageText() {
    return "Usage: orthomix [PARAMETER_FILE]\n"
           "\n"
           "Clusters human and mouse gene-expression profiles jointly, tied together by\n"
           "ortholog pairs. PARAMETER_FILE (default ./ParameterSetting.txt) holds\n"
           "key = value lines:\n"
           "\n" +
           settingsHelp() +
           "\n"
           "Options:\n"
           "  -h, --help     show this text\n"
           "  --version      show the version\n";
}

}  // namespace orthomix
