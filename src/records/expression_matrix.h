#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "support/huge_pages.h"

namespace orthomix {

// The expression values of one organism: genes x samples, row-major, one
// contiguous block.
class ExpressionMatrix {
public:
    ExpressionMatrix() = default;
    ExpressionMatrix(std::size_t rows, std::size_t columns) : rows_(rows), columns_(columns) {
        reserveWithHugePages(values_, rows * columns);
        values_.resize(rows * columns);
    }

    std::size_t rows() const { return rows_; }
    std::size_t columns() const { return columns_; }
    const double* row(std::size_t gene) const { return values_.data() + gene * columns_; }
    double* row(std::size_t gene) { return values_.data() + gene * columns_; }
    std::span<const double> rowSpan(std::size_t gene) const { return {row(gene), columns_}; }

    // Appends one row of columns() values.
    void appendRow(const double* values) {
        values_.insert(values_.end(), values, values + columns_);
        ++rows_;
    }
    void reserveRows(std::size_t rows) { reserveWithHugePages(values_, rows * columns_); }

private:
    std::size_t rows_ = 0;
    std::size_t columns_ = 0;
    std::vector<double> values_;
};

}  // namespace orthomix
