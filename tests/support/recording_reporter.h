#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/reporter.h"

namespace orthomix::testing {

// Keeps what a run would print, stream by stream, as the console would show it.
class RecordingReporter final : public Reporter {
public:
    void line(std::string_view text) override { out += std::string(text) + "\n"; }
    void warning(std::string_view text) override { err += "warning: " + std::string(text) + "\n"; }
    void note(std::string_view text) override { err += std::string(text) + "\n"; }
    void error(std::string_view text) override { err += std::string(text) + "\n"; }

    std::string out;
    std::string err;
};

}  // namespace orthomix::testing
