#include "model/organism_side.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orthomix {

void PairedGenes::build(const std::vector<OrthologPair>& pairs, const ExpressionMatrix& expression,
                        std::uint32_t OrthologPair::*gene) {
    constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t> slotOfGene(expression.rows(), kNone);
    genes.clear();
    slotOfPair.clear();
    valuesFinite.clear();
    slotOfPair.reserve(pairs.size());
    for (const OrthologPair& pair : pairs) {
        const std::uint32_t position = pair.*gene;
        if (slotOfGene[position] == kNone) {
            slotOfGene[position] = static_cast<std::uint32_t>(genes.size());
            genes.push_back(position);
        }
        slotOfPair.push_back(slotOfGene[position]);
    }
    for (const std::uint32_t position : genes) {
        const double* values = expression.row(position);
        bool finite = true;
        for (std::size_t i = 0; i < expression.columns(); ++i) finite = finite && std::isfinite(values[i]);
        valuesFinite.push_back(finite ? 1 : 0);
    }
}

void OrganismSide::reorderClusters(const std::vector<int>& order) {
    bool moved = false;
    for (std::size_t p = 0; p < order.size(); ++p) moved = moved || order[p] != static_cast<int>(p);
    if (!moved) return;
    OrganismClusters& clusters = state.clusters;
    const std::size_t columns = clusters.columns;
    std::vector<std::vector<std::uint32_t>> members(order.size());
    const std::vector<double> centres = clusters.centres;
    for (std::size_t p = 0; p < order.size(); ++p) {
        const auto from = static_cast<std::size_t>(order[p]);
        members[p] = std::move(clusters.members[from]);
        std::copy(centres.begin() + static_cast<std::ptrdiff_t>(from * columns),
                  centres.begin() + static_cast<std::ptrdiff_t>((from + 1) * columns),
                  clusters.centres.begin() + static_cast<std::ptrdiff_t>(p * columns));
    }
    clusters.members = std::move(members);
    // Only the clusters that moved relabel their members.
    for (std::size_t p = 0; p < order.size(); ++p) {
        if (order[p] != static_cast<int>(p)) state.labelMembers(p);
    }
}

}  // namespace orthomix
