#include "driver/command_line.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <new>

#include "driver/control/interruption.h"
#include "driver/control/run_clock.h"
#include "driver/run.h"
#include "driver/usage.h"

namespace orthomix {
namespace {

bool isOption(const std::string& argument) { return argument.size() > 1 && argument[0] == '-'; }

// The run, with everything that ends it turned into an exit status: an
// error, a signal, or memory running out.
int runParameterFile(const std::string& parameterPath) {
    installInterruptionHandlers();
    ConsoleReporter reporter;
    RunRecordBuilder record(parameterPath, RunClock{});
    Status status;
    try {
        status = runOrthomix(parameterPath, static_cast<std::uint32_t>(std::time(nullptr)), reporter, record);
    } catch (const std::bad_alloc&) {
        // The data of the run is released by now, so the message and the record can be made.
        status = Error{"Out of memory while " + record.record().phaseInProgress()};
    }
    if (status) return 0;
    if (const int signal = interruptionSignal()) {
        record.interrupted(signal);
        status = interruptedError(signal);
    }
    reporter.error(status.error().message);
    writeFailedRunRecord(record.record(), status.error().message);
    const int interruptedBy = record.record().interruptedBy;
    return interruptedBy != 0 ? 128 + interruptedBy : kExitRunFailed;
}

// A check-only run: its message and status 1 when something is wrong, and
// neither a record nor any other file.
int checkParameterFile(const std::string& parameterPath) {
    ConsoleReporter reporter;
    RunRecordBuilder record(parameterPath, RunClock{});
    Status status;
    try {
        status = checkOrthomix(parameterPath, static_cast<std::uint32_t>(std::time(nullptr)), reporter, record);
    } catch (const std::bad_alloc&) {
        status = Error{"Out of memory while " + record.record().phaseInProgress()};
    }
    if (status) return 0;
    reporter.error(status.error().message);
    return kExitRunFailed;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine command;
    bool optionsEnded = false;
    bool haveFile = false;
    for (const std::string& argument : arguments) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == "-h" || argument == "--help")) {
            return CommandLine{CommandAction::Help, {}, {}};
        } else if (!optionsEnded && argument == "--version") {
            return CommandLine{CommandAction::Version, {}, {}};
        } else if (!optionsEnded && argument == "--check") {
            command.checkOnly = true;
        } else if (!optionsEnded && isOption(argument)) {
            if (command.problem.empty()) command.problem = "unknown option \"" + argument + "\"";
        } else if (haveFile) {
            if (command.problem.empty()) {
                command.problem = "a second parameter file \"" + argument + "\": orthomix reads one (\"" +
                                  command.parameterPath + "\")";
            }
        } else {
            command.parameterPath = argument;
            haveFile = true;
        }
    }
    std::error_code ignored;
    if (command.problem.empty() && haveFile && command.parameterPath == "help" &&
        !std::filesystem::exists(command.parameterPath, ignored)) {
        command.problem = "no parameter file \"help\" here; for help, run orthomix --help";
    }
    if (!command.problem.empty()) command.action = CommandAction::UsageError;
    return command;
}

int runCommandLine(const CommandLine& command) {
    switch (command.action) {
        case CommandAction::Help:
            std::fputs(usageText().c_str(), stdout);
            return 0;
        case CommandAction::Version:
            std::printf("orthomix %s\n", ORTHOMIX_VERSION);
            return 0;
        case CommandAction::UsageError:
            std::fprintf(stderr, "%s\n%s\nRun orthomix --help for the options and the parameter-file keys.\n",
                         command.problem.c_str(), usageLine().c_str());
            return kExitUsage;
        case CommandAction::Run:
            break;
    }
    if (command.checkOnly) return checkParameterFile(command.parameterPath);
    return runParameterFile(command.parameterPath);
}

}  // namespace orthomix
