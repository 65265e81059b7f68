// The ortholog reader against the plain splitter: the same distinct pairs in
// the same order. The table is then resolved against genes named after the
// input's own fields, repeats included, and checked pair by pair against a
// linear search for the first gene of each identifier.
#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "io/ortholog_reader.h"

using namespace orthomix;

namespace {

OrganismData organismNamed(const std::vector<std::string>& identifiers) {
    OrganismData organism;
    organism.identifiers = identifiers;
    organism.annotations.assign(identifiers.size(), std::string());
    organism.expression = ExpressionMatrix(identifiers.size(), 0);
    return organism;
}

// Position of the first gene named id; size() when there is none.
std::size_t firstPosition(const std::vector<std::string>& identifiers, const std::string& id) {
    return static_cast<std::size_t>(std::find(identifiers.begin(), identifiers.end(), id) - identifiers.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    std::set<std::pair<std::string, std::string>> expected;
    std::vector<std::string> humanIds;
    std::vector<std::string> mouseIds;
    for (const fuzz::ReferenceLine& line : fuzz::referenceLines(text)) {
        // Every line's first field names a human gene and its last a mouse gene,
        // so that some entries match, some do not, and some identifiers repeat.
        if (!line.fields.empty()) {
            humanIds.push_back(line.fields.front());
            mouseIds.push_back(line.fields.back());
        }
        if (line.length <= 1 || line.fields.size() < 2) continue;
        expected.emplace(line.fields[0], line.fields[1]);
    }

    const OrthologTable table = parseOrthologText(text);
    FUZZ_CHECK(table == expected);

    const ResolvedOrthologs resolved = resolveOrthologs(table, organismNamed(humanIds), organismNamed(mouseIds));
    std::vector<std::pair<std::size_t, std::size_t>> matched;
    std::string humanExample;
    std::string mouseExample;
    for (const auto& [human, mouse] : table) {
        const std::size_t h = firstPosition(humanIds, human);
        const std::size_t m = firstPosition(mouseIds, mouse);
        // An entry with both identifiers absent counts for its human one.
        if (h == humanIds.size() && humanExample.empty()) humanExample = human;
        if (h < humanIds.size() && m == mouseIds.size() && mouseExample.empty()) mouseExample = mouse;
        if (h < humanIds.size() && m < mouseIds.size()) matched.emplace_back(h, m);
    }
    std::stable_sort(matched.begin(), matched.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    FUZZ_CHECK(resolved.summary.entries == table.size());
    FUZZ_CHECK(resolved.summary.matched == matched.size());
    FUZZ_CHECK(resolved.summary.absentHumanExample == humanExample);
    FUZZ_CHECK(resolved.summary.absentMouseExample == mouseExample);
    FUZZ_CHECK(resolved.summary.matched + resolved.summary.namingAbsentGene() + resolved.summary.namingDroppedGene ==
               resolved.summary.entries);
    FUZZ_CHECK(resolved.pairs.size() == matched.size());
    std::vector<char> humanPaired(humanIds.size(), 0);
    std::vector<char> mousePaired(mouseIds.size(), 0);
    for (std::size_t p = 0; p < matched.size(); ++p) {
        FUZZ_CHECK(resolved.pairs[p].human == matched[p].first);
        FUZZ_CHECK(resolved.pairs[p].mouse == matched[p].second);
        humanPaired[matched[p].first] = 1;
        mousePaired[matched[p].second] = 1;
    }
    std::vector<std::uint32_t> unpairedHuman;
    std::vector<std::uint32_t> unpairedMouse;
    for (std::uint32_t g = 0; g < humanIds.size(); ++g) {
        if (!humanPaired[g]) unpairedHuman.push_back(g);
    }
    for (std::uint32_t g = 0; g < mouseIds.size(); ++g) {
        if (!mousePaired[g]) unpairedMouse.push_back(g);
    }
    FUZZ_CHECK(resolved.unpairedHuman == unpairedHuman);
    FUZZ_CHECK(resolved.unpairedMouse == unpairedMouse);
    return 0;
}
