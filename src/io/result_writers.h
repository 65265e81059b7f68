#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/atomic_file.h"

namespace orthomix {

// One line of a membership file: a gene (or a gene pair, whose values are the
// human values followed by the mouse values).
struct MembershipRow {
    std::string_view name;
    std::string_view annotation;
    std::span<const double> values;
    std::span<const double> moreValues;  // empty except for gene pairs
};
using MembershipCluster = std::vector<MembershipRow>;

// Header "probe set", "NAME", the column names; then each cluster's rows
// (name, annotation, values), clusters separated by three "NONE" lines.
void writeMembershipFile(AtomicOutputFile& out, const std::vector<MembershipCluster>& clusters,
                         const std::vector<std::string>& columnNames);

// One ortholog pair with the cluster numbers of its genes.
struct GenePairLine {
    std::string_view human;
    std::string_view mouse;
    std::int32_t humanCluster = 0;
    std::int32_t mouseCluster = 0;
};

// One line per pair: "  <H, M>--->\t[i,j]".
void writeGenePairResultFile(AtomicOutputFile& out, const std::vector<GenePairLine>& pairs);

}  // namespace orthomix
