#include "io/expression_reader.h"

#include <algorithm>
#include <memory>

#include "driver/fatal.h"
#include "io/number_parsing.h"
#include "io/tab_separated_text.h"

namespace orthomix {
namespace {

// A line of blanks and tabs is an empty line to the eye; taking it for an
// identifier without values would reject the whole file.
bool isBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

std::string tooFewValuesMessage(std::string_view sourceName, std::size_t lineNumber, std::size_t found,
                                std::size_t expected) {
    return "Line " + std::to_string(lineNumber) + " of " + std::string(sourceName) + " has " +
           std::to_string(found) + " values, but the header names " + std::to_string(expected) + " samples";
}

}  // namespace

std::string parseExpressionText(std::string_view text, std::string_view sourceName, GeneStore& store,
                                std::vector<GeneRecord*>& genes, std::vector<std::string>& sampleNames,
                                ExpressionReadSummary& summary) {
    genes.clear();
    sampleNames.clear();
    summary = ExpressionReadSummary{};

    LineCursor lines(text);
    std::string_view line;
    std::string_view field;
    if (lines.next(line)) {
        FieldCursor header(line);
        header.next(field);  // names the identifier column
        while (header.next(field)) sampleNames.emplace_back(field);
    }
    const std::size_t sampleCount = sampleNames.size();
    if (sampleCount == 0) return "No sample columns in the header of " + std::string(sourceName);

    const std::size_t lineEstimate = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    genes.reserve(lineEstimate);
    store.reserve(store.size() + lineEstimate);

    while (lines.next(line)) {
        if (isTooShortLine(line) || isBlankLine(line)) continue;
        FieldCursor fields(line);
        std::string_view identifier;
        fields.next(identifier);
        std::vector<double> values;
        values.reserve(sampleCount);
        while (values.size() < sampleCount && fields.next(field)) {
            bool isNumber = true;
            values.push_back(parseDecimalPrefix(field, &isNumber));
            if (!isNumber) ++summary.nonNumericFields;
        }
        if (values.size() < sampleCount) {
            return tooFewValuesMessage(sourceName, lines.lineNumber(), values.size(), sampleCount);
        }
        store.push_back(std::make_unique<GeneRecord>(std::move(values), std::string(identifier)));
        genes.push_back(store.back().get());
    }
    return {};
}

ExpressionReadSummary readExpressionFile(const std::string& path, GeneStore& store, std::vector<GeneRecord*>& genes,
                                         std::vector<std::string>& sampleNames) {
    const std::string text = readInputFile(path);
    ExpressionReadSummary summary;
    const std::string error = parseExpressionText(text, path, store, genes, sampleNames, summary);
    if (!error.empty()) fatalError(error);
    return summary;
}

}  // namespace orthomix
