#include "support/reporter.h"

#include <cstdio>

namespace orthomix {
namespace {

void writeLine(std::FILE* stream, std::string_view prefix, std::string_view text) {
    std::fwrite(prefix.data(), 1, prefix.size(), stream);
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

}  // namespace

void ConsoleReporter::line(std::string_view text) { writeLine(stdout, "", text); }

void ConsoleReporter::warning(std::string_view text) {
    std::fflush(stdout);
    writeLine(stderr, "warning: ", text);
}

void ConsoleReporter::note(std::string_view text) {
    std::fflush(stdout);
    writeLine(stderr, "", text);
}

void ConsoleReporter::error(std::string_view text) {
    std::fflush(stdout);
    writeLine(stderr, "", text);
}

void BufferedReporter::replay(Reporter& to) const {
    for (const auto& [stream, text] : entries_) {
        switch (stream) {
            case Stream::Line:
                to.line(text);
                break;
            case Stream::Warning:
                to.warning(text);
                break;
            case Stream::Note:
                to.note(text);
                break;
            case Stream::Error:
                to.error(text);
                break;
        }
    }
}

}  // namespace orthomix
