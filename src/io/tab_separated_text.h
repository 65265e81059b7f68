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
    // The text after the line last returned.
    std::string_view rest() const { return text_.substr(position_); }

private:
    std::string_view text_;
    std::size_t position_ = 0;
    std::size_t lineNumber_ = 0;
};

// How the fields of a line are separated.
enum class Separator {
    // A run of tabs is one separator and tabs at either end are ignored, so
    // no field is ever empty.
    Tab,
    // Every comma separates, so fields may be empty; a field that starts
    // with a double quote runs to the closing quote, commas included, and a
    // doubled quote inside it stands for one quote. A line break inside a
    // quoted field is not supported: the field ends with its line.
    Comma,
};

// Comma for a name ending in .csv or .csv.gz (in any case), Tab otherwise.
Separator separatorForName(std::string_view name);

// A tab-separated text without a single tab but with commas was most likely
// written comma-separated: the message says so and how to read it.
Status checkSeparatorFits(std::string_view text, Separator separator, std::string_view sourceName);

// Walks the fields of one line.
class FieldCursor {
public:
    explicit FieldCursor(std::string_view line, Separator separator = Separator::Tab)
        : line_(line), separator_(separator) {}

    // False when the line holds no further field. A quoted field comes
    // without its quotes, doubled quotes still doubled (see text).
    bool next(std::string_view& field);
    // The field as a string, its doubled quotes made single.
    std::string text(std::string_view field) const;

private:
    bool nextQuoted(std::string_view& field);

    std::string_view line_;
    Separator separator_;
    std::size_t position_ = 0;
    bool finished_ = false;   // comma-separated: the last field has been returned
    bool doubledQuotes_ = false;  // the last field returned holds doubled quotes
};

// Lines of at most one character are skipped by every reader.
inline bool isTooShortLine(std::string_view line) { return line.size() <= 1; }

// A line of blanks and separators only: an empty line to the eye.
bool isBlankLine(std::string_view line, Separator separator);

// The first two fields of a line, as text; false for a line that is too
// short or holds fewer than two non-empty fields, which the two-column
// readers skip.
bool leadingFieldPair(std::string_view line, Separator separator, std::string& first, std::string& second);

}  // namespace orthomix
