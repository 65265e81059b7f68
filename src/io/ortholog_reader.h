#pragma once

#include <string>
#include <string_view>

#include "io/tab_separated_text.h"
#include "records/identifiers.h"
#include "records/orthologs.h"
#include "support/error.h"

namespace orthomix {

// The ortholog file held in memory: no header, one (human, mouse) pair per
// line; lines with fewer than two fields are skipped, repeated pairs count once.
OrthologTable parseOrthologText(std::string_view text, Separator separator = Separator::Tab);

// The distinct pairs, and the pairs that stand on several lines (each
// example written "human mouse").
struct OrthologFile {
    OrthologTable table;
    RepeatedIdentifiers repeatedPairs;
};
OrthologFile parseOrthologFile(std::string_view text, Separator separator = Separator::Tab);

// Reads the file, comma-separated when its name says so; "Cannot open
// <path>" when it cannot be read.
Result<OrthologFile> readOrthologRecords(const std::string& path);

// The table of readOrthologRecords alone.
Result<OrthologTable> readOrthologFile(const std::string& path);

}  // namespace orthomix
