#include "io/ortholog_reader.h"
#include "io/tab_separated_text.h"

namespace orthomix {

OrthologTable parseOrthologText(std::string_view text) {
    OrthologTable table;
    LineCursor lines(text);
    std::string_view line;
    std::string_view human;
    std::string_view mouse;
    while (lines.next(line)) {
        if (!leadingFieldPair(line, human, mouse)) continue;
        table.emplace(std::string(human), std::string(mouse));
    }
    return table;
}

Result<OrthologTable> readOrthologFile(const std::string& path) {
    Result<std::string> text = readInputFile(path);
    if (!text) return text.error();
    return parseOrthologText(*text);
}

}  // namespace orthomix
