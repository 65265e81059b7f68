// The parameter table against a plain character-by-character reading of the
// key = value rule, and the settings taken out of any table: they never fail,
// and every one of them can be shown as JSON and checked.
#include <map>
#include <string>
#include <vector>

#include "driver/settings/settings.h"
#include "fuzz_support.h"
#include "io/k_value_list.h"
#include "io/parameter_file.h"

using namespace orthomix;

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first])) ++first;
    while (last > first && isBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::map<std::string, std::string> referenceTable(const std::string& text) {
    std::map<std::string, std::string> table;
    std::string line;
    const auto finish = [&]() {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) table[trimmed(line.substr(0, equals))] = trimmed(line.substr(equals + 1));
        line.clear();
    };
    for (const char c : text) {
        if (c == '\n') {
            finish();
        } else {
            line += c;
        }
    }
    finish();
    return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ParameterTable table = parseParameterText(text);
    FUZZ_CHECK(table == referenceTable(text));

    const ParameterSetting settings = settingsFromTable(table);
    FUZZ_CHECK(settings.kmeansMaxIterations == 1);
    const auto found = table.find("dataFile_hm");
    FUZZ_CHECK(settings.dataFile_hm == (found == table.end() ? std::string() : found->second));
    FUZZ_CHECK(settings.seed.has_value() == (table.count("seed") != 0));

    // A list that reads is ascending without repeats, every k at least 1.
    const std::vector<std::int32_t>& ks = settings.kValues;
    FUZZ_CHECK(ks.size() <= kMaxKValues);
    for (std::size_t i = 0; i < ks.size(); ++i) FUZZ_CHECK(ks[i] >= 1 && (i == 0 || ks[i - 1] < ks[i]));

    std::size_t known = 0;
    for (const SettingDefinition& definition : kSettings) {
        known += table.count(std::string(definition.key));
        FUZZ_CHECK(!settingAsJson(settings, definition).empty());
    }
    FUZZ_CHECK(unrecognisedKeys(table).size() + known == table.size());
    // One warning per unrecognised key comes first; suggestions are known keys.
    const std::vector<std::string> warnings = parameterWarnings(table, "params.txt");
    FUZZ_CHECK(warnings.size() >= table.size() - known);
    for (const std::string& key : unrecognisedKeys(table)) {
        const std::string_view suggestion = closestKey(key);
        bool isKnown = suggestion.empty();
        for (const SettingDefinition& definition : kSettings) isKnown = isKnown || definition.key == suggestion;
        FUZZ_CHECK(isKnown);
    }
    for (const std::string& warning : warnings) {
        FUZZ_CHECK(warning.find(" in parameter file params.txt") != std::string::npos);
    }

    const Status checked = checkSettings(settings, table, "params.txt");
    if (!checked) FUZZ_CHECK(checked.error().message.find(" in parameter file params.txt") != std::string::npos);
    return 0;
}
