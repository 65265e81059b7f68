#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "io/tab_separated_text.h"
#include "records/identifiers.h"
#include "support/error.h"

namespace orthomix {

// The annotation of every identifier, in order, from an annotation file held
// in memory: the header line is ignored, lines with fewer than two fields are
// skipped, the last line of an identifier wins, and an identifier the file
// does not name gets "".
std::vector<std::string> annotationsFromText(std::string_view text, const std::vector<std::string>& identifiers,
                                             Separator separator = Separator::Tab);

// The annotations, and the identifiers that stand on several lines.
struct AnnotationFile {
    std::vector<std::string> annotations;
    RepeatedIdentifiers repeated;
};
AnnotationFile parseAnnotationText(std::string_view text, const std::vector<std::string>& identifiers,
                                   Separator separator = Separator::Tab);

// Reads the file, comma-separated when its name says so; "Cannot open
// <path>" when it cannot be read.
Result<AnnotationFile> readAnnotationRecords(const std::string& path, const std::vector<std::string>& identifiers);

// The annotations of readAnnotationRecords alone.
Result<std::vector<std::string>> readAnnotationFile(const std::string& path,
                                                    const std::vector<std::string>& identifiers);

}  // namespace orthomix
