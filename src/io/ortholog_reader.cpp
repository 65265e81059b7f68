#include "io/annotation_reader.h"
#include "io/tab_separated_text.h"

namespace orthomix {

void parseOrthologText(std::string_view text, OrthologTable& orthologTable) {
    orthologTable.clear();
    LineCursor lines(text);
    std::string_view line;
    std::string_view human;
    std::string_view mouse;
    while (lines.next(line)) {
        if (!leadingFieldPair(line, human, mouse)) continue;
        orthologTable.try_emplace({std::string(human), std::string(mouse)}, 0);
    }
}

void readOrthologFile(const std::string& path, OrthologTable& orthologTable) {
    parseOrthologText(readInputFile(path), orthologTable);
}

}  // namespace orthomix
