#include "io/ortholog_reader.h"

#include <map>

#include "io/tab_separated_text.h"

namespace orthomix {

OrthologFile parseOrthologFile(std::string_view text, Separator separator) {
    OrthologFile file;
    LineCursor lines(text);
    std::string_view line;
    std::string human;
    std::string mouse;
    // Lines beyond the first of each repeated pair: 1 marks a pair seen once.
    std::map<std::pair<std::string, std::string>, std::size_t> repeats;
    while (lines.next(line)) {
        if (!leadingFieldPair(line, separator, human, mouse)) continue;
        if (file.table.emplace(human, mouse).second) continue;
        std::size_t& seen = repeats[{human, mouse}];
        file.repeatedPairs.count(human + " " + mouse, ++seen);
    }
    return file;
}

OrthologTable parseOrthologText(std::string_view text, Separator separator) {
    return std::move(parseOrthologFile(text, separator).table);
}

Result<OrthologFile> readOrthologRecords(const std::string& path) {
    Result<std::string> text = readInputFile(path);
    if (!text) return text.error();
    const Separator separator = separatorForName(path);
    ORTHOMIX_TRY(checkSeparatorFits(*text, separator, path));
    return parseOrthologFile(*text, separator);
}

Result<OrthologTable> readOrthologFile(const std::string& path) {
    Result<OrthologFile> file = readOrthologRecords(path);
    if (!file) return file.error();
    return std::move(file->table);
}

}  // namespace orthomix
