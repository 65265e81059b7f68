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

// A run of whole gene lines of the text, read on its own (by one thread)
// into its own rows of the matrix.
struct GenePiece {
    std::string_view text;
    std::size_t linesBefore = 0;  // lines of the file before the piece
    std::size_t firstRow = 0;     // gene lines before the piece
    std::size_t geneLines = 0;
    // What reading found.
    enum class End { Complete, NotSamplesOnly, TooFewValues } end = End::Complete;
    std::size_t failedLine = 0;
    std::size_t failedValues = 0;
    std::vector<std::string> identifiers;
    ExpressionMatrix overflow;  // rows beyond the matrix's (see readGenes)
    std::vector<std::size_t> nonNumericCells;
    std::size_t nonNumericFields = 0;
    std::size_t firstNonNumericLine = 0;
    std::size_t firstNonNumericColumn = 0;
    std::string firstNonNumericText;
};

// The text cut into about `count` pieces of whole lines (each but the last
// ends with its line break), with their lines and gene lines counted.
std::vector<GenePiece> cutIntoPieces(std::string_view genes, std::size_t count, std::size_t linesBefore,
                                     Separator separator, ThreadPool* pool) {
    std::vector<GenePiece> pieces;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= count && start < genes.size(); ++i) {
        std::size_t end = genes.size();
        if (i < count) {
            const std::size_t lineBreak = genes.find('\n', std::max(start, genes.size() / count * i));
            if (lineBreak != std::string_view::npos) end = lineBreak + 1;
        }
        GenePiece piece;
        piece.text = genes.substr(start, end - start);
        pieces.push_back(std::move(piece));
        start = end;
    }
    std::vector<std::size_t> lineCounts(pieces.size());
    forRanges(pool, pieces.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t p = begin; p < end; ++p) {
            LineCursor lines(pieces[p].text);
            std::string_view line;
            while (lines.next(line)) {
                if (!isSkippedLine(line, separator)) ++pieces[p].geneLines;
            }
            lineCounts[p] = lines.lineNumber();
        }
    });
    std::size_t rows = 0;
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        pieces[p].linesBefore = linesBefore;
        pieces[p].firstRow = rows;
        linesBefore += lineCounts[p];
        rows += pieces[p].geneLines;
    }
    return pieces;
}

// Reads one piece's gene lines into rows firstRow on of `matrix`, and those
// beyond its last row into the piece's overflow. Stops at the first line
// that ends the reading (see GenePiece::End).
void readPiece(GenePiece& piece, HeaderLayout layout, Separator separator, ExpressionMatrix& matrix) {
    const std::size_t sampleCount = matrix.columns();
    std::vector<double> spare(sampleCount);
    piece.overflow = ExpressionMatrix(0, sampleCount);
    piece.identifiers.reserve(piece.geneLines);
    std::size_t row = piece.firstRow;
    LineCursor lines(piece.text);
    std::string_view line, field;
    while (lines.next(line)) {
        if (isSkippedLine(line, separator)) continue;
        const std::size_t lineNumber = piece.linesBefore + lines.lineNumber();
        double* values = row < matrix.rows() ? matrix.row(row) : spare.data();
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
            if (!isNumber) piece.nonNumericCells.push_back(row * sampleCount + count - 1);
            if (!isNumber && piece.nonNumericFields++ == 0) {
                piece.firstNonNumericLine = lineNumber;
                piece.firstNonNumericColumn = count + 1;
                piece.firstNonNumericText = field;
            }
        }
        if (layout == HeaderLayout::SamplesOnly && (count < sampleCount || fields.next(field))) {
            piece.end = GenePiece::End::NotSamplesOnly;
            return;
        }
        if (count < sampleCount) {
            piece.end = GenePiece::End::TooFewValues;
            piece.failedLine = lineNumber;
            piece.failedValues = count;
            return;
        }
        if (values == spare.data()) piece.overflow.appendRow(values);
        piece.identifiers.push_back(std::move(identifierText));
        ++row;
    }
}

// Reads the gene lines. With the samples-only layout a line of any other
// width than identifier plus one value per sample gives no file: the header
// had a corner after all. Pieces of at least minimumPieceBytes are read side
// by side; the outcome does not depend on how the text is cut.
std::optional<Result<ExpressionFile>> readGenes(std::string_view text, std::string_view header, LineCursor lines,
                                                HeaderLayout layout, Separator separator,
                                                std::string_view sourceName, ThreadPool* pool,
                                                std::size_t minimumPieceBytes) {
    ExpressionFile file;
    OrganismData& data = file.data;
    FieldCursor names(header, separator);
    std::string_view field;
    if (layout == HeaderLayout::WithCorner) names.next(field);
    while (names.next(field)) data.sampleNames.push_back(names.text(field));
    const std::size_t sampleCount = data.sampleNames.size();
    file.headerWithoutCorner = layout == HeaderLayout::SamplesOnly;

    const std::string_view genes = lines.rest();
    const std::size_t threads = pool ? pool->threads() : 1;
    const std::size_t pieceCount =
        threads > 1 ? std::min<std::size_t>(4 * threads, genes.size() / std::max<std::size_t>(minimumPieceBytes, 1) + 1)
                    : 1;
    std::vector<GenePiece> pieces = cutIntoPieces(genes, pieceCount, lines.lineNumber(), separator, pool);
    const std::size_t geneLines = pieces.empty() ? 0 : pieces.back().firstRow + pieces.back().geneLines;
    // A gene line holds its identifier and a separator per value, and with
    // tabs a character per value too (fields are never empty): that bounds
    // the rows a text of this size can hold. Lines beyond the bound are too
    // short, and one of them ends the reading; until then their rows go to
    // the pieces' overflow, so that no line's count claims memory of its own.
    const std::size_t perRow = separator == Separator::Tab ? 2 * sampleCount + 1 : sampleCount + 1;
    const std::size_t rowBound = text.size() / perRow + 1;
    // Every row is written by its piece unless a piece ends the reading.
    data.expression = ExpressionMatrix::unset(std::min(geneLines, rowBound), sampleCount);
    forRanges(pool, pieces.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t p = begin; p < end; ++p) readPiece(pieces[p], layout, separator, data.expression);
    });

    data.identifiers.reserve(geneLines);
    for (GenePiece& piece : pieces) {
        if (piece.end == GenePiece::End::NotSamplesOnly) return std::nullopt;
        if (piece.end == GenePiece::End::TooFewValues) {
            return Result<ExpressionFile>(tooFewValues(sourceName, piece.failedLine, piece.failedValues, sampleCount));
        }
        for (std::size_t r = 0; r < piece.overflow.rows(); ++r) data.expression.appendRow(piece.overflow.row(r));
        for (std::string& identifier : piece.identifiers) data.identifiers.push_back(std::move(identifier));
        file.nonNumericCells.insert(file.nonNumericCells.end(), piece.nonNumericCells.begin(),
                                    piece.nonNumericCells.end());
        if (file.nonNumericFields == 0 && piece.nonNumericFields > 0) {
            file.firstNonNumericLine = piece.firstNonNumericLine;
            file.firstNonNumericColumn = piece.firstNonNumericColumn;
            file.firstNonNumericText = std::move(piece.firstNonNumericText);
        }
        file.nonNumericFields += piece.nonNumericFields;
    }
    data.annotations.assign(data.identifiers.size(), std::string());
    return Result<ExpressionFile>(std::move(file));
}

}  // namespace

Result<ExpressionFile> parseExpressionText(std::string_view text, std::string_view sourceName, Separator separator,
                                           ThreadPool* pool, std::size_t minimumPieceBytes) {
    LineCursor lines(text);
    std::string_view header;
    const std::size_t headerFields = lines.next(header) ? fieldCount(header, separator, kNoLimit) : 0;
    // A first gene line with one field more than the header is what a table
    // written without a corner cell (or with an empty one) looks like.
    const FirstGeneLine first = firstGeneLine(lines, separator, headerFields + 2);
    if (headerFields > 0 && first.fields == headerFields + 1) {
        auto file = readGenes(text, header, lines, HeaderLayout::SamplesOnly, separator, sourceName, pool,
                              minimumPieceBytes);
        if (file) return std::move(*file);
    }
    const std::size_t sampleCount = headerFields > 0 ? headerFields - 1 : 0;  // the first names the identifiers
    if (sampleCount == 0) return Error{"No sample columns in the header of " + std::string(sourceName)};
    // A first gene line too short for the header is reported before the header's names are stored.
    if (first.lineNumber > 0 && first.fields < headerFields) {
        return tooFewValues(sourceName, first.lineNumber, first.fields - 1, sampleCount);  // a gene line has a field
    }
    return std::move(
        *readGenes(text, header, lines, HeaderLayout::WithCorner, separator, sourceName, pool, minimumPieceBytes));
}

Result<ExpressionFile> readExpressionFile(const std::string& path, ThreadPool* pool) {
    Result<std::string> text = readInputFile(path);
    if (!text) return text.error();
    const Separator separator = separatorForName(path);
    ORTHOMIX_TRY(checkSeparatorFits(*text, separator, path));
    return parseExpressionText(*text, path, separator, pool);
}

}  // namespace orthomix
