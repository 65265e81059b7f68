#pragma once

#include <cstddef>
#include <vector>

namespace orthomix {

// The Gaussians of one organism's clusters: a mean and a variance per cluster
// and expression column, cluster after cluster. A variance of exactly 0 marks
// a column that the cluster's density leaves out.
struct ClusterParameters {
    std::size_t clusterCount = 0;
    std::size_t columns = 0;
    std::vector<double> means;      // [cluster * columns + column]
    std::vector<double> variances;  // [cluster * columns + column]

    const double* mean(std::size_t cluster) const { return means.data() + cluster * columns; }
    const double* variance(std::size_t cluster) const { return variances.data() + cluster * columns; }
    void resize(std::size_t clusters, std::size_t columnCount) {
        clusterCount = clusters;
        columns = columnCount;
        means.assign(clusters * columnCount, 0.0);
        variances.assign(clusters * columnCount, 0.0);
    }
};

}  // namespace orthomix
