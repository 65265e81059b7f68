#include "records/orthologs.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace orthomix {
namespace {

// Identifiers as matched: whole, or without their version suffixes.
std::string_view matchKey(std::string_view identifier, bool ignoreVersions) {
    return ignoreVersions ? withoutVersion(identifier) : identifier;
}

std::unordered_map<std::string_view, std::uint32_t> firstPositionByName(const std::vector<std::string>& identifiers,
                                                                      bool ignoreVersions) {
    std::unordered_map<std::string_view, std::uint32_t> positions;
    positions.reserve(identifiers.size());
    for (std::uint32_t p = 0; p < identifiers.size(); ++p) {
        positions.emplace(matchKey(identifiers[p], ignoreVersions), p);  // keeps the first
    }
    return positions;
}

std::unordered_set<std::string_view> namesOf(const std::vector<std::string>* identifiers, bool ignoreVersions) {
    std::unordered_set<std::string_view> names;
    if (!identifiers) return names;
    for (const std::string& identifier : *identifiers) names.insert(matchKey(identifier, ignoreVersions));
    return names;
}

std::unordered_set<std::string_view> namesWithoutVersions(const std::vector<std::string>& identifiers) {
    std::unordered_set<std::string_view> names;
    for (const std::string& identifier : identifiers) names.insert(withoutVersion(identifier));
    return names;
}

std::vector<std::uint32_t> unpaired(std::size_t geneCount, const std::vector<char>& paired) {
    std::vector<std::uint32_t> genes;
    for (std::uint32_t g = 0; g < geneCount; ++g) {
        if (!paired[g]) genes.push_back(g);
    }
    return genes;
}

}  // namespace

std::vector<std::string> orthologIdentifiers(const OrthologTable& table) {
    std::vector<std::string> identifiers;
    identifiers.reserve(2 * table.size());
    for (const auto& [human, mouse] : table) {
        identifiers.push_back(human);
        identifiers.push_back(mouse);
    }
    return identifiers;
}

std::string_view withoutVersion(std::string_view identifier) {
    const std::size_t dot = identifier.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == identifier.size()) return identifier;
    const std::string_view digits = identifier.substr(dot + 1);
    if (digits.find_first_not_of("0123456789") != std::string_view::npos) return identifier;
    return identifier.substr(0, dot);
}

ResolvedOrthologs resolveOrthologs(const OrthologTable& table, const OrganismData& human, const OrganismData& mouse,
                                   const ReadIdentifiers& read, bool ignoreVersions) {
    ResolvedOrthologs resolved;
    OrthologMatchSummary& summary = resolved.summary;
    summary.entries = table.size();
    const auto humanPositions = firstPositionByName(human.identifiers, ignoreVersions);
    const auto mousePositions = firstPositionByName(mouse.identifiers, ignoreVersions);
    const std::unordered_set<std::string_view> humanRead = namesOf(read.human, ignoreVersions);
    const std::unordered_set<std::string_view> mouseRead = namesOf(read.mouse, ignoreVersions);
    // Every identifier read, without versions: built only when needed.
    std::unordered_set<std::string_view> humanUnversioned, mouseUnversioned;
    const auto keepFirst = [](std::string& example, const std::string& identifier) {
        if (example.empty()) example = identifier;
    };
    for (const auto& [humanId, mouseId] : table) {
        const std::string_view humanKey = matchKey(humanId, ignoreVersions);
        const std::string_view mouseKey = matchKey(mouseId, ignoreVersions);
        const auto h = humanPositions.find(humanKey);
        const auto m = mousePositions.find(mouseKey);
        if (h != humanPositions.end() && m != mousePositions.end()) {
            resolved.pairs.push_back({h->second, m->second});
            continue;
        }
        const bool humanAbsent = h == humanPositions.end() && !humanRead.count(humanKey);
        const bool mouseAbsent = m == mousePositions.end() && !mouseRead.count(mouseKey);
        if (!ignoreVersions && (humanAbsent || mouseAbsent)) {
            if (humanUnversioned.empty()) {
                humanUnversioned = namesWithoutVersions(read.human ? *read.human : human.identifiers);
                mouseUnversioned = namesWithoutVersions(read.mouse ? *read.mouse : mouse.identifiers);
            }
            const bool humanMatches = !humanAbsent || humanUnversioned.count(withoutVersion(humanId));
            const bool mouseMatches = !mouseAbsent || mouseUnversioned.count(withoutVersion(mouseId));
            if (humanMatches && mouseMatches) {
                ++summary.matchableWithoutVersions;
                keepFirst(summary.versionExample, humanAbsent ? humanId : mouseId);
            }
        }
        if (humanAbsent) {
            ++summary.namingAbsentHuman;
            keepFirst(summary.absentHumanExample, humanId);
        } else if (mouseAbsent) {
            ++summary.namingAbsentMouse;
            keepFirst(summary.absentMouseExample, mouseId);
        } else {
            ++summary.namingDroppedGene;
            if (h == humanPositions.end()) keepFirst(summary.droppedHumanExample, humanId);
            if (m == mousePositions.end()) keepFirst(summary.droppedMouseExample, mouseId);
        }
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
