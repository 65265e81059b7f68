// The parameter reader on arbitrary text: keys and values come out trimmed and
// free of line feeds, and taking the settings out never fails.
#include <string>

#include "driver/parameters.h"
#include "fuzz_support.h"

using namespace orthomix;

namespace {

bool isTrimmed(const std::string& text) {
    if (text.find('\n') != std::string::npos) return false;
    if (text.empty()) return true;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    return !blank(text.front()) && !blank(text.back());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto table = parseParameterText(text);
    for (const auto& [key, value] : table) {
        FUZZ_CHECK(isTrimmed(key));
        FUZZ_CHECK(key.find('=') == std::string::npos);
        FUZZ_CHECK(isTrimmed(value));
    }
    const ParameterSetting setting = parameterSettingFrom(table);
    FUZZ_CHECK(setting.kmeansMaxIterations == 1);
    const auto found = table.find("dataFile_hm");
    FUZZ_CHECK(setting.dataFile_hm == (found == table.end() ? std::string() : found->second));
    FUZZ_CHECK(unrecognisedKeys(table).size() <= table.size());
    return 0;
}
