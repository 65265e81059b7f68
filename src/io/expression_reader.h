#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "records/organism_data.h"
#include "support/error.h"

namespace orthomix {

// One expression data file as read: sample names, gene identifiers and the
// values (annotations still empty).
struct ExpressionFile {
    OrganismData data;
    std::size_t nonNumericFields = 0;  // value fields read as 0.0 because they hold no number
};

// Parses an expression data file held in memory: a header of sample names
// (its first field dropped), then one gene per line. Lines of at most one
// character, or of blanks and tabs only, are skipped. Fails, naming
// sourceName and the line, on a header without sample columns or a data line
// with too few values.
Result<ExpressionFile> parseExpressionText(std::string_view text, std::string_view sourceName);

// Reads and parses the file; "Cannot open <path>" when it cannot be read.
Result<ExpressionFile> readExpressionFile(const std::string& path);

}  // namespace orthomix
