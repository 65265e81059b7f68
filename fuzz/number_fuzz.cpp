// The decimal prefix rule against the C library's strtod: wherever strtod reads
// the same prefix (it also reads infinities, NaNs and hexadecimal numbers),
// the result must be the same to the last bit. The whole-number prefix is
// compared with strtoll the same way.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>

#include "fuzz_support.h"
#include "io/number_parsing.h"

using namespace orthomix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    bool isNumber = false;
    const double value = parseDecimalPrefix(text, &isNumber);
    const std::size_t length = decimalPrefixLength(text);
    FUZZ_CHECK(isNumber == (length != 0));
    FUZZ_CHECK(length <= text.size());
    if (!isNumber) FUZZ_CHECK(value == 0.0);

    // On the prefix alone strtod must read all of it and agree to the bit.
    const std::string prefix = text.substr(0, length);
    char* end = nullptr;
    const double reference = std::strtod(prefix.c_str(), &end);
    FUZZ_CHECK(static_cast<std::size_t>(end - prefix.c_str()) == length);
    FUZZ_CHECK(std::memcmp(&value, &reference, sizeof value) == 0);

    // On the whole text strtod reads further only into the forms the rule
    // leaves out. (It stops at a zero byte, which the rule treats as junk.)
    std::strtod(text.c_str(), &end);
    if (static_cast<std::size_t>(end - text.c_str()) != length) {
        std::size_t start = std::strspn(text.c_str(), " \t\n\v\f\r");
        if (text[start] == '+' || text[start] == '-') ++start;
        const auto startsWith = [&](const char* word) { return strncasecmp(text.c_str() + start, word, std::strlen(word)) == 0; };
        FUZZ_CHECK(startsWith("inf") || startsWith("nan") || startsWith("0x"));
    }

    // The whole-number prefix against strtoll, which reads the same white
    // space, sign and digits; only the saturation point differs.
    const WholeNumberPrefix whole = parseWholeNumberPrefix(text);
    std::size_t digitsStart = std::strspn(text.c_str(), " \t\n\v\f\r");
    if (text[digitsStart] == '+' || text[digitsStart] == '-') ++digitsStart;
    FUZZ_CHECK(whole.hasDigits == (text[digitsStart] >= '0' && text[digitsStart] <= '9'));
    errno = 0;
    const long long wide = std::strtoll(text.c_str(), nullptr, 10);
    const bool saturated = errno == ERANGE || wide >= WholeNumberPrefix::kSaturation ||
                           wide <= -WholeNumberPrefix::kSaturation;
    if (saturated) {
        FUZZ_CHECK(whole.value == (wide < 0 ? -WholeNumberPrefix::kSaturation : WholeNumberPrefix::kSaturation));
    } else {
        FUZZ_CHECK(whole.value == wide);
    }
    const std::int32_t integer = parseIntegerPrefix(text);
    FUZZ_CHECK(integer == std::clamp<std::int64_t>(whole.value, INT32_MIN, INT32_MAX));
    return 0;
}
