#include "io/annotation_reader.h"

#include <unordered_map>

#include "io/tab_separated_text.h"

namespace orthomix {

void applyAnnotationText(std::string_view text, const std::vector<GeneRecord*>& genes) {
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
    for (GeneRecord* gene : genes) {
        const auto found = annotationById.find(gene->name);
        if (found == annotationById.end()) {
            gene->annotation.clear();
        } else {
            gene->annotation.assign(found->second);
        }
    }
}

void readAnnotationFile(const std::string& path, const std::vector<GeneRecord*>& genes) {
    applyAnnotationText(readInputFile(path), genes);
}

}  // namespace orthomix
