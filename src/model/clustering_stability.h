#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace orthomix {

// The mean adjusted Rand index between the best repetition's labels and those
// of every other accepted repetition (each the same genes in the same order),
// in the order given. 1 when all agree with the best one; none when there is
// no other repetition to compare with.
std::optional<double> meanAgreementWithBest(const std::vector<std::int32_t>& best,
                                            const std::vector<std::vector<std::int32_t>>& others);

// How stable the clustering of one k is, per organism.
struct ClusteringStability {
    std::optional<double> human;
    std::optional<double> mouse;
};

// The labels of one accepted repetition for both organisms.
struct RepetitionLabels {
    std::vector<std::int32_t> human;
    std::vector<std::int32_t> mouse;
};

// The stability of one k from its accepted repetitions, the best one at `best`.
ClusteringStability clusteringStability(const std::vector<RepetitionLabels>& accepted, std::size_t best);

}  // namespace orthomix
