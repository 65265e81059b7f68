#include "driver/assignment_tables.h"

#include <string_view>
#include <unordered_map>

#include "io/atomic_file.h"

namespace orthomix {

std::vector<GeneAssignment> assignGenes(const std::vector<GeneRecord*>& genes,
                                        const std::vector<GeneCluster*>& clusters) {
    std::unordered_map<std::string_view, std::int32_t> clusterOfName;
    for (std::size_t c = 0; c < clusters.size(); ++c) {
        for (const GeneRecord* member : clusters[c]->members) {
            clusterOfName.emplace(member->name, static_cast<std::int32_t>(c));  // keeps the first cluster
        }
    }
    std::vector<GeneAssignment> assignments(genes.size());
    for (std::size_t g = 0; g < genes.size(); ++g) {
        GeneAssignment& assignment = assignments[g];
        const auto found = clusterOfName.find(genes[g]->name);
        if (found != clusterOfName.end()) assignment.cluster = found->second;
        for (std::size_t c = 0; c < clusters.size(); ++c) {
            if (!clusters[c]->center) continue;
            const double d = distance(*genes[g], *clusters[c]->center);
            if (assignment.nearestCluster < 0 || d < assignment.nearestDistance) {
                assignment.nearestCluster = static_cast<std::int32_t>(c);
                assignment.nearestDistance = d;
            }
        }
    }
    return assignments;
}

void writeAssignmentTable(const std::string& path, const std::vector<GeneRecord*>& genes,
                          const std::vector<GeneCluster*>& clusters) {
    const std::vector<GeneAssignment> assignments = assignGenes(genes, clusters);
    AtomicOutputFile out(path);
    out.write("identifier\tannotation\tcluster\tnearest_cluster\tdistance_to_nearest\n");
    for (std::size_t g = 0; g < genes.size(); ++g) {
        const GeneAssignment& assignment = assignments[g];
        out.write(genes[g]->name);
        out.write('\t');
        out.write(genes[g]->annotation);
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
        out.write('\n');
    }
    out.commit();
}

}  // namespace orthomix
