#include "io/annotation_reader.h"

#include <unordered_map>

#include "io/tab_separated_text.h"

namespace orthomix {

std::vector<std::string> annotationsFromText(std::string_view text, const std::vector<std::string>& identifiers) {
    // Views into text, which outlives the table.
    std::unordered_map<std::string_view, std::string_view> annotationById;
    LineCursor lines(text);
    std::string_view line;
    lines.next(line);  // header
    std::string_view identifier;
    std::string_view annotation;
    while (lines.next(line)) {
        if (leadingFieldPair(line, identifier, annotation)) annotationById[identifier] = annotation;
    }
    std::vector<std::string> annotations;
    annotations.reserve(identifiers.size());
    for (const std::string& id : identifiers) {
        const auto found = annotationById.find(id);
        annotations.emplace_back(found == annotationById.end() ? std::string_view() : found->second);
    }
    return annotations;
}

Result<std::vector<std::string>> readAnnotationFile(const std::string& path,
                                                    const std::vector<std::string>& identifiers) {
    Result<std::string> text = readInputFile(path);
    if (!text) return text.error();
    return annotationsFromText(*text, identifiers);
}

}  // namespace orthomix
