#pragma once

#include <string>
#include <string_view>

#include "support/error.h"

namespace orthomix {

// What the first bytes of a file say about how its text is encoded.
enum class TextEncoding {
    PlainOrUtf8,
    Utf8WithByteOrderMark,
    Utf16LittleEndian,
    Utf16BigEndian,
    Utf32LittleEndian,
    Utf32BigEndian,
    MarkWithoutText,  // the bytes of a UTF-16 or UTF-32 mark, followed by no text of that encoding
};

// Recognises a byte-order mark that text of its encoding follows, and UTF-16
// without one by the zero byte in every other position of its first
// characters (text in the Latin alphabet).
TextEncoding detectTextEncoding(std::string_view bytes);

// Text whose only line ends are carriage returns (old Mac files) with line
// feeds in their place; any other text as it is.
std::string withLineFeeds(std::string text);

// True when the bytes begin with the signature of a gzip member.
bool startsLikeGzip(std::string_view bytes);

// Inflates every gzip member of `compressed` into `text` (replacing what it
// held). A damaged or truncated archive fails with a message naming sourceName.
Status inflateGzip(std::string_view compressed, std::string& text, std::string_view sourceName);

// The text of an input file from its bytes: inflated when the name ends in
// ".gz" or the bytes begin like gzip, a leading UTF-8 byte-order mark
// dropped, carriage-return-only line ends made line feeds; UTF-16 and UTF-32
// fail with a message that names the file and the encoding, and the bytes of
// such a mark before other data with one that shows the first bytes.
Result<std::string> decodeInputText(std::string bytes, std::string_view sourceName);

}  // namespace orthomix
