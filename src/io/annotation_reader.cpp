#include "io/annotation_reader.h"

#include <unordered_map>

#include "io/tab_separated_text.h"

namespace orthomix {

std::vector<std::string> annotationsFromText(std::string_view text, const std::vector<std::string>& identifiers,
                                             Separator separator) {
    std::unordered_map<std::string, std::string> annotationById;
    LineCursor lines(text);
    std::string_view line;
    lines.next(line);  // header
    std::string identifier;
    std::string annotation;
    while (lines.next(line)) {
        if (leadingFieldPair(line, separator, identifier, annotation)) annotationById[identifier] = annotation;
    }
    std::vector<std::string> annotations;
    annotations.reserve(identifiers.size());
    for (const std::string& id : identifiers) {
        const auto found = annotationById.find(id);
        annotations.push_back(found == annotationById.end() ? std::string() : found->second);
    }
    return annotations;
}

Result<std::vector<std::string>> readAnnotationFile(const std::string& path,
                                                    const std::vector<std::string>& identifiers) {
    Result<std::string> text = readInputFile(path);
    if (!text) return text.error();
    const Separator separator = separatorForName(path);
    ORTHOMIX_TRY(checkSeparatorFits(*text, separator, path));
    return annotationsFromText(*text, identifiers, separator);
}

}  // namespace orthomix
