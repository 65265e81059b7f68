#include "io/ortholog_reader.h"
#include "io/tab_separated_text.h"

namespace orthomix {

OrthologTable parseOrthologText(std::string_view text, Separator separator) {
    OrthologTable table;
    LineCursor lines(text);
    std::string_view line;
    std::string human;
    std::string mouse;
    while (lines.next(line)) {
        if (leadingFieldPair(line, separator, human, mouse)) table.emplace(human, mouse);
    }
    return table;
}

Result<OrthologTable> readOrthologFile(const std::string& path) {
    Result<std::string> text = readInputFile(path);
    if (!text) return text.error();
    const Separator separator = separatorForName(path);
    ORTHOMIX_TRY(checkSeparatorFits(*text, separator, path));
    return parseOrthologText(*text, separator);
}

}  // namespace orthomix
