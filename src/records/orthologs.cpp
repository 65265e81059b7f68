#include "records/orthologs.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace orthomix {
namespace {

std::unordered_map<std::string_view, std::uint32_t> firstPositionByName(const std::vector<std::string>& identifiers) {
    std::unordered_map<std::string_view, std::uint32_t> positions;
    positions.reserve(identifiers.size());
    for (std::uint32_t p = 0; p < identifiers.size(); ++p) positions.emplace(identifiers[p], p);  // keeps the first
    return positions;
}

std::unordered_set<std::string_view> namesOf(const std::vector<std::string>* identifiers) {
    if (!identifiers) return {};
    return {identifiers->begin(), identifiers->end()};
}

std::vector<std::uint32_t> unpaired(std::size_t geneCount, const std::vector<char>& paired) {
    std::vector<std::uint32_t> genes;
    for (std::uint32_t g = 0; g < geneCount; ++g) {
        if (!paired[g]) genes.push_back(g);
    }
    return genes;
}

}  // namespace

ResolvedOrthologs resolveOrthologs(const OrthologTable& table, const OrganismData& human, const OrganismData& mouse,
                                   const ReadIdentifiers& read) {
    ResolvedOrthologs resolved;
    OrthologMatchSummary& summary = resolved.summary;
    summary.entries = table.size();
    const auto humanPositions = firstPositionByName(human.identifiers);
    const auto mousePositions = firstPositionByName(mouse.identifiers);
    const std::unordered_set<std::string_view> humanRead = namesOf(read.human);
    const std::unordered_set<std::string_view> mouseRead = namesOf(read.mouse);
    const auto keepFirst = [](std::string& example, const std::string& identifier) {
        if (example.empty()) example = identifier;
    };
    for (const auto& [humanId, mouseId] : table) {
        const auto h = humanPositions.find(humanId);
        const auto m = mousePositions.find(mouseId);
        if (h != humanPositions.end() && m != mousePositions.end()) {
            resolved.pairs.push_back({h->second, m->second});
            continue;
        }
        const bool humanAbsent = h == humanPositions.end() && !humanRead.count(humanId);
        const bool mouseAbsent = m == mousePositions.end() && !mouseRead.count(mouseId);
        if (humanAbsent) keepFirst(summary.absentHumanExample, humanId);
        if (mouseAbsent) keepFirst(summary.absentMouseExample, mouseId);
        if (h == humanPositions.end() && !humanAbsent) keepFirst(summary.droppedHumanExample, humanId);
        if (m == mousePositions.end() && !mouseAbsent) keepFirst(summary.droppedMouseExample, mouseId);
        ++(humanAbsent || mouseAbsent ? summary.namingAbsentGene : summary.namingDroppedGene);
    }
    summary.matched = resolved.pairs.size();
    std::stable_sort(resolved.pairs.begin(), resolved.pairs.end(),
                     [](const OrthologPair& a, const OrthologPair& b) { return a.human < b.human; });

    std::vector<char> humanPaired(human.geneCount(), 0), mousePaired(mouse.geneCount(), 0);
    for (const OrthologPair& pair : resolved.pairs) {
        humanPaired[pair.human] = 1;
        mousePaired[pair.mouse] = 1;
    }
    resolved.unpairedHuman = unpaired(human.geneCount(), humanPaired);
    resolved.unpairedMouse = unpaired(mouse.geneCount(), mousePaired);
    return resolved;
}

}  // namespace orthomix
