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
};

// Recognises a byte-order mark, and UTF-16 without one by the zero byte in
// every other position of its first characters (text in the Latin alphabet).
TextEncoding detectTextEncoding(std::string_view bytes);

// True when the bytes begin with the signature of a gzip member.
bool startsLikeGzip(std::string_view bytes);

// Inflates every gzip member of `compressed` into `text` (replacing what it
// held). A damaged or truncated archive fails with a message naming sourceName.
Status inflateGzip(std::string_view compressed, std::string& text, std::string_view sourceName);

// The text of an input file from its bytes: inflated when the name ends in
// ".gz" or the bytes begin like gzip, a leading UTF-8 byte-order mark
// dropped; UTF-16 and UTF-32 fail with a message that names the file and
// the encoding.
Result<std::string> decodeInputText(std::string bytes, std::string_view sourceName);

}  // namespace orthomix
