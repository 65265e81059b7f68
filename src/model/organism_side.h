#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/densities.h"
#include "model/log_densities.h"
#include "model/organism_state.h"
#include "records/expression_matrix.h"
#include "records/orthologs.h"
#include "support/huge_pages.h"
#include "support/thread_pool.h"

namespace orthomix {

// The distinct genes of one organism that have a pair, and for every pair the
// slot of its gene among them, so that a gene's densities are evaluated once
// per iteration however many pairs it is in.
struct PairedGenes {
    std::vector<std::uint32_t> genes;
    std::vector<std::uint32_t> slotOfPair;
    std::vector<char> valuesFinite;  // per slot: every expression value is finite

    // `gene` picks this organism's gene of a pair (&OrthologPair::human or &OrthologPair::mouse).
    void build(const std::vector<OrthologPair>& pairs, const ExpressionMatrix& expression,
               std::uint32_t OrthologPair::*gene);
};

// One organism inside an attempt: its clustering, its genes that have a pair,
// the forms its clusters' densities are evaluated from, and those densities.
// An attempt holds two, one per organism.
struct OrganismSide {
    explicit OrganismSide(const ExpressionMatrix& values) : expression(values) {}

    const ExpressionMatrix& expression;
    OrganismState state;
    PairedGenes paired;
    // The forms of the attempt's density domain; the other domain's stay empty.
    ClusterDensityForms exactForms;
    GeneFeatures features;  // where the paired genes' values are, once per attempt
    LogDensityForms logForms;
    // Per paired gene and cluster, [slot * clusterCount + cluster]: densities
    // in the exact domain, their logarithms in the log domain.
    HugePageVector<double> densities;

    std::size_t clusterCount() const { return state.clusters.count(); }
    const double* densitiesOfPair(std::size_t pair) const {
        return densities.data() + paired.slotOfPair[pair] * clusterCount();
    }
    // Clusters move to the positions `order` gives (cluster p is the one that
    // was at order[p]); their members are labelled anew.
    void reorderClusters(const std::vector<int>& order);
    // The mean distance of a gene to its cluster's centre.
    double spread(ThreadPool* pool) const { return state.clusters.spread(expression, expression.rows(), pool); }
};

}  // namespace orthomix
