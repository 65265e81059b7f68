#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "io/tab_separated_text.h"
#include "records/organism_data.h"
#include "support/error.h"
#include "support/thread_pool.h"

namespace orthomix {

// One expression data file as read: sample names, gene identifiers and the
// values (annotations still empty).
struct ExpressionFile {
    OrganismData data;
    // Value fields read as 0.0: they hold no number (NA), or one beyond the
    // range of a double (1e309).
    std::size_t nonNumericFields = 0;
    // The first of them: 1-based line and field (the identifier is field 1), and its text.
    std::size_t firstNonNumericLine = 0;
    std::size_t firstNonNumericColumn = 0;
    std::string firstNonNumericText;
    // Every such field, as row * sample count + column, in increasing order.
    std::vector<std::size_t> nonNumericCells;
    // The header named the samples alone (no corner cell over the
    // identifiers): every gene line held one field more than the header.
    bool headerWithoutCorner = false;
};

// Parses an expression data file held in memory: a header of sample names
// (its first field dropped, unless every gene line holds one field more than
// the header, which then names the samples alone), then one gene per line. Lines of at most one
// character, or of blanks and tabs only, are skipped. Fails, naming
// sourceName and the line, on a header without sample columns or a data line
// with too few values. The sample names are stored only once the first data
// line has shown that it holds a value for each of them, so that a header of
// millions of names over short data lines fails before it costs memory.
// With a pool, the gene lines are read in pieces of at least
// minimumPieceBytes side by side; the file read is the same.
inline constexpr std::size_t kMinimumPieceBytes = std::size_t{1} << 18;
Result<ExpressionFile> parseExpressionText(std::string_view text, std::string_view sourceName,
                                           Separator separator = Separator::Tab, ThreadPool* pool = nullptr,
                                           std::size_t minimumPieceBytes = kMinimumPieceBytes);

// Reads and parses the file, comma-separated when its name says so (see
// separatorForName); "Cannot open <path>" when it cannot be read.
Result<ExpressionFile> readExpressionFile(const std::string& path, ThreadPool* pool = nullptr);

}  // namespace orthomix
