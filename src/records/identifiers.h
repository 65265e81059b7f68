#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "records/organism_data.h"

namespace orthomix {

// Identifiers that stand on more than one row (or line) of a file.
struct RepeatedIdentifiers {
    std::size_t repeatRows = 0;    // rows whose identifier an earlier row already has
    std::size_t identifiers = 0;   // distinct identifiers with more than one row
    std::vector<std::string> examples;  // the first few of them, in the order they first repeat

    static constexpr std::size_t kExamples = 3;
    bool any() const { return repeatRows > 0; }
    // Counts one more row of `identifier`, seen `rowsSoFar` times before it.
    void count(const std::string& identifier, std::size_t rowsSoFar);
};

RepeatedIdentifiers repeatedIdentifiers(const std::vector<std::string>& identifiers);

// Identifiers that look like the dates a spreadsheet makes of gene names
// such as MARCH1 or SEPT2: 1-Mar, 02-Sep, 1-Mar-2024, 3/1/2024, 2024-03-01.
bool looksLikeSpreadsheetDate(std::string_view identifier);

struct DateLikeIdentifiers {
    std::size_t count = 0;
    std::string example;  // the first of them
};
DateLikeIdentifiers dateLikeIdentifiers(const std::vector<std::string>& identifiers);

// What to do with the rows of an identifier that stands on several rows.
enum class RepeatedRows {
    Keep,   // every row is a gene of its own
    First,  // the first row stands for the identifier; the others are left out
    Mean,   // one row, at the first one's place, holding the mean of the rows
};

// The organism with every repeated identifier on one row, as the rule says.
OrganismData mergeRepeatedRows(const OrganismData& organism, RepeatedRows rule);

}  // namespace orthomix
