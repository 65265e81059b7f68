#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/gene_record.h"

namespace orthomix {

// Sets every gene's annotation from the file (header line ignored; the last
// line of an identifier wins; genes the file does not name get "").
void readAnnotationFile(const std::string& path, const std::vector<GeneRecord*>& genes);

// readAnnotationFile on text already in memory. Lines with fewer than two
// fields are skipped.
void applyAnnotationText(std::string_view text, const std::vector<GeneRecord*>& genes);

// Distinct (human identifier, mouse identifier) entries, ordered as unsigned bytes.
using OrthologTable = std::map<std::pair<std::string, std::string>, int>;

// Fills the table from the ortholog file (no header). Fatal when it cannot be opened.
void readOrthologFile(const std::string& path, OrthologTable& orthologTable);

// readOrthologFile on text already in memory. Lines with fewer than two fields
// are skipped.
void parseOrthologText(std::string_view text, OrthologTable& orthologTable);

}  // namespace orthomix
