#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/organism_state.h"
#include "records/dataset.h"
#include "support/huge_pages.h"
#include "support/processor.h"
#include "support/thread_pool.h"

namespace orthomix {

// The posterior weights of every ortholog pair that the M-step needs: per
// pair the row sums of its posterior (one weight per human cluster), then its
// column sums (one per mouse cluster).
class PairWeights {
public:
    void reset(std::size_t pairs, std::size_t humanClusters, std::size_t mouseClusters) {
        humanClusters_ = humanClusters;
        mouseClusters_ = mouseClusters;
        values_.assign(pairs * (humanClusters + mouseClusters), 0.0);
    }
    std::size_t humanClusters() const { return humanClusters_; }
    std::size_t mouseClusters() const { return mouseClusters_; }
    double* rowSums(std::size_t pair) { return values_.data() + pair * (humanClusters_ + mouseClusters_); }
    const double* rowSums(std::size_t pair) const { return values_.data() + pair * (humanClusters_ + mouseClusters_); }
    double* columnSums(std::size_t pair) { return rowSums(pair) + humanClusters_; }
    const double* columnSums(std::size_t pair) const { return rowSums(pair) + humanClusters_; }

private:
    std::size_t humanClusters_ = 0;
    std::size_t mouseClusters_ = 0;
    HugePageVector<double> values_;
};

// Which posterior weights the M-step's sums take. AboveRounding leaves out,
// per cluster, weights of at most one rounding of its total weight shared
// over all pairs: together they could move its sums by about one rounding,
// and most of a pair's weights are that small.
enum class MStepWeights { AllButZero, AboveRounding };

// Scratch of the M-step, reused across iterations.
struct MStepWorkspace {
    std::vector<double> totalWeights;
    std::vector<double> smallestKeptWeights;  // per cluster
    // The (cluster, pair) entries of the weights the sums take, pair after
    // pair; each chunk of pairs writes from its first pair's place on, and
    // how many it wrote and how many fall to each cluster.
    std::vector<std::uint32_t> entryClusters;
    std::vector<std::uint32_t> entryPairs;
    std::vector<std::size_t> chunkEntries;
    std::vector<std::size_t> chunkClusterCounts;  // per chunk, then cluster; then the chunk's next slots
    // The pairs weighing on each cluster, cluster after cluster in pair
    // order: where each cluster's list begins, the row of each pair's gene in
    // the matrix the sums read, and its weight.
    std::vector<std::size_t> firstMembers;
    std::vector<std::uint32_t> memberRows;
    std::vector<double> memberWeights;
};

// The M-step: every cluster's mean and variance, human clusters then mouse
// clusters, as averages over the ortholog pairs weighted by their posterior
// weights, each sum in pair order and divided by multiplying with the
// reciprocal of the total weight. False, with the parameters partly rebuilt,
// when a cluster has no positive total weight. Each cluster's blocks of
// columns are shared out among the pool's threads; every sum keeps its order,
// so every kernel gives the same bits.
bool updateClusterParameters(const Dataset& data, const PairWeights& weights, OrganismState& human,
                             OrganismState& mouse, MStepWorkspace& workspace, ThreadPool* pool = nullptr,
                             MStepWeights mStepWeights = MStepWeights::AllButZero,
                             VectorKernel kernel = VectorKernel::Best);

}  // namespace orthomix
