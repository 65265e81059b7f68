#pragma once

#include <cstddef>
#include <vector>

namespace orthomix {

// Dense row-major matrix of doubles, 0-based.
class Matrix {
public:
    Matrix() = default;
    Matrix(std::size_t rows, std::size_t cols) : rows_(rows), cols_(cols), data_(rows * cols, 0.0) {}

    // Resizes without shrinking the storage, so reuse across calls does not allocate.
    void resize(std::size_t rows, std::size_t cols) {
        rows_ = rows;
        cols_ = cols;
        data_.resize(rows * cols);
    }

    std::size_t rows() const { return rows_; }
    std::size_t cols() const { return cols_; }
    double* operator[](std::size_t i) { return data_.data() + i * cols_; }
    const double* operator[](std::size_t i) const { return data_.data() + i * cols_; }

private:
    std::size_t rows_ = 0;
    std::size_t cols_ = 0;
    std::vector<double> data_;
};

}  // namespace orthomix
