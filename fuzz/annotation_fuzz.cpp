// The annotation reader against the plain splitter, on identifiers the input
// itself holds (some of them more than once) and one it does not.
#include <map>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "io/annotation_reader.h"

using namespace orthomix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    const auto lines = fuzz::referenceLines(text);

    std::map<std::string, std::string> expected;
    std::vector<std::string> identifiers = {"absent"};
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const auto& fields = lines[l].fields;
        if (!fields.empty()) identifiers.push_back(fields[0]);
        if (l == 0 || lines[l].length <= 1 || fields.size() < 2) continue;
        expected[fields[0]] = fields[1];
    }

    const std::vector<std::string> annotations = annotationsFromText(text, identifiers);
    FUZZ_CHECK(annotations.size() == identifiers.size());
    for (std::size_t g = 0; g < identifiers.size(); ++g) {
        const auto found = expected.find(identifiers[g]);
        FUZZ_CHECK(annotations[g] == (found == expected.end() ? std::string() : found->second));
    }
    return 0;
}
