#include "io/result_writers.h"

namespace orthomix {

void writeMembershipFile(AtomicOutputFile& out, const std::vector<MembershipCluster>& clusters,
                         const std::vector<std::string>& columnNames) {
    out.write("probe set\tNAME");
    for (const std::string& name : columnNames) {
        out.write('\t');
        out.write(name);
    }
    out.write('\n');
    for (std::size_t c = 0; c < clusters.size(); ++c) {
        if (c > 0) out.write("NONE\nNONE\nNONE\n");
        for (const MembershipRow& row : clusters[c]) {
            out.write(row.name);
            out.write('\t');
            out.write(row.annotation);
            for (const std::span<const double> values : {row.values, row.moreValues}) {
                for (const double value : values) {
                    out.write('\t');
                    out.writeNumber(value);
                }
            }
            out.write('\n');
        }
    }
}

void writeGenePairResultFile(AtomicOutputFile& out, const std::vector<GenePairLine>& pairs) {
    for (const GenePairLine& pair : pairs) {
        out.write("  <");
        out.write(pair.human);
        out.write(", ");
        out.write(pair.mouse);
        out.write(">--->\t[");
        out.write(std::to_string(pair.humanCluster));
        out.write(',');
        out.write(std::to_string(pair.mouseCluster));
        out.write("]\n");
    }
}

}  // namespace orthomix
