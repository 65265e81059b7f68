#include "io/result_writers.h"

#include "io/atomic_file.h"

namespace orthomix {

void writeMembershipFile(const std::string& path, const std::vector<GeneCluster*>& clusters,
                         const std::vector<std::string>& columnNames) {
    AtomicOutputFile out(path);
    out.write("probe set\tNAME");
    for (const std::string& name : columnNames) {
        out.write('\t');
        out.write(name);
    }
    out.write('\n');
    for (std::size_t c = 0; c < clusters.size(); ++c) {
        if (c > 0) out.write("NONE\nNONE\nNONE\n");
        const GeneCluster& cluster = *clusters[c];
        for (const GeneRecord* gene : cluster.members) {
            out.write(gene->name);
            out.write('\t');
            out.write(gene->annotation);
            for (std::int32_t i = 0; i < cluster.dimension; ++i) {
                out.write('\t');
                out.writeNumber(gene->expression[static_cast<std::size_t>(i)]);
            }
            out.write('\n');
        }
    }
    out.commit();
}

void writeGenePairResultFile(const std::string& path, const std::vector<GenePair>& pairs) {
    AtomicOutputFile out(path);
    for (const GenePair& pair : pairs) {
        out.write("  <");
        out.write(pair.human->name);
        out.write(", ");
        out.write(pair.mouse->name);
        out.write(">--->\t[");
        out.write(std::to_string(pair.human->clusterIndex));
        out.write(',');
        out.write(std::to_string(pair.mouse->clusterIndex));
        out.write("]\n");
    }
    out.commit();
}

}  // namespace orthomix
