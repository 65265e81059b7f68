#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

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
    orthomix::ConsoleReporter reporter;
    orthomix::RunRecord record;
    orthomix::Status status =
        orthomix::runOrthomix(parameterPath, static_cast<std::uint32_t>(std::time(nullptr)), reporter, record);
    if (status && !record.path().empty()) status = orthomix::writeRunRecord(record);
    if (!status) {
        reporter.error(status.error().message);
        orthomix::writeFailedRunRecord(record, status.error().message);
        return 1;
    }
    return 0;
}
