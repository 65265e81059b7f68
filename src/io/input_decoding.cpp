#include "io/input_decoding.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <string>

#define ZLIB_CONST
#include <zlib.h>

#include "support/huge_pages.h"

namespace orthomix {
namespace {

// zlib counts bytes in unsigned int; larger buffers go in pieces.
constexpr std::size_t kLargestPiece = std::size_t{1} << 30;
// Deflate cannot shrink data by more than about 1032 to 1, which bounds a
// size read from a damaged trailer.
constexpr std::size_t kLargestRatio = 1032;
// A gzip member is at least a 10-byte header and an 8-byte trailer.
constexpr std::size_t kSmallestMember = 18;
// Bytes looked at to recognise UTF-16 without a byte-order mark.
constexpr std::size_t kEncodingSample = 256;

unsigned char byteAt(std::string_view bytes, std::size_t i) { return static_cast<unsigned char>(bytes[i]); }

bool startsWith(std::string_view bytes, std::initializer_list<unsigned char> prefix) {
    if (bytes.size() < prefix.size()) return false;
    std::size_t i = 0;
    for (const unsigned char expected : prefix) {
        if (byteAt(bytes, i++) != expected) return false;
    }
    return true;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The last member's trailer records its inflated size modulo 2^32: exact for
// the usual single member below 4 GB, and only a first guess otherwise.
std::size_t inflatedSizeGuess(std::string_view compressed) {
    if (compressed.size() < kSmallestMember) return 64;
    const std::size_t end = compressed.size();
    const std::size_t recorded = std::size_t{byteAt(compressed, end - 4)} | std::size_t{byteAt(compressed, end - 3)} << 8 |
                                 std::size_t{byteAt(compressed, end - 2)} << 16 |
                                 std::size_t{byteAt(compressed, end - 1)} << 24;
    return std::clamp(recorded, std::size_t{64}, compressed.size() * kLargestRatio);
}

class InflateStream {
public:
    InflateStream() {
        // 16 + the largest window: gzip framing only, with its checksum checked.
        if (inflateInit2(&stream_, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
    }
    ~InflateStream() { inflateEnd(&stream_); }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
    z_stream* get() { return &stream_; }

private:
    z_stream stream_{};
};

std::string encodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf16LittleEndian:
            return "UTF-16 (little-endian), which some editors call \"Unicode\"";
        case TextEncoding::Utf16BigEndian:
            return "UTF-16 (big-endian), which some editors call \"Unicode big endian\"";
        case TextEncoding::Utf32LittleEndian:
            return "UTF-32 (little-endian)";
        case TextEncoding::Utf32BigEndian:
            return "UTF-32 (big-endian)";
        default:
            return "UTF-8";
    }
}

// Of the first two-byte units, how many hold a character below 256 in the
// given byte order: key names, identifiers, numbers, tabs and line ends all
// do, as the character and a zero byte.
struct Utf16Sample {
    std::size_t units = 0;
    std::size_t latinLittleEndian = 0;
    std::size_t latinBigEndian = 0;
};

Utf16Sample sampleUtf16(std::string_view bytes) {
    Utf16Sample sample;
    sample.units = std::min(bytes.size(), kEncodingSample) / 2;
    for (std::size_t u = 0; u < sample.units; ++u) {
        const unsigned char first = byteAt(bytes, 2 * u);
        const unsigned char second = byteAt(bytes, 2 * u + 1);
        if (first != 0 && second == 0) ++sample.latinLittleEndian;
        if (first == 0 && second != 0) ++sample.latinBigEndian;
    }
    return sample;
}

// After a mark, half the characters below 256 make text of that encoding:
// even data in another script has its tabs, line ends and numbers.
bool utf16TextFollows(std::string_view afterMark, bool littleEndian) {
    const Utf16Sample sample = sampleUtf16(afterMark);
    if (sample.units == 0) return afterMark.empty();  // the mark alone: an empty file of that encoding
    const std::size_t latin = littleEndian ? sample.latinLittleEndian : sample.latinBigEndian;
    return latin * 2 >= sample.units;
}

// Every four-byte unit a code point (below 0x110000): a stray mark before
// single-byte text gives far larger numbers at once.
bool utf32TextFollows(std::string_view afterMark, bool littleEndian) {
    const std::size_t units = std::min(afterMark.size(), kEncodingSample) / 4;
    if (afterMark.size() % 4 != 0 && units < kEncodingSample / 4) return false;
    for (std::size_t u = 0; u < units; ++u) {
        std::uint32_t value = 0;
        for (std::size_t b = 0; b < 4; ++b) {
            const std::size_t at = 4 * u + (littleEndian ? 3 - b : b);
            value = value << 8 | byteAt(afterMark, at);
        }
        if (value >= 0x110000) return false;
    }
    return true;
}

// "FF FE 68 73": the first bytes of a file, for a message about what it holds.
std::string firstBytesInHex(std::string_view bytes) {
    constexpr std::size_t kShown = 8;
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < std::min(bytes.size(), kShown); ++i) {
        if (i > 0) text += ' ';
        text += kDigits[byteAt(bytes, i) >> 4];
        text += kDigits[byteAt(bytes, i) & 0xF];
    }
    return text;
}

}  // namespace

TextEncoding detectTextEncoding(std::string_view bytes) {
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF})) return TextEncoding::Utf8WithByteOrderMark;
    if (startsWith(bytes, {0xFF, 0xFE, 0x00, 0x00}) && utf32TextFollows(bytes.substr(4), true)) {
        return TextEncoding::Utf32LittleEndian;
    }
    if (startsWith(bytes, {0x00, 0x00, 0xFE, 0xFF}) && utf32TextFollows(bytes.substr(4), false)) {
        return TextEncoding::Utf32BigEndian;
    }
    if (startsWith(bytes, {0xFF, 0xFE})) {
        return utf16TextFollows(bytes.substr(2), true) ? TextEncoding::Utf16LittleEndian : TextEncoding::MarkWithoutText;
    }
    if (startsWith(bytes, {0xFE, 0xFF})) {
        return utf16TextFollows(bytes.substr(2), false) ? TextEncoding::Utf16BigEndian : TextEncoding::MarkWithoutText;
    }
    if (startsWith(bytes, {0x00, 0x00, 0xFE, 0xFF})) return TextEncoding::MarkWithoutText;
    // Without a mark, three quarters of the characters below 256 are needed.
    const Utf16Sample sample = sampleUtf16(bytes);
    if (sample.units < 2) return TextEncoding::PlainOrUtf8;
    if (sample.latinLittleEndian * 4 >= sample.units * 3) return TextEncoding::Utf16LittleEndian;
    if (sample.latinBigEndian * 4 >= sample.units * 3) return TextEncoding::Utf16BigEndian;
    return TextEncoding::PlainOrUtf8;
}

std::string withLineFeeds(std::string text) {
    if (text.find('\n') != std::string::npos || text.find('\r') == std::string::npos) return text;
    std::replace(text.begin(), text.end(), '\r', '\n');
    return text;
}

bool startsLikeGzip(std::string_view bytes) { return startsWith(bytes, {0x1F, 0x8B}); }

Status inflateGzip(std::string_view compressed, std::string& text, std::string_view sourceName) {
    const std::string cannotRead = "Cannot read " + std::string(sourceName) + ": ";
    InflateStream inflater;
    z_stream* stream = inflater.get();
    const std::size_t guess = inflatedSizeGuess(compressed);
    text.clear();
    reserveWithHugePages(text, guess);
    text.resize(guess);
    std::size_t fed = 0;
    std::size_t produced = 0;
    for (;;) {
        if (stream->avail_in == 0 && fed < compressed.size()) {
            const std::size_t piece = std::min(compressed.size() - fed, kLargestPiece);
            stream->next_in = reinterpret_cast<const Bytef*>(compressed.data() + fed);
            stream->avail_in = static_cast<uInt>(piece);
            fed += piece;
        }
        if (produced == text.size()) {
            reserveWithHugePages(text, text.size() * 2);
            text.resize(text.size() * 2);
        }
        const std::size_t room = std::min(text.size() - produced, kLargestPiece);
        stream->next_out = reinterpret_cast<Bytef*>(text.data() + produced);
        stream->avail_out = static_cast<uInt>(room);
        const int status = inflate(stream, Z_NO_FLUSH);
        produced += room - stream->avail_out;
        if (status == Z_OK) continue;
        if (status == Z_STREAM_END) {
            const std::size_t unread = stream->avail_in + (compressed.size() - fed);
            const std::string_view rest = compressed.substr(compressed.size() - unread);
            if (rest.find_first_not_of('\0') == std::string_view::npos) break;  // padding, as tape archives leave
            // Concatenated archives (cat a.gz b.gz) hold the texts one after the other.
            if (!startsLikeGzip(rest)) return Error{cannotRead + "it holds other data after its compressed text"};
            inflateReset(stream);
            continue;
        }
        // With input and room left, no progress means the input ran out.
        if (status == Z_BUF_ERROR && stream->avail_in == 0 && fed == compressed.size()) {
            return Error{cannotRead + "the compressed data ends early (the file is truncated)"};
        }
        if (status == Z_MEM_ERROR) throw std::bad_alloc();
        return Error{cannotRead + "the compressed data is damaged (" +
                     std::string(stream->msg ? stream->msg : "not valid gzip data") + ")"};
    }
    text.resize(produced);
    return okStatus();
}

Result<std::string> decodeInputText(std::string bytes, std::string_view sourceName) {
    const std::string cannotRead = "Cannot read " + std::string(sourceName) + ": ";
    if (startsLikeGzip(bytes)) {
        std::string text;
        ORTHOMIX_TRY(inflateGzip(bytes, text, sourceName));
        bytes = std::move(text);
    } else if (endsWith(sourceName, ".gz")) {
        return Error{cannotRead + "its name ends in .gz, but it is not gzip-compressed (rename a plain text file "
                                  "without .gz)"};
    }
    const TextEncoding encoding = detectTextEncoding(bytes);
    switch (encoding) {
        case TextEncoding::PlainOrUtf8:
            return withLineFeeds(std::move(bytes));
        case TextEncoding::Utf8WithByteOrderMark:
            bytes.erase(0, 3);
            return withLineFeeds(std::move(bytes));
        case TextEncoding::MarkWithoutText:
            return Error{cannotRead + "it begins with the bytes " + firstBytesInHex(bytes) +
                         ", the mark of UTF-16 or UTF-32 text, but what follows is not text of that encoding; "
                         "input files must be plain text or UTF-8"};
        default:
            return Error{cannotRead + "it is encoded as " + encodingName(encoding) +
                         "; input files must be plain text or UTF-8 (save it again as UTF-8)"};
    }
}

}  // namespace orthomix
