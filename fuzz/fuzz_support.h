#pragma once

// Helpers shared by the fuzz targets: a check that stops the run with a
// message, and a deliberately plain second splitter of tab-separated text to
// compare the readers against.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (false)

namespace orthomix::fuzz {

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

struct ReferenceLine {
    std::size_t length = 0;  // characters after the carriage return is dropped
    std::vector<std::string> fields;
};

// Every line of the text, split character by character.
inline std::vector<ReferenceLine> referenceLines(std::string_view text) {
    std::vector<ReferenceLine> lines;
    std::string current;
    const auto finish = [&]() {
        if (!current.empty() && current.back() == '\r') current.pop_back();
        ReferenceLine line;
        line.length = current.size();
        std::string field;
        for (const char c : current) {
            if (c != '\t') {
                field += c;
            } else if (!field.empty()) {
                line.fields.push_back(field);
                field.clear();
            }
        }
        if (!field.empty()) line.fields.push_back(field);
        lines.push_back(line);
        current.clear();
    };
    for (const char c : text) {
        if (c == '\n') {
            finish();
        } else {
            current += c;
        }
    }
    if (!current.empty()) finish();
    return lines;
}

}  // namespace orthomix::fuzz
