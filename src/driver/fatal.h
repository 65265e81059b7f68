#pragma once

#include <functional>
#include <string_view>

namespace orthomix {

// Every fatal error of the tool ends here: the message and a line end go to
// standard error, then the installed failure reporter (if any) runs, then the
// process exits with status 1.
[[noreturn]] void fatalError(std::string_view message);

// Called by fatalError with its message, after the message is written. It must
// not call fatalError; whatever it throws is swallowed.
using FailureReporter = std::function<void(std::string_view message)>;

// Installs a failure reporter for the guard's lifetime; the previous one comes
// back when the guard is destroyed.
class ScopedFailureReporter {
public:
    explicit ScopedFailureReporter(FailureReporter reporter);
    ~ScopedFailureReporter();
    ScopedFailureReporter(const ScopedFailureReporter&) = delete;
    ScopedFailureReporter& operator=(const ScopedFailureReporter&) = delete;

private:
    FailureReporter reporter_;
    FailureReporter* previous_;
};

}  // namespace orthomix
