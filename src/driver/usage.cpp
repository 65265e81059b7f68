#include "driver/usage.h"

#include "driver/settings/settings.h"

namespace orthomix {

std::string usageLine() { return "Usage: orthomix [OPTION]... [PARAMETER_FILE]"; }

std::string usageText() {
    return usageLine() +
           "\n"
           "  or:  orthomix merge [OPTION]... PARAMETER_FILE RUN_RECORD...\n"
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
           "orthomix merge writes what running PARAMETER_FILE (with kValues) would\n"
           "write, from the run records of runs of one k each on the same data, with the\n"
           "same settings and seed; the k with the lowest BIC is fitted again and\n"
           "checked against its record. A parameter file named merge is run as ./merge.\n"
           "\n"
           "Exit status: 0 after a complete run, 1 when it fails, 2 for a command line\n"
           "that is not understood, 130 or 143 after SIGINT or SIGTERM.\n";
}

}  // namespace orthomix
