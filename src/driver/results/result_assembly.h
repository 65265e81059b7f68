#pragma once

#include <cstdint>
#include <vector>

#include "io/result_writers.h"
#include "model/em_attempt.h"
#include "model/pair_significance.h"
#include "records/dataset.h"

namespace orthomix {

// One organism's clusters as the membership file shows them: in each cluster
// the genes sorted by identifier (byte order), rows sharing an identifier in
// file order, each on a line of its own; and each cluster's centre, the mean
// of those genes in that order (NaN for a cluster without genes).
struct MembershipView {
    std::vector<std::vector<std::uint32_t>> genes;
    std::vector<double> centres;  // [cluster * columns + column]
};

MembershipView membershipView(const OrganismClustering& clustering, const OrganismData& organism);

// The membership file's clusters of one organism.
std::vector<MembershipCluster> membershipClusters(const MembershipView& view, const OrganismData& organism);

// One line per ortholog pair, in pair order, with the cluster of each gene in
// the result (the organism's cluster count for a gene in no cluster).
std::vector<GenePairLine> genePairLines(const Dataset& data, const AttemptResult& result);

// The gene-pair clusters: cell i * nM + j holds, in pair order, the pairs whose
// human gene is in human cluster i and mouse gene in mouse cluster j; pairs
// with a gene in no cluster are left out.
std::vector<MembershipCluster> genePairClusters(const Dataset& data, const AttemptResult& result);

// The cluster-pair table of the result in long form: one row per cell, human
// cluster by human cluster, with the pairs whose two genes ended in that cell,
// the fitted probability, and the pairs expected there if the two clusterings
// were independent given the pairs in cells, and its enrichment p- and
// q-value; then the scatter row, counting the pairs with a gene in no cluster.
std::vector<PairTableRow> pairTableRows(const Dataset& data, const AttemptResult& result);

// One row per ortholog pair, in pair order, with both genes, their clusters
// (-1 for a gene in no cluster) and posteriors, and whether the pair's cell
// is a significant partner pair of `significance` (the result's own).
std::vector<PairAssignmentRow> pairAssignmentRows(const Dataset& data, const AttemptResult& result,
                                                  const PairSignificance& significance);

// How significantly the result's human and mouse clusters correspond, over
// the ortholog pairs whose two genes are both in clusters.
PairSignificance pairSignificance(const Dataset& data, const AttemptResult& result);

}  // namespace orthomix
