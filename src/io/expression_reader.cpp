#include "io/expression_reader.h"

#include <algorithm>

#include "io/number_parsing.h"
#include "io/tab_separated_text.h"

namespace orthomix {
namespace {

// A line of blanks and tabs is an empty line to the eye; taking it for an
// identifier without values would reject the whole file.
bool isBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

Error tooFewValues(std::string_view sourceName, std::size_t lineNumber, std::size_t found, std::size_t expected) {
    return Error{"Line " + std::to_string(lineNumber) + " of " + std::string(sourceName) + " has " +
                 std::to_string(found) + " values, but the header names " + std::to_string(expected) + " samples"};
}

}  // namespace

Result<ExpressionFile> parseExpressionText(std::string_view text, std::string_view sourceName) {
    ExpressionFile file;
    OrganismData& data = file.data;
    LineCursor lines(text);
    std::string_view line;
    std::string_view field;
    if (lines.next(line)) {
        FieldCursor header(line);
        header.next(field);  // names the identifier column
        while (header.next(field)) data.sampleNames.emplace_back(field);
    }
    const std::size_t sampleCount = data.sampleNames.size();
    if (sampleCount == 0) return Error{"No sample columns in the header of " + std::string(sourceName)};

    const std::size_t lineEstimate = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    data.expression = ExpressionMatrix(0, sampleCount);
    data.expression.reserveRows(lineEstimate);
    data.identifiers.reserve(lineEstimate);
    std::vector<double> values(sampleCount);
    while (lines.next(line)) {
        if (isTooShortLine(line) || isBlankLine(line)) continue;
        FieldCursor fields(line);
        std::string_view identifier;
        fields.next(identifier);
        std::size_t count = 0;
        while (count < sampleCount && fields.next(field)) {
            bool isNumber = true;
            values[count++] = parseDecimalPrefix(field, &isNumber);
            if (!isNumber) ++file.nonNumericFields;
        }
        if (count < sampleCount) return tooFewValues(sourceName, lines.lineNumber(), count, sampleCount);
        data.expression.appendRow(values.data());
        data.identifiers.emplace_back(identifier);
    }
    data.annotations.assign(data.identifiers.size(), std::string());
    return file;
}

Result<ExpressionFile> readExpressionFile(const std::string& path) {
    Result<std::string> text = readInputFile(path);
    if (!text) return text.error();
    return parseExpressionText(*text, path);
}

}  // namespace orthomix
