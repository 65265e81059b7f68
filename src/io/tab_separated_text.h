#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "support/error.h"

namespace orthomix {

// Reads a whole input file into memory; false when it cannot be opened or read.
bool readFileContents(const std::string& path, std::string& contents);

// The text of an input file: "Cannot open <path>" when it cannot be read,
// inflated when gzip-compressed, without a UTF-8 byte-order mark; a file in
// UTF-16 or UTF-32 fails (see decodeInputText).
Result<std::string> readInputFile(const std::string& path);

// Walks a text line by line. A line ends at a line feed; a carriage return
// just before it (or at the very end) is dropped; a last line without a line
// feed counts. There is no length limit.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : text_(text) {}

    // False when the text is exhausted.
    bool next(std::string_view& line);
    // 1-based number of the line last returned.
    std::size_t lineNumber() const { return lineNumber_; }

private:
    std::string_view text_;
    std::size_t position_ = 0;
    std::size_t lineNumber_ = 0;
};

// Walks the fields of one line: a run of tabs is one separator and tabs at
// either end are ignored, so no field is ever empty.
class FieldCursor {
public:
    explicit FieldCursor(std::string_view line) : line_(line) {}

    // False when the line holds no further field.
    bool next(std::string_view& field);

private:
    std::string_view line_;
    std::size_t position_ = 0;
};

// Lines of at most one character are skipped by every reader.
inline bool isTooShortLine(std::string_view line) { return line.size() <= 1; }

// The first two fields of a line; false for a line that is too short or
// holds fewer than two fields, which the two-column readers skip.
bool leadingFieldPair(std::string_view line, std::string_view& first, std::string_view& second);

}  // namespace orthomix
