#include "io/parameter_file.h"

#include "io/tab_separated_text.h"

namespace orthomix {
namespace {

std::string_view trim(std::string_view text) {
    constexpr std::string_view blanks = " \t\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

}  // namespace

ParameterTable parseParameterText(std::string_view text) {
    ParameterTable table;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos) {
            table[std::string(trim(line.substr(0, equals)))] = std::string(trim(line.substr(equals + 1)));
        }
        start = end + 1;
    }
    return table;
}

Result<ParameterTable> readParameterTable(const std::string& path) {
    Result<std::string> text = readInputFile(path);
    if (!text) return text.error();
    return parseParameterText(*text);
}

}  // namespace orthomix
