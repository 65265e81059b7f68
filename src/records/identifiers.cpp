#include "records/identifiers.h"

#include <string_view>
#include <unordered_map>

namespace orthomix {

void RepeatedIdentifiers::count(const std::string& identifier, std::size_t rowsSoFar) {
    if (rowsSoFar == 0) return;
    ++repeatRows;
    if (rowsSoFar > 1) return;
    ++identifiers;
    if (examples.size() < kExamples) examples.push_back(identifier);
}

RepeatedIdentifiers repeatedIdentifiers(const std::vector<std::string>& identifiers) {
    RepeatedIdentifiers repeated;
    std::unordered_map<std::string_view, std::size_t> rows;
    rows.reserve(identifiers.size());
    for (const std::string& identifier : identifiers) repeated.count(identifier, rows[identifier]++);
    return repeated;
}

OrganismData mergeRepeatedRows(const OrganismData& organism, RepeatedRows rule) {
    if (rule == RepeatedRows::Keep) return organism;
    const std::size_t columns = organism.expression.columns();
    // Row of the result that holds each identifier, and how many rows went into it.
    std::unordered_map<std::string_view, std::size_t> target;
    std::vector<std::vector<std::size_t>> sources;
    std::vector<std::size_t> firstRows;
    for (std::size_t g = 0; g < organism.geneCount(); ++g) {
        const auto [place, isNew] = target.emplace(organism.identifiers[g], firstRows.size());
        if (isNew) {
            firstRows.push_back(g);
            sources.emplace_back();
        }
        sources[place->second].push_back(g);
    }
    OrganismData merged;
    merged.sampleNames = organism.sampleNames;
    merged.expression = ExpressionMatrix(0, columns);
    merged.expression.reserveRows(firstRows.size());
    std::vector<double> row(columns);
    for (std::size_t r = 0; r < firstRows.size(); ++r) {
        const std::size_t first = firstRows[r];
        merged.identifiers.push_back(organism.identifiers[first]);
        merged.annotations.push_back(first < organism.annotations.size() ? organism.annotations[first] : "");
        const std::vector<std::size_t>& rows = sources[r];
        if (rule == RepeatedRows::First || rows.size() == 1) {
            merged.expression.appendRow(organism.expression.row(first));
            continue;
        }
        // Summed in file order, so that the mean does not depend on anything else.
        for (std::size_t i = 0; i < columns; ++i) {
            double sum = 0.0;
            for (const std::size_t g : rows) sum += organism.expression.row(g)[i];
            row[i] = sum / static_cast<double>(rows.size());
        }
        merged.expression.appendRow(row.data());
    }
    return merged;
}

}  // namespace orthomix
