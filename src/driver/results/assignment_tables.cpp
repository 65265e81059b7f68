#include "driver/results/assignment_tables.h"

#include <cmath>
#include <string_view>
#include <unordered_map>

#include "model/nearest_mean.h"

namespace orthomix {

std::vector<GeneAssignment> assignGenes(const OrganismData& organism, const MembershipView& view) {
    std::unordered_map<std::string_view, std::int32_t> clusterOfName;
    for (std::size_t c = 0; c < view.genes.size(); ++c) {
        for (const std::uint32_t gene : view.genes[c]) {
            clusterOfName.emplace(organism.identifiers[gene], static_cast<std::int32_t>(c));  // keeps the first
        }
    }
    NearestMeanSearch search;
    search.prepare(view.centres.data(), view.genes.size(), organism.expression.columns());
    std::vector<GeneAssignment> assignments(organism.geneCount());
    for (std::size_t g = 0; g < organism.geneCount(); ++g) {
        GeneAssignment& assignment = assignments[g];
        const auto found = clusterOfName.find(organism.identifiers[g]);
        if (found != clusterOfName.end()) assignment.cluster = found->second;
        assignment.nearestCluster = search.find(organism.expression.row(g), &assignment.nearestDistance);
    }
    return assignments;
}

void writeAssignmentTable(AtomicOutputFile& out, const OrganismData& organism, const MembershipView& view,
                          const std::vector<double>* posteriors) {
    const std::vector<GeneAssignment> assignments = assignGenes(organism, view);
    out.write("identifier\tannotation\tcluster\tnearest_cluster\tdistance_to_nearest");
    out.write(posteriors ? "\tposterior\n" : "\n");
    for (std::size_t g = 0; g < organism.geneCount(); ++g) {
        const GeneAssignment& assignment = assignments[g];
        out.write(organism.identifiers[g]);
        out.write('\t');
        out.write(organism.annotations[g]);
        out.write('\t');
        out.write(assignment.cluster < 0 ? std::string("scatter") : std::to_string(assignment.cluster));
        out.write('\t');
        if (assignment.nearestCluster >= 0) {
            out.write(std::to_string(assignment.nearestCluster));
            out.write('\t');
            out.writeNumber(assignment.nearestDistance);
        } else {
            out.write('\t');
        }
        if (posteriors) {
            out.write('\t');
            if (!std::isnan((*posteriors)[g])) out.writeNumber((*posteriors)[g]);
        }
        out.write('\n');
    }
}

}  // namespace orthomix
