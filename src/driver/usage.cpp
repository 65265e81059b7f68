#include "driver/usage.h"

#include "driver/settings/settings.h"

namespace orthomix {

std::string usageLine() { return "Usage: orthomix [OPTION]... [PARAMETER_FILE]"; }

std::string usageText() {
    return usageLine() +
           "\n"
           "\n"
           "Clusters human and mouse gene-expression profiles jointly, tied together by\n"
           "ortholog pairs. PARAMETER_FILE (default ./ParameterSetting.txt) holds\n"
           "key = value lines:\n"
           "\n" +
           settingsHelp() +
           "\n"
           "Options (anywhere on the line; -- ends them):\n"
           "  -h, --help     show this text\n"
           "  --version      show the version\n"
           "  --check        read and check the settings and every input, show what a run\n"
           "                 would cluster and write, and write nothing\n"
           "\n"
           "Exit status: 0 after a complete run, 1 when it fails, 2 for a command line\n"
           "that is not understood, 130 or 143 after SIGINT or SIGTERM.\n";
}

}  // namespace orthomix
