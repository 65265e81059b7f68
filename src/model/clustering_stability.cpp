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
    if (best >= accepted.size() || accepted.size() < 2) return {};
    double human = 0.0;
    double mouse = 0.0;
    for (std::size_t r = 0; r < accepted.size(); ++r) {
        if (r == best) continue;
        human += adjustedRandIndex(accepted[best].human, accepted[r].human);
        mouse += adjustedRandIndex(accepted[best].mouse, accepted[r].mouse);
    }
    const auto others = static_cast<double>(accepted.size() - 1);
    return {human / others, mouse / others};
}

}  // namespace orthomix
