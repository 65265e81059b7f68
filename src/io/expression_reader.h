#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "records/gene_record.h"

namespace orthomix {

struct ExpressionReadSummary {
    std::size_t nonNumericFields = 0;  // value fields read as 0.0 because they hold no number
};

// Reads one expression data file: a header of sample names (its first field
// dropped), then one gene per line. New records go to store; genes and
// sampleNames are emptied and filled. Fatal when the file cannot be opened,
// names no sample column, or has a data line with too few values.
ExpressionReadSummary readExpressionFile(const std::string& path, GeneStore& store, std::vector<GeneRecord*>& genes,
                                         std::vector<std::string>& sampleNames);

// readExpressionFile on text already in memory, returning the reason the text
// is rejected (naming sourceName and the line) instead of ending the process;
// empty when it is accepted. Lines holding only blanks and tabs are skipped
// like empty ones.
std::string parseExpressionText(std::string_view text, std::string_view sourceName, GeneStore& store,
                                std::vector<GeneRecord*>& genes, std::vector<std::string>& sampleNames,
                                ExpressionReadSummary& summary);

}  // namespace orthomix
