#include "driver/result_assembly.h"

#include <algorithm>
#include <string_view>

namespace orthomix {

void snapshotCluster(GeneCluster& cluster) {
    // Stable sort by name keeps the first member of each name ahead of its duplicates.
    std::vector<const GeneRecord*> byName(cluster.members.begin(), cluster.members.end());
    std::stable_sort(byName.begin(), byName.end(),
                     [](const GeneRecord* a, const GeneRecord* b) { return a->name < b->name; });
    GeneStore copies;
    copies.reserve(byName.size());
    for (std::size_t i = 0; i < byName.size(); ++i) {
        if (i > 0 && byName[i]->name == byName[i - 1]->name) continue;
        auto copy = std::make_unique<GeneRecord>(byName[i]->expression, byName[i]->name);
        copy->annotation = byName[i]->annotation;
        copies.push_back(std::move(copy));
    }
    cluster.clearMembers();
    for (const auto& copy : copies) cluster.appendMember(copy.get());
    cluster.ownedMembers = std::move(copies);
    cluster.propagateIndex();
    cluster.recomputeCenter();
}

void buildGenePairClusters(const std::vector<GeneCluster*>& humanClusters,
                           const std::vector<GeneCluster*>& mouseClusters, const std::vector<GenePair>& pairs,
                           std::vector<GeneCluster*>& output, ClusterStore& clusterStore, GeneStore& geneStore) {
    const auto humanColumns = static_cast<std::int32_t>(humanClusters.front()->members.front()->expression.size());
    const auto mouseColumns = static_cast<std::int32_t>(mouseClusters.front()->members.front()->expression.size());
    const auto nH = static_cast<std::int32_t>(humanClusters.size());
    const auto nM = static_cast<std::int32_t>(mouseClusters.size());

    output.clear();
    for (std::int32_t c = 0; c < nH * nM; ++c) {
        clusterStore.push_back(std::make_unique<GeneCluster>(c, humanColumns + mouseColumns));
        output.push_back(clusterStore.back().get());
    }
    for (const GenePair& pair : pairs) {
        const std::int32_t i = pair.human->clusterIndex;
        const std::int32_t j = pair.mouse->clusterIndex;
        if (i < 0 || i >= nH || j < 0 || j >= nM) continue;
        std::vector<double> values;
        values.reserve(pair.human->expression.size() + pair.mouse->expression.size());
        values.insert(values.end(), pair.human->expression.begin(), pair.human->expression.end());
        values.insert(values.end(), pair.mouse->expression.begin(), pair.mouse->expression.end());
        auto pseudoGene = std::make_unique<GeneRecord>(std::move(values), pair.human->name);
        pseudoGene->annotation = pair.human->annotation;
        const std::int32_t cell = i * nM + j;
        pseudoGene->clusterIndex = cell;
        output[static_cast<std::size_t>(cell)]->appendMember(pseudoGene.get());
        geneStore.push_back(std::move(pseudoGene));
    }
    for (GeneCluster* cluster : output) {
        cluster->recomputeCenter();
        cluster->propagateIndex();
    }
}

}  // namespace orthomix
