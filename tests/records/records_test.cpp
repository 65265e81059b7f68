#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "records/expression_matrix.h"
#include "records/orthologs.h"

namespace orthomix {
namespace {

TEST(ExpressionMatrix, RowsAreContiguousBlocksOfColumnsValues) {
    const ExpressionMatrix empty;
    EXPECT_EQ(empty.rows(), 0u);
    EXPECT_EQ(empty.columns(), 0u);

    ExpressionMatrix sized(2, 3);
    EXPECT_EQ(sized.rows(), 2u);
    EXPECT_EQ(sized.columns(), 3u);
    for (std::size_t g = 0; g < 2; ++g)
        for (std::size_t s = 0; s < 3; ++s) EXPECT_EQ(sized.row(g)[s], 0.0) << "a new matrix starts at zero";
    sized.row(1)[2] = 7.0;
    EXPECT_EQ(sized.row(1)[2], 7.0);
    EXPECT_EQ(sized.row(0)[2], 0.0) << "writing one row leaves the others";

    ExpressionMatrix grown(0, 2);
    grown.reserveRows(1);  // fewer than appended: growing past the reservation keeps the rows
    const double first[] = {1.0, 2.0};
    const double second[] = {3.0, 4.0, 99.0};  // only columns() values are taken
    grown.appendRow(first);
    grown.appendRow(second);
    grown.appendRow(first);
    ASSERT_EQ(grown.rows(), 3u);
    EXPECT_EQ(std::vector<double>(grown.rowSpan(0).begin(), grown.rowSpan(0).end()), (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(std::vector<double>(grown.rowSpan(1).begin(), grown.rowSpan(1).end()), (std::vector<double>{3.0, 4.0}));
    EXPECT_EQ(std::vector<double>(grown.rowSpan(2).begin(), grown.rowSpan(2).end()), (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(grown.row(1), grown.row(0) + 2) << "one block, row after row";
}

OrganismData organism(const std::vector<std::string>& identifiers) {
    OrganismData data;
    data.sampleNames = {"S"};
    data.identifiers = identifiers;
    data.annotations.assign(identifiers.size(), "");
    data.expression = ExpressionMatrix(identifiers.size(), 1);
    return data;
}

struct PairPositions {
    std::uint32_t human;
    std::uint32_t mouse;
    bool operator==(const PairPositions&) const = default;
};

std::vector<PairPositions> positionsOf(const ResolvedOrthologs& resolved) {
    std::vector<PairPositions> positions;
    for (const OrthologPair& pair : resolved.pairs) positions.push_back({pair.human, pair.mouse});
    return positions;
}

void PrintTo(const PairPositions& pair, std::ostream* out) { *out << "(" << pair.human << ", " << pair.mouse << ")"; }

TEST(ResolveOrthologs, PairsFollowHumanGeneOrderAndTheFirstGeneOfAnIdentifier) {
    // hA appears twice (positions 1 and 2): only the first is ever matched.
    // The mouse positions run against identifier order (m1 before m0), and the
    // human positions against it too (hB before hA).
    const OrganismData human = organism({"hB", "hA", "hA", "hC"});
    const OrganismData mouse = organism({"m2", "m1", "m0", "m3", "m1"});
    const OrthologTable table = {
        {"hA", "m1"}, {"hB", "m2"}, {"hA", "m0"},
        {"zz", "m1"},  // unknown human identifier
        {"hB", "q9"},  // unknown mouse identifier, the first in table order
        {"yy", "qq"},  // both unknown; yy is the first unknown human identifier
        {"hA", "m1"},  // a repeated line counts once
    };
    const ResolvedOrthologs resolved = resolveOrthologs(table, human, mouse);

    EXPECT_EQ(positionsOf(resolved), (std::vector<PairPositions>{{0, 0}, {1, 2}, {1, 1}}))
        << "by the human gene's position; the pairs of one human gene in identifier order (m0, then m1)";
    EXPECT_EQ(resolved.unpairedHuman, (std::vector<std::uint32_t>{2, 3}))
        << "the second hA and hC, in gene order";
    EXPECT_EQ(resolved.unpairedMouse, (std::vector<std::uint32_t>{3, 4})) << "m3 and the second m1";
    EXPECT_EQ(resolved.summary.entries, 6u);
    EXPECT_EQ(resolved.summary.matched, 3u);
    EXPECT_EQ(resolved.summary.absentHumanExample, "yy");
    EXPECT_EQ(resolved.summary.absentMouseExample, "q9");
}

TEST(ResolveOrthologs, TellsIdentifiersNoFileHasFromGenesPreprocessingDropped) {
    // Read: h1 h2 h3 and m1 m2 m3; preprocessing kept h1 and m1, m2.
    const std::vector<std::string> humanRead = {"h1", "h2", "h3"};
    const std::vector<std::string> mouseRead = {"m1", "m2", "m3"};
    const OrthologTable table = {
        {"h1", "m1"},  // matched
        {"h1", "m3"},  // mouse gene dropped
        {"h2", "m2"},  // human gene dropped
        {"h3", "zz"},  // mouse identifier in no file (and the human gene dropped): absent wins
        {"xx", "m1"},  // human identifier in no file
        {"xy", "zy"},  // both identifiers in no file: counted once, for the human one
    };
    const ResolvedOrthologs resolved =
        resolveOrthologs(table, organism({"h1"}), organism({"m1", "m2"}), ReadIdentifiers{&humanRead, &mouseRead});
    const OrthologMatchSummary& summary = resolved.summary;
    EXPECT_EQ(summary.matched, 1u);
    EXPECT_EQ(summary.namingAbsentHuman, 2u);
    EXPECT_EQ(summary.namingAbsentMouse, 1u);
    EXPECT_EQ(summary.namingDroppedGene, 2u);
    EXPECT_EQ(summary.absentHumanExample, "xx");
    EXPECT_EQ(summary.absentMouseExample, "zz") << "not zy, whose entry counts for its human identifier";
    EXPECT_EQ(summary.droppedHumanExample, "h2") << "the first in table order";
    EXPECT_EQ(summary.droppedMouseExample, "m3");
    EXPECT_EQ(summary.matched + summary.namingAbsentGene() + summary.namingDroppedGene, summary.entries);
    EXPECT_EQ(summary.lost(), 5u);

    // Without the identifiers as read, nothing can have been dropped.
    const ResolvedOrthologs unread = resolveOrthologs(table, organism({"h1"}), organism({"m1", "m2"}));
    EXPECT_EQ(unread.summary.namingAbsentHuman, 4u);
    EXPECT_EQ(unread.summary.namingAbsentMouse, 1u) << "h1 m3";
    EXPECT_EQ(unread.summary.namingDroppedGene, 0u);
    EXPECT_EQ(unread.summary.absentHumanExample, "h2");
    EXPECT_EQ(unread.summary.droppedHumanExample, "");
}

TEST(ResolveOrthologs, VersionSuffixesAreCountedAndIgnoredOnRequest) {
    EXPECT_EQ(withoutVersion("ENSG00000000001.12"), "ENSG00000000001");
    EXPECT_EQ(withoutVersion("ENSG1"), "ENSG1");
    EXPECT_EQ(withoutVersion("Nkx2.5a"), "Nkx2.5a") << "only digits after the last dot";
    EXPECT_EQ(withoutVersion(".12"), ".12");
    EXPECT_EQ(withoutVersion("g."), "g.");

    const OrganismData human = organism({"ENSG1", "ENSG2.4", "ENSG3"});
    const OrganismData mouse = organism({"ENSMUSG1", "ENSMUSG2"});
    const OrthologTable table = {{"ENSG1.12", "ENSMUSG1"}, {"ENSG2", "ENSMUSG2.1"}, {"ENSG3", "ENSMUSG9"}};
    const ResolvedOrthologs strict = resolveOrthologs(table, human, mouse);
    EXPECT_EQ(strict.summary.matched, 0u);
    EXPECT_EQ(strict.summary.matchableWithoutVersions, 2u) << "ENSMUSG9 matches nothing either way";
    EXPECT_EQ(strict.summary.versionExample, "ENSG1.12");

    const ResolvedOrthologs loose = resolveOrthologs(table, human, mouse, {}, true);
    ASSERT_EQ(loose.pairs.size(), 2u);
    EXPECT_EQ(loose.pairs[0].human, 0u);
    EXPECT_EQ(loose.pairs[1].human, 1u);
    EXPECT_EQ(loose.pairs[1].mouse, 1u);
    EXPECT_EQ(loose.summary.matchableWithoutVersions, 0u);
    EXPECT_EQ(loose.summary.namingAbsentMouse, 1u);
}

TEST(ResolveOrthologs, EmptyAndFullyMatchedTables) {
    const OrganismData human = organism({"a", "b"});
    const OrganismData mouse = organism({"x"});

    const ResolvedOrthologs none = resolveOrthologs({}, human, mouse);
    EXPECT_TRUE(none.pairs.empty());
    EXPECT_EQ(none.unpairedHuman, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(none.unpairedMouse, (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(none.summary.entries, 0u);
    EXPECT_EQ(none.summary.matched, 0u);
    EXPECT_EQ(none.summary.absentHumanExample, "");
    EXPECT_EQ(none.summary.absentMouseExample, "");

    // Many human genes to one mouse gene; nothing unmatched leaves the examples empty.
    const ResolvedOrthologs all = resolveOrthologs({{"b", "x"}, {"a", "x"}}, human, mouse);
    EXPECT_EQ(positionsOf(all), (std::vector<PairPositions>{{0, 0}, {1, 0}}));
    EXPECT_TRUE(all.unpairedHuman.empty());
    EXPECT_TRUE(all.unpairedMouse.empty());
    EXPECT_EQ(all.summary.matched, 2u);
    EXPECT_EQ(all.summary.absentHumanExample, "");
    EXPECT_EQ(all.summary.absentMouseExample, "");

    // No genes at all: every entry is unmatched.
    const ResolvedOrthologs noGenes = resolveOrthologs({{"a", "x"}}, organism({}), organism({}));
    EXPECT_TRUE(noGenes.pairs.empty());
    EXPECT_EQ(noGenes.summary.namingAbsentHuman, 1u);
    EXPECT_EQ(noGenes.summary.absentHumanExample, "a");
    EXPECT_EQ(noGenes.summary.absentMouseExample, "") << "the entry counts for its human identifier";
}

}  // namespace
}  // namespace orthomix
