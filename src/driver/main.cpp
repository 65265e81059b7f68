#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "driver/interruption.h"
#include "driver/run.h"
#include "driver/usage.h"

int main(int argc, char** argv) {
    std::string parameterPath = "./ParameterSetting.txt";
    if (argc > 1) {
        if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
            std::fputs(orthomix::usageText().c_str(), stdout);
            return 0;
        }
        if (std::strcmp(argv[1], "--version") == 0) {
            std::printf("orthomix %s\n", ORTHOMIX_VERSION);
            return 0;
        }
        parameterPath = argv[1];
    }
    orthomix::installInterruptionHandlers();
    orthomix::ConsoleReporter reporter;
    orthomix::RunRecord record;
    orthomix::Status status;
    try {
        status =
            orthomix::runOrthomix(parameterPath, static_cast<std::uint32_t>(std::time(nullptr)), reporter, record);
    } catch (const std::bad_alloc&) {
        // The data of the run is released by now, so the message and the record can be made.
        status = orthomix::Error{"Out of memory while " + record.phaseInProgress()};
    }
    if (status) return 0;
    if (const int signal = orthomix::interruptionSignal()) {
        record.interruptedBy = signal;
        status = orthomix::interruptedError(signal);
    }
    reporter.error(status.error().message);
    orthomix::writeFailedRunRecord(record, status.error().message);
    return record.interruptedBy != 0 ? 128 + record.interruptedBy : 1;
}
