// Input decoding on any bytes: a gzip archive of the bytes gives them back,
// whole or cut anywhere; damaged archives fail with a message naming the file
// and never read or write out of bounds; plain text passes unchanged but for
// old Mac line ends, which become line feeds.
#include <algorithm>
#include <string>

#define ZLIB_CONST
#include <zlib.h>

#include "fuzz_support.h"
#include "io/input_decoding.h"

using namespace orthomix;

namespace {

std::string gzipped(std::string_view text) {
    z_stream stream{};
    FUZZ_CHECK(deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK);
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<const Bytef*>(text.data());
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    FUZZ_CHECK(deflate(&stream, Z_FINISH) == Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::asText(data, size);

    // The bytes as a file of their own: whatever comes out, nothing breaks.
    const Result<std::string> direct = decodeInputText(std::string(bytes), "input.gz");
    if (!direct) FUZZ_CHECK(direct.error().message.rfind("Cannot read input.gz: ", 0) == 0);
    const TextEncoding encoding = detectTextEncoding(bytes);
    if (!startsLikeGzip(bytes) && encoding == TextEncoding::PlainOrUtf8) {
        const Result<std::string> plain = decodeInputText(std::string(bytes), "input.txt");
        // Old Mac line ends (carriage returns and no line feed) become line feeds; nothing else changes.
        std::string expected(bytes);
        if (expected.find('\n') == std::string::npos) std::replace(expected.begin(), expected.end(), '\r', '\n');
        FUZZ_CHECK(plain.ok() && *plain == expected);
    }

    // The bytes compressed: read back whole, and cut short they fail as truncated.
    const std::string archive = gzipped(bytes);
    std::string inflated;
    FUZZ_CHECK(inflateGzip(archive, inflated, "a.gz").ok());
    FUZZ_CHECK(inflated == bytes);
    const std::size_t cut = size % archive.size();
    const Status truncated = inflateGzip(std::string_view(archive).substr(0, cut), inflated, "a.gz");
    FUZZ_CHECK(!truncated.ok());
    FUZZ_CHECK(truncated.error().message == "Cannot read a.gz: the compressed data ends early (the file is truncated)");
    return 0;
}
