#include "io/expression_reader.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "io/number_parsing.h"
#include "io/tab_separated_text.h"

namespace orthomix {
namespace {

// A blank line is an empty line to the eye; taking it for an identifier
// without values would reject the whole file.
bool isSkippedLine(std::string_view line, Separator separator) {
    return isTooShortLine(line) || isBlankLine(line, separator);
}

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// The fields of a line, counted up to `limit`.
std::size_t fieldCount(std::string_view line, Separator separator, std::size_t limit) {
    FieldCursor fields(line, separator);
    std::string_view field;
    std::size_t count = 0;
    while (count < limit && fields.next(field)) ++count;
    return count;
}

Error tooFewValues(std::string_view sourceName, std::size_t lineNumber, std::size_t found, std::size_t expected) {
    return Error{"Line " + std::to_string(lineNumber) + " of " + std::string(sourceName) + " has " +
                 std::to_string(found) + " values, but the header names " + std::to_string(expected) + " samples"};
}

// The fields of the first gene line (the cursor is a copy), counted up to
// `limit`, and its line number; 0 fields when the file holds no gene line.
struct FirstGeneLine {
    std::size_t fields = 0;
    std::size_t lineNumber = 0;
};
FirstGeneLine firstGeneLine(LineCursor lines, Separator separator, std::size_t limit) {
    std::string_view line;
    while (lines.next(line)) {
        if (!isSkippedLine(line, separator)) return {fieldCount(line, separator, limit), lines.lineNumber()};
    }
    return {};
}

// How the header relates to the gene lines.
enum class HeaderLayout {
    WithCorner,     // its first field names the identifier column
    SamplesOnly,    // it names the samples alone; every gene line has one field more
};

// Reads the gene lines. With the samples-only layout a line of any other
// width than identifier plus one value per sample gives no file: the header
// had a corner after all.
std::optional<Result<ExpressionFile>> readGenes(std::string_view text, std::string_view header, LineCursor lines,
                                                HeaderLayout layout, Separator separator,
                                                std::string_view sourceName) {
    ExpressionFile file;
    OrganismData& data = file.data;
    FieldCursor names(header, separator);
    std::string_view field;
    if (layout == HeaderLayout::WithCorner) names.next(field);
    while (names.next(field)) data.sampleNames.push_back(names.text(field));
    const std::size_t sampleCount = data.sampleNames.size();
    file.headerWithoutCorner = layout == HeaderLayout::SamplesOnly;

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
        if (isSkippedLine(line, separator)) continue;
        FieldCursor fields(line, separator);
        std::string_view identifier;
        fields.next(identifier);
        std::string identifierText = fields.text(identifier);
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
            if (!isNumber) file.nonNumericCells.push_back(data.identifiers.size() * sampleCount + count - 1);
            if (!isNumber && file.nonNumericFields++ == 0) {
                file.firstNonNumericLine = lines.lineNumber();
                file.firstNonNumericColumn = count + 1;
                file.firstNonNumericText = field;
            }
        }
        if (layout == HeaderLayout::SamplesOnly && (count < sampleCount || fields.next(field))) return std::nullopt;
        if (count < sampleCount) {
            return Result<ExpressionFile>(tooFewValues(sourceName, lines.lineNumber(), count, sampleCount));
        }
        data.expression.appendRow(values.data());
        data.identifiers.push_back(std::move(identifierText));
    }
    data.annotations.assign(data.identifiers.size(), std::string());
    return Result<ExpressionFile>(std::move(file));
}

}  // namespace

Result<ExpressionFile> parseExpressionText(std::string_view text, std::string_view sourceName, Separator separator) {
    LineCursor lines(text);
    std::string_view header;
    const std::size_t headerFields = lines.next(header) ? fieldCount(header, separator, kNoLimit) : 0;
    // A first gene line with one field more than the header is what a table
    // written without a corner cell (or with an empty one) looks like.
    const FirstGeneLine first = firstGeneLine(lines, separator, headerFields + 2);
    if (headerFields > 0 && first.fields == headerFields + 1) {
        auto file = readGenes(text, header, lines, HeaderLayout::SamplesOnly, separator, sourceName);
        if (file) return std::move(*file);
    }
    const std::size_t sampleCount = headerFields > 0 ? headerFields - 1 : 0;  // the first names the identifiers
    if (sampleCount == 0) return Error{"No sample columns in the header of " + std::string(sourceName)};
    // A first gene line too short for the header is reported before the header's names are stored.
    if (first.lineNumber > 0 && first.fields < headerFields) {
        return tooFewValues(sourceName, first.lineNumber, first.fields - 1, sampleCount);  // a gene line has a field
    }
    return std::move(*readGenes(text, header, lines, HeaderLayout::WithCorner, separator, sourceName));
}

Result<ExpressionFile> readExpressionFile(const std::string& path) {
    Result<std::string> text = readInputFile(path);
    if (!text) return text.error();
    const Separator separator = separatorForName(path);
    ORTHOMIX_TRY(checkSeparatorFits(*text, separator, path));
    return parseExpressionText(*text, path, separator);
}

}  // namespace orthomix
