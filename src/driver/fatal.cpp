#include "driver/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace orthomix {
namespace {

// Process-wide because fatalError is reached from every layer without a context to carry it.
FailureReporter* installedReporter = nullptr;

}  // namespace

ScopedFailureReporter::ScopedFailureReporter(FailureReporter reporter)
    : reporter_(std::move(reporter)), previous_(installedReporter) {
    installedReporter = &reporter_;
}

ScopedFailureReporter::~ScopedFailureReporter() { installedReporter = previous_; }

void fatalError(std::string_view message) {
    std::fflush(stdout);
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    // Taken out first, so that a fault inside the reporter cannot come back here to it.
    if (FailureReporter* reporter = installedReporter) {
        installedReporter = nullptr;
        try {
            (*reporter)(message);
        } catch (...) {
        }
    }
    std::exit(1);
}

}  // namespace orthomix
