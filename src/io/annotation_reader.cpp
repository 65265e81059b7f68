#include "io/annotation_reader.h"

#include <unordered_map>

#include "io/tab_separated_text.h"

namespace orthomix {

AnnotationFile parseAnnotationText(std::string_view text, const std::vector<std::string>& identifiers,
                                   Separator separator) {
    struct Entry {
        std::string annotation;
        std::size_t lines = 0;
    };
    AnnotationFile file;
    std::unordered_map<std::string, Entry> annotationById;
    LineCursor lines(text);
    std::string_view line;
    lines.next(line);  // header
    std::string identifier;
    std::string annotation;
    while (lines.next(line)) {
        if (!leadingFieldPair(line, separator, identifier, annotation)) continue;
        Entry& entry = annotationById[identifier];
        file.repeated.count(identifier, entry.lines++);
        entry.annotation = annotation;  // the last line of an identifier wins
    }
    file.annotations.reserve(identifiers.size());
    for (const std::string& id : identifiers) {
        const auto found = annotationById.find(id);
        file.annotations.push_back(found == annotationById.end() ? std::string() : found->second.annotation);
    }
    return file;
}

std::vector<std::string> annotationsFromText(std::string_view text, const std::vector<std::string>& identifiers,
                                             Separator separator) {
    return parseAnnotationText(text, identifiers, separator).annotations;
}

Result<AnnotationFile> readAnnotationRecords(const std::string& path, const std::vector<std::string>& identifiers) {
    Result<std::string> text = readInputFile(path);
    if (!text) return text.error();
    const Separator separator = separatorForName(path);
    ORTHOMIX_TRY(checkSeparatorFits(*text, separator, path));
    return parseAnnotationText(*text, identifiers, separator);
}

Result<std::vector<std::string>> readAnnotationFile(const std::string& path,
                                                    const std::vector<std::string>& identifiers) {
    Result<AnnotationFile> file = readAnnotationRecords(path, identifiers);
    if (!file) return file.error();
    return std::move(file->annotations);
}

}  // namespace orthomix
