#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/pair_table.h"
#include "records/orthologs.h"

namespace orthomix {

// A cell is a significant partner pair when its q-value is below this.
inline constexpr double kPartnerQValue = 0.05;

// The plain-words verdict on the overall test of association (Pearson's
// chi-square): strong when its p-value is below kStrongEvidenceP and at least
// one cell is a partner pair; weak when the p-value is below kWeakEvidenceP;
// none otherwise. A tiny p-value without any single significant cell counts
// as weak: the tables differ from independence, but no pair of clusters can
// be named as corresponding.
inline constexpr double kStrongEvidenceP = 1e-3;
inline constexpr double kWeakEvidenceP = 0.05;

enum class CorrespondenceEvidence { Strong, Weak, None };

// "strong evidence that the clusterings correspond", likewise "weak" and "no".
std::string_view correspondenceSentence(CorrespondenceEvidence evidence);

// Counts the ortholog pairs per (human cluster, mouse cluster) cell over the
// pairs whose two genes are both in clusters: a pair with a label outside
// 0..clusters-1 (the scatter value, -1, or a number beyond this table) is left
// out.
PairCounts countClusteredPairs(const std::vector<OrthologPair>& pairs, const std::vector<std::int32_t>& humanLabels,
                               const std::vector<std::int32_t>& mouseLabels, int humanClusters, int mouseClusters);

struct CellSignificance {
    std::int32_t observed = 0;
    double expected = 0.0;    // row total * column total / all pairs
    double enrichment = 0.0;  // observed / expected; 0 when expected is 0
    double pValue = 1.0;      // P(X >= observed), X hypergeometric
    double qValue = 1.0;      // Benjamini-Hochberg over all cells
};

// A test of independence of rows and columns. With fewer than one degree of
// freedom there is nothing to test: statistic 0, p-value 1.
struct AssociationTest {
    double statistic = 0.0;
    int degreesOfFreedom = 0;  // (non-empty rows - 1) * (non-empty columns - 1)
    double pValue = 1.0;
};

// A cluster of the other organism that a cluster corresponds to.
struct Partner {
    int cluster = 0;  // row (human) or column (mouse) number
    std::int32_t observed = 0;
    double enrichment = 0.0;
    double qValue = 1.0;
};

struct PairSignificance {
    int rows = 0;  // human clusters
    int cols = 0;  // mouse clusters
    std::int64_t pairs = 0;
    std::vector<std::int64_t> rowTotals;
    std::vector<std::int64_t> colTotals;
    std::vector<CellSignificance> cells;  // row-major
    AssociationTest chiSquare;            // Pearson's; decides the evidence
    AssociationTest gTest;                // likelihood ratio, for comparison
    // Per human cluster its mouse partners and per mouse cluster its human
    // partners: the cells with q < kPartnerQValue, strongest first (highest
    // enrichment; ties by lower q, then lower cluster number).
    std::vector<std::vector<Partner>> humanPartners;
    std::vector<std::vector<Partner>> mousePartners;
    CorrespondenceEvidence evidence = CorrespondenceEvidence::None;

    const CellSignificance& at(int i, int j) const { return cells[static_cast<std::size_t>(i) * cols + j]; }
};

// Every cell's enrichment p- and q-value, the overall tests, the partners and
// the verdict for a table of pair counts (negative counts are not allowed).
PairSignificance assessPairSignificance(const PairCounts& counts);

}  // namespace orthomix
