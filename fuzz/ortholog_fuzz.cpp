// The ortholog reader against the plain splitter: the same distinct pairs in
// the same order, every value 0.
#include <set>
#include <string>
#include <utility>

#include "fuzz_support.h"
#include "io/annotation_reader.h"

using namespace orthomix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    std::set<std::pair<std::string, std::string>> expected;
    for (const fuzz::ReferenceLine& line : fuzz::referenceLines(text)) {
        if (line.length <= 1 || line.fields.size() < 2) continue;
        expected.emplace(line.fields[0], line.fields[1]);
    }

    OrthologTable table;
    table[{"stale", "entry"}] = 1;
    parseOrthologText(text, table);
    FUZZ_CHECK(table.size() == expected.size());
    auto next = expected.begin();
    for (const auto& [key, value] : table) {
        FUZZ_CHECK(key == *next);
        FUZZ_CHECK(value == 0);
        ++next;
    }
    return 0;
}
