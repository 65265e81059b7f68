#pragma once

#include <string_view>

namespace orthomix {

// Where the console text of a run goes. The driver creates one and passes it
// down; nothing below the driver writes to a stream itself.
class Reporter {
public:
    virtual ~Reporter() = default;
    // A progress or report line on standard output, flushed at once.
    virtual void line(std::string_view text) = 0;
    // "warning: " and the text on standard error.
    virtual void warning(std::string_view text) = 0;
    // A diagnostic line on standard error (verbose progress, notes).
    virtual void note(std::string_view text) = 0;
    // The message of a failed run on standard error.
    virtual void error(std::string_view text) = 0;
};

// The standard streams.
class ConsoleReporter final : public Reporter {
public:
    void line(std::string_view text) override;
    void warning(std::string_view text) override;
    void note(std::string_view text) override;
    void error(std::string_view text) override;
};

}  // namespace orthomix
