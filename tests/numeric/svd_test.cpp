#include "numeric/svd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace orthomix {
namespace {

Matrix randomMatrix(std::size_t rows, std::size_t cols, std::mt19937& engine, double magnitude = 1.0) {
    std::uniform_real_distribution<double> value(-magnitude, magnitude);
    Matrix m(rows, cols);
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t j = 0; j < cols; ++j) m[i][j] = value(engine);
    return m;
}

double largestMagnitude(const Matrix& m) {
    double largest = 0.0;
    for (std::size_t i = 0; i < m.rows(); ++i)
        for (std::size_t j = 0; j < m.cols(); ++j) largest = std::max(largest, std::fabs(m[i][j]));
    return largest;
}

// Largest |(U diag(w) V^T)[i][j] - original[i][j]| relative to the largest |original|.
double reconstructionError(const Matrix& original, const Matrix& u, const std::vector<double>& w, const Matrix& v) {
    double worst = 0.0;
    for (std::size_t i = 0; i < original.rows(); ++i) {
        for (std::size_t j = 0; j < original.cols(); ++j) {
            double value = 0.0;
            for (std::size_t k = 0; k < w.size(); ++k) value += u[i][k] * w[k] * v[j][k];
            worst = std::max(worst, std::fabs(value - original[i][j]));
        }
    }
    const double scale = largestMagnitude(original);
    return scale > 0.0 ? worst / scale : worst;
}

// Largest deviation of the columns' Gram matrix from the identity.
double orthonormalityError(const Matrix& m) {
    double worst = 0.0;
    for (std::size_t p = 0; p < m.cols(); ++p) {
        for (std::size_t q = p; q < m.cols(); ++q) {
            double dot = 0.0;
            for (std::size_t i = 0; i < m.rows(); ++i) dot += m[i][p] * m[i][q];
            worst = std::max(worst, std::fabs(dot - (p == q ? 1.0 : 0.0)));
        }
    }
    return worst;
}

void expectValidDecomposition(const Matrix& original, const std::string& label) {
    Matrix u = original;
    std::vector<double> w;
    Matrix v;
    svdDecompose(u, w, v);
    ASSERT_EQ(w.size(), original.cols()) << label;
    ASSERT_EQ(v.rows(), original.cols()) << label;
    ASSERT_EQ(v.cols(), original.cols()) << label;
    for (std::size_t k = 0; k < w.size(); ++k) EXPECT_GE(w[k], 0.0) << label << " singular value " << k;
    EXPECT_LT(reconstructionError(original, u, w, v), 1e-10) << label << ": U diag(w) V^T differs from the input";
    EXPECT_LT(orthonormalityError(u), 1e-10) << label << ": columns of U not orthonormal";
    EXPECT_LT(orthonormalityError(v), 1e-10) << label << ": columns of V not orthonormal";
}

TEST(SvdDecompose, RandomMatricesFactorIntoOrthonormalUAndV) {
    std::mt19937 engine(20240611u);
    const std::vector<std::pair<std::size_t, std::size_t>> shapes = {
        {1, 1}, {2, 1}, {2, 2}, {3, 2}, {5, 5}, {7, 3}, {30, 30}, {64, 17}, {400, 40}, {2500, 100}};
    for (const auto& [rows, cols] : shapes) {
        expectValidDecomposition(randomMatrix(rows, cols, engine),
                                 std::to_string(rows) + "x" + std::to_string(cols));
    }
}

TEST(SvdDecompose, StructuredAndExtremeInputs) {
    std::mt19937 engine(7u);
    // Large and tiny entries: the Householder scaling and the hypotenuse keep
    // them from overflowing or flushing to zero. (The QR shift squares
    // entries, so magnitudes beyond about 1e154 are out of reach.)
    expectValidDecomposition(randomMatrix(12, 5, engine, 1e150), "entries of order 1e150");
    expectValidDecomposition(randomMatrix(12, 5, engine, 1e-150), "entries of order 1e-150");

    // Rank 1 and a zero column: exactly zero singular values must not stall the iteration.
    Matrix rankOne(6, 4);
    for (std::size_t i = 0; i < 6; ++i)
        for (std::size_t j = 0; j < 4; ++j) rankOne[i][j] = (1.0 + static_cast<double>(i)) * (j == 2 ? 0.0 : 1.0 + j);
    expectValidDecomposition(rankOne, "rank one with a zero column");

    Matrix zero(4, 3);
    Matrix u = zero;
    std::vector<double> w;
    Matrix v;
    svdDecompose(u, w, v);
    for (double value : w) EXPECT_EQ(value, 0.0) << "zero matrix has only zero singular values";
    EXPECT_LT(orthonormalityError(v), 1e-15) << "V of the zero matrix is still orthonormal";
}

TEST(SvdDecompose, SingularValuesStayInColumnOrderAndNonNegative) {
    // A diagonal input keeps its values in place: the decomposition does not sort.
    Matrix diagonal(4, 3);
    diagonal[0][0] = -1.0;
    diagonal[1][1] = 3.0;
    diagonal[2][2] = 2.0;
    Matrix u = diagonal;
    std::vector<double> w;
    Matrix v;
    svdDecompose(u, w, v);
    ASSERT_EQ(w.size(), 3u);
    EXPECT_DOUBLE_EQ(w[0], 1.0);
    EXPECT_DOUBLE_EQ(w[1], 3.0);
    EXPECT_DOUBLE_EQ(w[2], 2.0);
    EXPECT_LT(reconstructionError(diagonal, u, w, v), 1e-15);
}

TEST(SvdDecomposeDeathTest, NonConvergenceEndsTheProcessWithThreeLines) {
    // NaN entries keep every split test false, so the QR iteration never converges.
    Matrix poisoned(3, 2);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    poisoned[0][0] = nan;
    poisoned[1][1] = 1.0;
    poisoned[2][0] = 2.0;
    std::vector<double> w;
    Matrix v;
    EXPECT_EXIT(svdDecompose(poisoned, w, v), ::testing::ExitedWithCode(1),
                "^Numerical Recipes run-time error\\.\\.\\.\nno convergence in 30 svdcmp iterations\n"
                "\\.\\.\\.now exiting to system\\.\\.\\.\n$");
}

// Polynomial basis 1, x, x^2, ... up to values.size() terms.
void polynomialBasis(double x, std::vector<double>& values, int, int) {
    double power = 1.0;
    for (double& value : values) {
        value = power;
        power *= x;
    }
}

// Intercept and the same slope twice: a design of rank 2 with three coefficients.
void duplicatedSlopeBasis(double x, std::vector<double>& values, int, int) {
    values[0] = 1.0;
    values[1] = x;
    values[2] = x;
}

void zeroBasis(double, std::vector<double>& values, int, int) {
    for (double& value : values) value = 0.0;
}

struct FitResult {
    std::vector<double> a;
    std::vector<double> w;
    double chiSquare;
};

FitResult fit(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& sig,
              std::size_t coefficients, BasisFunction basis) {
    FitResult result{std::vector<double>(coefficients, -99.0), {}, -1.0};
    Matrix u;
    Matrix v;
    result.chiSquare = svdLeastSquaresFit(x, y, sig, result.a, u, v, result.w, basis, 0, 0);
    return result;
}

TEST(SvdLeastSquaresFit, ExactModelsAndWeightedResiduals) {
    const std::vector<double> x = {-2.0, -1.0, 0.0, 0.5, 1.0, 3.0, 4.0};
    std::vector<double> y;
    for (double xi : x) y.push_back(1.0 - 2.0 * xi + 0.5 * xi * xi);
    const std::vector<double> sig = {1.0, 0.5, 2.0, 1.0, 0.25, 1.0, 3.0};
    const FitResult quadratic = fit(x, y, sig, 3, polynomialBasis);
    EXPECT_NEAR(quadratic.a[0], 1.0, 1e-12);
    EXPECT_NEAR(quadratic.a[1], -2.0, 1e-12);
    EXPECT_NEAR(quadratic.a[2], 0.5, 1e-12);
    EXPECT_NEAR(quadratic.chiSquare, 0.0, 1e-20) << "an exactly fitting model leaves no residual";

    // A constant through (1, 2, 3, 6) with the last point at sigma 2 is the
    // weighted mean 7.5 / 3.25, and chi-square weighs each residual by 1/sigma^2.
    const std::vector<double> xs = {0.0, 1.0, 2.0, 3.0};
    const std::vector<double> ys = {1.0, 2.0, 3.0, 6.0};
    const FitResult constant = fit(xs, ys, {1.0, 1.0, 1.0, 2.0}, 1, polynomialBasis);
    const double mean = 7.5 / 3.25;
    double expectedChiSquare = 0.0;
    for (std::size_t i = 0; i < 3; ++i) expectedChiSquare += (ys[i] - mean) * (ys[i] - mean);
    expectedChiSquare += (ys[3] - mean) * (ys[3] - mean) / 4.0;
    EXPECT_NEAR(constant.a[0], mean, 1e-14);
    EXPECT_NEAR(constant.chiSquare, expectedChiSquare, 1e-12);
}

TEST(SvdLeastSquaresFit, DegenerateDesigns) {
    // Two identical slope columns: one singular value is cut to 0 and the
    // slope 3 is shared equally, the minimum-norm solution.
    const std::vector<double> x = {0.0, 1.0, 2.0, 3.0, 4.0};
    std::vector<double> y;
    for (double xi : x) y.push_back(2.0 + 3.0 * xi);
    const std::vector<double> sig(x.size(), 1.0);
    const FitResult deficient = fit(x, y, sig, 3, duplicatedSlopeBasis);
    EXPECT_EQ(std::count(deficient.w.begin(), deficient.w.end(), 0.0), 1)
        << "exactly one singular value falls below the relative threshold";
    EXPECT_NEAR(deficient.a[0], 2.0, 1e-12);
    EXPECT_NEAR(deficient.a[1], 1.5, 1e-12);
    EXPECT_NEAR(deficient.a[2], 1.5, 1e-12);
    EXPECT_NEAR(deficient.chiSquare, 0.0, 1e-20);

    // An all-zero design has wmax = 0: nothing is cut, every term is skipped,
    // the coefficients are 0 and chi-square is the sum of y^2.
    const FitResult zero = fit({1.0, 2.0, 3.0}, {1.0, -2.0, 2.0}, {1.0, 1.0, 1.0}, 2, zeroBasis);
    EXPECT_EQ(zero.a[0], 0.0);
    EXPECT_EQ(zero.a[1], 0.0);
    EXPECT_EQ(zero.chiSquare, 9.0);
}

}  // namespace
}  // namespace orthomix
