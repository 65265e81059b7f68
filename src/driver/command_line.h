#pragma once

#include <string>
#include <vector>

namespace orthomix {

// Exit statuses besides 0: a run that failed, and a command line that could
// not be understood (a signal gives 128 + its number).
inline constexpr int kExitRunFailed = 1;
inline constexpr int kExitUsage = 2;

enum class CommandAction { Run, Merge, Help, Version, UsageError };

// What the command line asks for.
struct CommandLine {
    CommandAction action = CommandAction::Run;
    std::string parameterPath = "./ParameterSetting.txt";
    std::string problem{};  // for UsageError: the first thing that is wrong, such as unknown option "-v"
    bool checkOnly = false;  // --check: read and check everything, write nothing
    std::vector<std::string> recordPaths{};  // for Merge: the run records of the single-k runs
};

// The usual conventions: -h, --help or --version anywhere wins and nothing
// runs; any other argument that starts with "-" is an unknown option; "--"
// ends the options; one parameter file at most. A lone "help" that is no file
// is taken for a request for help that went astray. A first argument "merge"
// asks for a merge (a parameter file of that name is reached as ./merge).
// `arguments` excludes the program name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// Carries out the command line: prints the help text or the version, or the
// problem and the usage line on standard error, or runs the tool on the
// parameter file. Returns the exit status.
int runCommandLine(const CommandLine& command);

}  // namespace orthomix
