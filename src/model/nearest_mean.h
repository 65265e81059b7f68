#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/expression_matrix.h"
#include "support/processor.h"
#include "support/thread_pool.h"

namespace orthomix {

// The nearest of a set of means to a gene: used by the k-means start, the
// reassignment after every EM iteration and the assignment tables. The means
// are stored column by column so that the distances to all of them advance
// together; each distance is still the square root of the squared
// differences summed in column order, as euclideanDistance computes it.
// What findRows works in; one per thread.
struct NearestMeanScratch {
    struct Candidate {
        std::uint32_t row = 0;
        std::uint32_t cluster = 0;
        double squaredDistance = 0.0;
    };
    std::vector<double> cross, expanded, sums;
    std::vector<Candidate> candidates;
};

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

    // The nearest mean of rows [begin, end) of `rows` (`columns` values each,
    // one row after another) into nearest[0..end-begin): the same answers as
    // find, faster. Four rows at a time, each squared distance is first taken
    // as |x|^2 - 2 x.m + |m|^2, the cross terms of all means in one product;
    // only the means within that form's rounding error of the nearest are
    // then measured as find measures them, so ties and rounding fall as in
    // find. A row whose expanded distances are not all finite is searched by
    // find itself. Every kernel gives the same answers.
    void findRows(const double* rows, std::size_t begin, std::size_t end, int* nearest, NearestMeanScratch& scratch,
                  VectorKernel kernel = VectorKernel::Best) const;

private:
    std::size_t clusterCount_ = 0;
    std::size_t columns_ = 0;
    std::size_t stride_ = 0;  // clusterCount_ rounded up to whole vectors
    std::vector<double> meansByColumn_;
    std::vector<double> means_;        // row by row, as given
    std::vector<double> meanSquares_, meanNorms_;  // |m|^2 and |m| per mean
    std::vector<double> sums_;
};

// How the nearest means of a whole matrix are searched. Both give the same
// answers; Expanded gets them faster through the cross terms of four rows
// at a time.
enum class NearestMeanMethod { RowByRow, Expanded };

// nearest[g] = the nearest mean of every row g of `expression`, ranges of
// rows side by side on the pool.
void findNearestMeans(const NearestMeanSearch& search, const ExpressionMatrix& expression, std::vector<int>& nearest,
                      ThreadPool* pool, NearestMeanMethod method);

}  // namespace orthomix
