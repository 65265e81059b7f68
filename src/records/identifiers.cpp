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

namespace {

// The length of the run of digits at `position`.
std::size_t digitsAt(std::string_view text, std::size_t position) {
    std::size_t end = position;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    return end - position;
}

bool isMonthName(std::string_view text) {
    static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                   "jul", "aug", "sep", "oct", "nov", "dec"};
    if (text.size() != 3) return false;
    std::string lower(text);
    for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    for (const std::string_view month : kMonths) {
        if (lower == month) return true;
    }
    return false;
}

// Fields of a text split at one separator character.
std::vector<std::string_view> partsOf(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

bool isNumber(std::string_view text, std::size_t least, std::size_t most) {
    return text.size() >= least && text.size() <= most && digitsAt(text, 0) == text.size();
}

}  // namespace

bool looksLikeSpreadsheetDate(std::string_view identifier) {
    const std::vector<std::string_view> dashed = partsOf(identifier, '-');
    if (dashed.size() == 2 || dashed.size() == 3) {
        const bool dayMonth = isNumber(dashed[0], 1, 2) && isMonthName(dashed[1]);
        const bool year = dashed.size() == 2 || isNumber(dashed[2], 2, 4);
        if (dayMonth && year) return true;
        if (dashed.size() == 3 && isNumber(dashed[0], 4, 4) && isNumber(dashed[1], 1, 2) &&
            isNumber(dashed[2], 1, 2)) {
            return true;
        }
    }
    const std::vector<std::string_view> slashed = partsOf(identifier, '/');
    return slashed.size() == 3 && isNumber(slashed[0], 1, 2) && isNumber(slashed[1], 1, 2) &&
           isNumber(slashed[2], 2, 4);
}

DateLikeIdentifiers dateLikeIdentifiers(const std::vector<std::string>& identifiers) {
    DateLikeIdentifiers found;
    for (const std::string& identifier : identifiers) {
        if (!looksLikeSpreadsheetDate(identifier)) continue;
        if (found.count++ == 0) found.example = identifier;
    }
    return found;
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
