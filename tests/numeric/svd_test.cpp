#include "numeric/svd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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
    SvdWorkspace workspace;
    const Status status = svdDecompose(u, w, v, workspace);
    ASSERT_TRUE(status.ok()) << label << ": " << status.error().message;
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
    SvdWorkspace workspace;
    ASSERT_TRUE(svdDecompose(u, w, v, workspace).ok());
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
    SvdWorkspace workspace;
    ASSERT_TRUE(svdDecompose(u, w, v, workspace).ok());
    ASSERT_EQ(w.size(), 3u);
    EXPECT_DOUBLE_EQ(w[0], 1.0);
    EXPECT_DOUBLE_EQ(w[1], 3.0);
    EXPECT_DOUBLE_EQ(w[2], 2.0);
    EXPECT_LT(reconstructionError(diagonal, u, w, v), 1e-15);
}

const std::string kNoConvergence =
    "Numerical Recipes run-time error...\nno convergence in 30 svdcmp iterations\n...now exiting to system...";

// NaN entries keep every split test false, so the QR iteration never converges.
Matrix poisonedMatrix() {
    Matrix poisoned(3, 2);
    poisoned[0][0] = std::numeric_limits<double>::quiet_NaN();
    poisoned[1][1] = 1.0;
    poisoned[2][0] = 2.0;
    return poisoned;
}

TEST(SvdDecompose, NonConvergenceIsAnErrorOfThreeLines) {
    Matrix poisoned = poisonedMatrix();
    std::vector<double> w;
    Matrix v;
    SvdWorkspace workspace;
    const Status status = svdDecompose(poisoned, w, v, workspace);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().message, kNoConvergence);

    // The workspace of a failed call serves the next one unharmed.
    Matrix fine(3, 2);
    fine[0][0] = 3.0;
    fine[1][1] = 4.0;
    ASSERT_TRUE(svdDecompose(fine, w, v, workspace).ok());
    EXPECT_EQ(w, (std::vector<double>{3.0, 4.0}));
}

void expectSameBits(const Matrix& a, const Matrix& b, const std::string& label) {
    ASSERT_EQ(a.rows(), b.rows()) << label;
    ASSERT_EQ(a.cols(), b.cols()) << label;
    for (std::size_t i = 0; i < a.rows(); ++i) {
        for (std::size_t j = 0; j < a.cols(); ++j) {
            ASSERT_EQ(std::memcmp(&a[i][j], &b[i][j], sizeof(double)), 0) << label << " at " << i << "," << j;
        }
    }
}

TEST(SvdDecompose, ReusedOutputsAndWorkspaceGiveTheBitsOfFreshOnes) {
    // Outputs and scratch left over from a larger and then a smaller problem
    // must not leak into the next result.
    std::mt19937 engine(99u);
    const Matrix large = randomMatrix(9, 7, engine);
    const Matrix small = randomMatrix(3, 2, engine);
    const Matrix target = randomMatrix(6, 4, engine);

    Matrix freshU = target;
    std::vector<double> freshW;
    Matrix freshV;
    SvdWorkspace freshWorkspace;
    ASSERT_TRUE(svdDecompose(freshU, freshW, freshV, freshWorkspace).ok());

    std::vector<double> w;
    Matrix v;
    SvdWorkspace workspace;
    for (const Matrix* previous : {&large, &small}) {
        Matrix scratch = *previous;
        ASSERT_TRUE(svdDecompose(scratch, w, v, workspace).ok());
        Matrix u = target;
        ASSERT_TRUE(svdDecompose(u, w, v, workspace).ok());
        const std::string label = "after a " + std::to_string(previous->rows()) + "x" + std::to_string(previous->cols());
        expectSameBits(u, freshU, label + ": U");
        expectSameBits(v, freshV, label + ": V");
        ASSERT_EQ(w.size(), freshW.size()) << label;
        EXPECT_EQ(std::memcmp(w.data(), freshW.data(), w.size() * sizeof(double)), 0) << label << ": w";
    }
}

TEST(SvdBackSubstitute, SolvesSquareSystemsAndSkipsZeroSingularValues) {
    // A x = b for a well-conditioned 4x4 A.
    std::mt19937 engine(5u);
    Matrix a = randomMatrix(4, 4, engine);
    for (std::size_t i = 0; i < 4; ++i) a[i][i] += 4.0;
    const std::vector<double> x = {1.0, -2.0, 0.5, 3.0};
    std::vector<double> b(4, 0.0);
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = 0; j < 4; ++j) b[i] += a[i][j] * x[j];
    Matrix u = a;
    std::vector<double> w;
    Matrix v;
    SvdWorkspace workspace;
    ASSERT_TRUE(svdDecompose(u, w, v, workspace).ok());
    std::vector<double> solved = {7.0};  // resized to the column count
    svdBackSubstitute(u, w, v, b, solved);
    ASSERT_EQ(solved.size(), 4u);
    for (std::size_t j = 0; j < 4; ++j) EXPECT_NEAR(solved[j], x[j], 1e-12) << "x[" << j << "]";

    std::vector<double> withWorkspace;
    svdBackSubstitute(u, w, v, b, withWorkspace, &workspace);
    EXPECT_EQ(withWorkspace, solved) << "the workspace changes where the scratch lives, not the result";

    // diag(2, 0) with b = (4, 5): the zero singular value's component is dropped, not divided by.
    Matrix diagonal(2, 2);
    diagonal[0][0] = 2.0;
    Matrix du = diagonal;
    ASSERT_TRUE(svdDecompose(du, w, v, workspace).ok());
    std::vector<double> minimumNorm;
    svdBackSubstitute(du, w, v, {4.0, 5.0}, minimumNorm, &workspace);
    ASSERT_EQ(minimumNorm.size(), 2u);
    EXPECT_DOUBLE_EQ(minimumNorm[0], 2.0);
    EXPECT_EQ(minimumNorm[1], 0.0);
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
    SvdWorkspace workspace;
    const Result<double> chiSquare = svdLeastSquaresFit(x, y, sig, result.a, u, v, result.w, basis, 0, 0, workspace);
    if (!chiSquare) {
        ADD_FAILURE() << "the fit failed: " << chiSquare.error().message;
        return result;
    }
    result.chiSquare = *chiSquare;
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

// p1 + p2 * x: the basis sees the caller's two parameters unchanged.
void parameterisedLineBasis(double x, std::vector<double>& values, int p1, int p2) {
    values[0] = static_cast<double>(p1);
    values[1] = static_cast<double>(p2) * x;
}

TEST(SvdLeastSquaresFit, PassesItsParametersReusesItsWorkspaceAndReportsNonConvergence) {
    const std::vector<double> x = {0.0, 1.0, 2.0, 3.0};
    const std::vector<double> y = {3.0, 5.0, 7.0, 9.0};  // 3 + 2x
    const std::vector<double> sig(x.size(), 1.0);
    Matrix u;
    Matrix v;
    std::vector<double> w;
    SvdWorkspace workspace;

    // A wider fit first, so that the workspace and outputs hold more than the next fit needs.
    std::vector<double> wide(5, 0.0);
    const std::vector<double> manyX = {-3, -2, -1, 0, 1, 2, 3, 4, 5};
    const std::vector<double> manyY = {9, 4, 1, 0, 1, 4, 9, 16, 25};
    ASSERT_TRUE(svdLeastSquaresFit(manyX, manyY, std::vector<double>(9, 1.0), wide, u, v, w, polynomialBasis, 0, 0,
                                   workspace)
                    .ok());

    std::vector<double> a(2, 0.0);
    const Result<double> chiSquare = svdLeastSquaresFit(x, y, sig, a, u, v, w, parameterisedLineBasis, 3, 4, workspace);
    ASSERT_TRUE(chiSquare.ok()) << chiSquare.error().message;
    EXPECT_NEAR(a[0], 1.0, 1e-12) << "3 = a0 * p1";
    EXPECT_NEAR(a[1], 0.5, 1e-12) << "2 = a1 * p2";
    EXPECT_NEAR(*chiSquare, 0.0, 1e-20);
    EXPECT_EQ(w.size(), 2u);
    EXPECT_EQ(u.rows(), 4u);
    EXPECT_EQ(u.cols(), 2u);

    std::vector<double> fresh(2, 0.0);
    Matrix freshU;
    Matrix freshV;
    std::vector<double> freshW;
    SvdWorkspace freshWorkspace;
    const Result<double> freshChiSquare =
        svdLeastSquaresFit(x, y, sig, fresh, freshU, freshV, freshW, parameterisedLineBasis, 3, 4, freshWorkspace);
    ASSERT_TRUE(freshChiSquare.ok());
    EXPECT_EQ(std::memcmp(a.data(), fresh.data(), 2 * sizeof(double)), 0) << "a reused workspace changes no bit";
    EXPECT_EQ(std::memcmp(&*chiSquare, &*freshChiSquare, sizeof(double)), 0);

    // A NaN abscissa poisons the design matrix: the fit fails with the decomposition's error.
    const std::vector<double> poisonedX = {0.0, std::numeric_limits<double>::quiet_NaN(), 2.0, 3.0};
    const Result<double> failed = svdLeastSquaresFit(poisonedX, y, sig, a, u, v, w, polynomialBasis, 0, 0, workspace);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().message, kNoConvergence);
}

}  // namespace
}  // namespace orthomix
