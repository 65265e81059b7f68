#include "driver/results/assignment_tables.h"

#include <cmath>

#include "model/nearest_mean.h"

namespace orthomix {

std::vector<GeneAssignment> assignGenes(const OrganismData& organism, const MembershipView& view) {
    // By row, not by identifier: rows sharing an identifier are genes of their own.
    std::vector<std::int32_t> clusterOfRow(organism.geneCount(), -1);
    for (std::size_t c = 0; c < view.genes.size(); ++c) {
        for (const std::uint32_t gene : view.genes[c]) clusterOfRow[gene] = static_cast<std::int32_t>(c);
    }
    NearestMeanSearch search;
    search.prepare(view.centres.data(), view.genes.size(), organism.expression.columns());
    std::vector<GeneAssignment> assignments(organism.geneCount());
    for (std::size_t g = 0; g < organism.geneCount(); ++g) {
        GeneAssignment& assignment = assignments[g];
        assignment.cluster = clusterOfRow[g];
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
