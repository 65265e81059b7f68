#include "driver/command_line.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <new>

#include "driver/control/interruption.h"
#include "driver/control/run_clock.h"
#include "driver/merge_run.h"
#include "driver/run.h"
#include "driver/usage.h"

namespace orthomix {
namespace {

bool isOption(const std::string& argument) { return argument.size() > 1 && argument[0] == '-'; }

using RunSteps = std::function<Status(Reporter& reporter, RunRecordBuilder& record)>;

// The run, with everything that ends it turned into an exit status: an
// error, a signal, or memory running out.
int runParameterFile(const std::string& parameterPath, const RunSteps& run) {
    installInterruptionHandlers();
    ConsoleReporter reporter;
    RunRecordBuilder record(parameterPath, RunClock{});
    Status status;
    try {
        status = run(reporter, record);
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
    const bool merge = !arguments.empty() && arguments.front() == "merge";
    CommandLine command;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (std::size_t i = merge ? 1 : 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == "-h" || argument == "--help")) {
            return CommandLine{.action = CommandAction::Help};
        } else if (!optionsEnded && argument == "--version") {
            return CommandLine{.action = CommandAction::Version};
        } else if (!optionsEnded && argument == "--check") {
            command.checkOnly = true;
        } else if (!optionsEnded && isOption(argument)) {
            if (command.problem.empty()) command.problem = "unknown option \"" + argument + "\"";
        } else {
            if (!merge && operands.size() == 1 && command.problem.empty()) {
                command.problem =
                    "a second parameter file \"" + argument + "\": orthomix reads one (\"" + operands[0] + "\")";
            }
            operands.push_back(argument);
        }
    }
    if (merge) return mergeCommandLine(std::move(command), std::move(operands));
    if (!operands.empty()) command.parameterPath = operands[0];
    std::error_code ignored;
    if (command.problem.empty() && operands.size() == 1 && command.parameterPath == "help" &&
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
        case CommandAction::Merge:
            return runParameterFile(command.parameterPath, [&](Reporter& reporter, RunRecordBuilder& record) {
                return runMerge(command.parameterPath, command.recordPaths, reporter, record);
            });
        case CommandAction::Run:
            break;
    }
    if (command.checkOnly) return checkParameterFile(command.parameterPath);
    return runParameterFile(command.parameterPath, [&](Reporter& reporter, RunRecordBuilder& record) {
        return runOrthomix(command.parameterPath, static_cast<std::uint32_t>(std::time(nullptr)), reporter, record);
    });
}

}  // namespace orthomix
