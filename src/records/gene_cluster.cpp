#include "records/gene_cluster.h"

#include "model/densities.h"

namespace orthomix {

double distance(const GeneRecord& a, const GeneRecord& b) {
    return euclideanDistance(a.expression, b.expression);
}

double GeneCluster::meanDistanceToCenter() const {
    if (members.empty()) return 0.0;
    double sum = 0.0;
    for (const GeneRecord* member : members) sum += distance(*member, *center);
    return sum / memberCount();
}

void GeneCluster::propagateIndex() const {
    for (GeneRecord* member : members) member->clusterIndex = index;
}

void GeneCluster::setCenterFrom(const GeneRecord& gene) {
    center = std::make_unique<GeneRecord>(gene.expression, kCenterName);
}

void GeneCluster::recomputeCenter() {
    if (members.empty()) return;
    const std::size_t columns = dimension > 0 ? static_cast<std::size_t>(dimension) : 0;
    // The centre is replaced as a whole; nothing holds on to its values, so
    // an existing record is refilled instead of reallocated.
    if (!center) center = std::make_unique<GeneRecord>(std::vector<double>(), kCenterName);
    std::vector<double>& sums = center->expression;
    sums.assign(columns, 0.0);
    // Member-major walk: each column still sums its members in list order.
    for (const GeneRecord* member : members) {
        const double* values = member->expression.data();
        for (std::size_t i = 0; i < columns; ++i) sums[i] += values[i];
    }
    const double count = memberCount();
    for (double& value : sums) value /= count;
}

}  // namespace orthomix
