#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/organism_data.h"

namespace orthomix {

// The distinct (human identifier, mouse identifier) entries of the ortholog
// file, ordered as unsigned bytes, human identifier first.
using OrthologTable = std::set<std::pair<std::string, std::string>>;

// One ortholog pair as positions in the two organisms' gene lists.
struct OrthologPair {
    std::uint32_t human = 0;
    std::uint32_t mouse = 0;
};

// How the ortholog file matched the genes of the run. Every entry that does
// not match has one cause, the first of these that applies: its human
// identifier is absent (the human data file does not have it), its mouse
// identifier is absent, or preprocessing dropped one of its genes.
struct OrthologMatchSummary {
    std::size_t entries = 0;  // distinct (human, mouse) entries of the file
    std::size_t matched = 0;  // entries whose two genes are both present
    std::size_t namingAbsentHuman = 0;
    std::size_t namingAbsentMouse = 0;
    std::size_t namingDroppedGene = 0;
    // The first identifier of each cause in table order, "" when there is none;
    // a dropped gene of either organism is an example of the last cause.
    std::string absentHumanExample;
    std::string absentMouseExample;
    std::string droppedHumanExample;
    std::string droppedMouseExample;
    // Entries naming an absent gene that would match if version suffixes
    // (".12") were ignored on both sides; 0 when they are ignored.
    std::size_t matchableWithoutVersions = 0;
    std::string versionExample;  // such an identifier of the file

    std::size_t namingAbsentGene() const { return namingAbsentHuman + namingAbsentMouse; }
    std::size_t lost() const { return entries - matched; }
};

// The identifier without a version suffix: a final "." and digits, when
// something stands before them.
std::string_view withoutVersion(std::string_view identifier);

// The identifiers of both data files as read, before preprocessing.
struct ReadIdentifiers {
    const std::vector<std::string>* human = nullptr;
    const std::vector<std::string>* mouse = nullptr;
};

// Every identifier of the table, human and mouse, in table order.
std::vector<std::string> orthologIdentifiers(const OrthologTable& table);

// The ortholog pairs of the run resolved against the genes that are kept.
struct ResolvedOrthologs {
    // Ordered by the human gene's position; the pairs of one human gene in
    // the table's order.
    std::vector<OrthologPair> pairs;
    std::vector<std::uint32_t> unpairedHuman;  // genes in no pair, in gene order
    std::vector<std::uint32_t> unpairedMouse;
    OrthologMatchSummary summary;
};

// Matches every entry to the first gene of each organism with that
// identifier; entries naming a missing gene are left out. Without the read
// identifiers of an organism, each of its missing genes counts as absent.
// With ignoreVersions, identifiers are matched without their version suffixes.
ResolvedOrthologs resolveOrthologs(const OrthologTable& table, const OrganismData& human, const OrganismData& mouse,
                                   const ReadIdentifiers& read = {}, bool ignoreVersions = false);

}  // namespace orthomix
