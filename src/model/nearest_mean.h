#pragma once

#include <cstddef>
#include <vector>

namespace orthomix {

// The nearest of a set of means to a gene: used by the k-means start, the
// reassignment after every EM iteration and the assignment tables. The means
// are stored column by column so that the distances to all of them advance
// together; each distance is still the square root of the squared
// differences summed in column order, as euclideanDistance computes it.
class NearestMeanSearch {
public:
    // means: clusterCount rows of `columns` values, one mean after another.
    void prepare(const double* means, std::size_t clusterCount, std::size_t columns);

    // Position of the nearest mean, ties to the first; -1 when no distance is
    // below infinity (no means, or every distance NaN). The distance goes to
    // *distance when given.
    int find(const double* x, double* distance = nullptr);
    // The same with the caller's scratch of scratchSize() values, so that
    // several threads can search at once.
    int find(const double* x, double* scratch, double* distance) const;

    std::size_t clusterCount() const { return clusterCount_; }
    std::size_t scratchSize() const { return stride_; }

private:
    std::size_t clusterCount_ = 0;
    std::size_t columns_ = 0;
    std::size_t stride_ = 0;  // clusterCount_ rounded up to whole vectors
    std::vector<double> meansByColumn_;
    std::vector<double> sums_;
};

}  // namespace orthomix
