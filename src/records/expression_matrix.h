#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "support/huge_pages.h"

namespace orthomix {

// std::allocator, except that growing a vector leaves its new values unset
// instead of writing zeros that are overwritten at once.
template <class T>
struct UnsetGrowthAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnsetGrowthAllocator<U>;
    };
    UnsetGrowthAllocator() = default;
    template <class U>
    UnsetGrowthAllocator(const UnsetGrowthAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <class U, class... Arguments>
    void construct(U* place, Arguments&&... arguments) {
        ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
    }
};

// The expression values of one organism: genes x samples, row-major, one
// contiguous block.
class ExpressionMatrix {
public:
    ExpressionMatrix() = default;
    // rows x columns zeros.
    ExpressionMatrix(std::size_t rows, std::size_t columns) : rows_(rows), columns_(columns) {
        reserveWithHugePages(values_, rows * columns);
        values_.assign(rows * columns, 0.0);
    }
    // rows x columns values not yet set, for a reader that writes every row
    // before any is read: the pages are first touched by the threads that
    // write them, and not filled with zeros first.
    static ExpressionMatrix unset(std::size_t rows, std::size_t columns) {
        ExpressionMatrix matrix;
        matrix.rows_ = rows;
        matrix.columns_ = columns;
        reserveWithHugePages(matrix.values_, rows * columns);
        matrix.values_.resize(rows * columns);
        return matrix;
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
    std::vector<double, UnsetGrowthAllocator<double>> values_;
};

}  // namespace orthomix
