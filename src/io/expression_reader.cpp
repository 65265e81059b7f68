#include "io/expression_reader.h"

#include <algorithm>
#include <cmath>

#include "io/number_parsing.h"
#include "io/tab_separated_text.h"

namespace orthomix {
namespace {

// A line of blanks and tabs is an empty line to the eye; taking it for an
// identifier without values would reject the whole file.
bool isBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// The fields of a line, counted up to `limit`.
std::size_t fieldCount(std::string_view line, std::size_t limit) {
    FieldCursor fields(line);
    std::string_view field;
    std::size_t count = 0;
    while (count < limit && fields.next(field)) ++count;
    return count;
}

Error tooFewValues(std::string_view sourceName, std::size_t lineNumber, std::size_t found, std::size_t expected) {
    return Error{"Line " + std::to_string(lineNumber) + " of " + std::string(sourceName) + " has " +
                 std::to_string(found) + " values, but the header names " + std::to_string(expected) + " samples"};
}

// Looks ahead (the cursor is a copy) at the first gene line: one too short for
// the header is reported before the header's names are stored.
Status checkFirstGeneLine(LineCursor lines, std::size_t sampleCount, std::string_view sourceName) {
    std::string_view line;
    while (lines.next(line)) {
        if (isTooShortLine(line) || isBlankLine(line)) continue;
        const std::size_t values = fieldCount(line, sampleCount + 1) - 1;  // a non-blank line has a field
        if (values < sampleCount) return tooFewValues(sourceName, lines.lineNumber(), values, sampleCount);
        break;
    }
    return okStatus();
}

}  // namespace

Result<ExpressionFile> parseExpressionText(std::string_view text, std::string_view sourceName) {
    ExpressionFile file;
    OrganismData& data = file.data;
    LineCursor lines(text);
    std::string_view header;
    std::string_view field;
    const std::size_t headerFields = lines.next(header) ? fieldCount(header, kNoLimit) : 0;
    const std::size_t sampleCount = headerFields > 0 ? headerFields - 1 : 0;  // the first names the identifiers
    if (sampleCount == 0) return Error{"No sample columns in the header of " + std::string(sourceName)};
    ORTHOMIX_TRY(checkFirstGeneLine(lines, sampleCount, sourceName));
    FieldCursor names(header);
    names.next(field);
    data.sampleNames.reserve(sampleCount);
    while (names.next(field)) data.sampleNames.emplace_back(field);

    // Every gene line holds at least its identifier and one character and a
    // tab per value, which bounds the rows however many lines the text has.
    const std::size_t lineEstimate = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    const std::size_t rowBound = text.size() / (2 * sampleCount + 1) + 1;
    data.expression = ExpressionMatrix(0, sampleCount);
    data.expression.reserveRows(std::min(lineEstimate, rowBound));
    data.identifiers.reserve(std::min(lineEstimate, rowBound));
    std::vector<double> values(sampleCount);
    std::string_view line;
    while (lines.next(line)) {
        if (isTooShortLine(line) || isBlankLine(line)) continue;
        FieldCursor fields(line);
        std::string_view identifier;
        fields.next(identifier);
        std::size_t count = 0;
        while (count < sampleCount && fields.next(field)) {
            bool isNumber = true;
            double value = parseDecimalPrefix(field, &isNumber);
            // A number beyond the range of a double is no more usable than NA.
            if (!std::isfinite(value)) {
                value = 0.0;
                isNumber = false;
            }
            values[count++] = value;
            if (!isNumber && file.nonNumericFields++ == 0) {
                file.firstNonNumericLine = lines.lineNumber();
                file.firstNonNumericColumn = count + 1;
                file.firstNonNumericText = field;
            }
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
