#include "model/reassignment.h"

namespace orthomix {
namespace {

bool place(NearestMeanSearch& search, const ExpressionMatrix& expression, std::uint32_t gene, OrganismState& state) {
    const int position = search.find(expression.row(gene));
    if (position < 0 || position >= state.clusterCount()) return false;
    state.clusters.members[static_cast<std::size_t>(position)].push_back(gene);
    return true;
}

void refresh(const ExpressionMatrix& expression, OrganismState& state) {
    for (std::size_t c = 0; c < state.clusters.count(); ++c) {
        state.labelMembers(c);
        state.clusters.recomputeCentre(c, expression);
    }
}

}  // namespace

std::optional<std::size_t> reassignClusterMembers(const Dataset& data, OrganismState& human, OrganismState& mouse,
                                                  ReassignmentWorkspace& workspace) {
    const ExpressionMatrix& humanValues = data.human.expression;
    const ExpressionMatrix& mouseValues = data.mouse.expression;
    workspace.human.prepare(human.parameters.means.data(), human.parameters.clusterCount, humanValues.columns());
    workspace.mouse.prepare(mouse.parameters.means.data(), mouse.parameters.clusterCount, mouseValues.columns());
    for (auto& members : human.clusters.members) members.clear();
    for (auto& members : mouse.clusters.members) members.clear();
    const int kHm = human.clusterCount();
    const int kMs = mouse.clusterCount();

    std::size_t scatterPairs = 0;
    for (const OrthologPair& pair : data.orthologs.pairs) {
        if (human.labels[pair.human] != kHm && mouse.labels[pair.mouse] != kMs) {
            if (!place(workspace.human, humanValues, pair.human, human)) return std::nullopt;
            if (!place(workspace.mouse, mouseValues, pair.mouse, mouse)) return std::nullopt;
        } else {
            ++scatterPairs;
        }
    }
    for (const std::uint32_t gene : data.orthologs.unpairedHuman) {
        if (!place(workspace.human, humanValues, gene, human)) return std::nullopt;
    }
    for (const std::uint32_t gene : data.orthologs.unpairedMouse) {
        if (!place(workspace.mouse, mouseValues, gene, mouse)) return std::nullopt;
    }
    refresh(humanValues, human);
    refresh(mouseValues, mouse);
    return scatterPairs;
}

}  // namespace orthomix
