#include "support/reporter.h"

#include <cstdio>
#include <string>

namespace orthomix {
namespace {

// One write per line: lines from different threads never mix.
void writeLine(std::FILE* stream, std::string_view prefix, std::string_view text) {
    std::string line;
    line.reserve(prefix.size() + text.size() + 1);
    line.append(prefix).append(text).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stream);
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
    // In the order of Stream.
    static constexpr void (Reporter::*kSend[])(std::string_view) = {&Reporter::line, &Reporter::warning,
                                                                      &Reporter::note, &Reporter::error};
    for (const auto& [stream, text] : entries_) (to.*kSend[static_cast<int>(stream)])(text);
}

}  // namespace orthomix
