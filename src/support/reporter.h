#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// Keeps what a part of a run reports, in order, so that it can be shown in
// one piece later: a part that may run beside others (one k of a sweep)
// writes here, and the driver replays the parts in a fixed order.
class BufferedReporter final : public Reporter {
public:
    void line(std::string_view text) override { keep(Stream::Line, text); }
    void warning(std::string_view text) override { keep(Stream::Warning, text); }
    void note(std::string_view text) override { keep(Stream::Note, text); }
    void error(std::string_view text) override { keep(Stream::Error, text); }

    // Reports everything kept to `to`, in the order it came.
    void replay(Reporter& to) const;

private:
    enum class Stream { Line, Warning, Note, Error };
    void keep(Stream stream, std::string_view text) { entries_.emplace_back(stream, std::string(text)); }

    std::vector<std::pair<Stream, std::string>> entries_;
};

}  // namespace orthomix
