#include "model/clustering_stability.h"

#include "numeric/partition_agreement.h"

namespace orthomix {

std::optional<double> meanAgreementWithBest(const std::vector<std::int32_t>& best,
                                            const std::vector<std::vector<std::int32_t>>& others) {
    if (others.empty()) return std::nullopt;
    double sum = 0.0;
    for (const std::vector<std::int32_t>& labels : others) sum += adjustedRandIndex(best, labels);
    return sum / static_cast<double>(others.size());
}

ClusteringStability clusteringStability(const std::vector<RepetitionLabels>& accepted, std::size_t best) {
    if (best >= accepted.size()) return {};
    std::vector<std::vector<std::int32_t>> human;
    std::vector<std::vector<std::int32_t>> mouse;
    for (std::size_t r = 0; r < accepted.size(); ++r) {
        if (r == best) continue;
        human.push_back(accepted[r].human);
        mouse.push_back(accepted[r].mouse);
    }
    return {meanAgreementWithBest(accepted[best].human, human), meanAgreementWithBest(accepted[best].mouse, mouse)};
}

}  // namespace orthomix
