#pragma once

#include <string_view>
#include <vector>

#include "numeric/matrix.h"
#include "support/error.h"

namespace orthomix {

// Basis callback of the least-squares fit: fills values (its size is the
// number of coefficients) at x; p1 and p2 are passed through unchanged.
using BasisFunction = void (*)(double x, std::vector<double>& values, int p1, int p2);

// Scratch of the decomposition and the fit; reusing one across calls of the
// same size keeps them free of allocation.
struct SvdWorkspace {
    std::vector<double> superDiagonal;  // the bidiagonal form's off-diagonal
    std::vector<double> columnSums;     // one running dot product per column
    std::vector<double> rhs;            // weighted observations
    std::vector<double> basisValues;
    std::vector<double> projected;      // U^T b / w
};

// Golub-Reinsch singular value decomposition: a (m-by-n, m >= n) is replaced
// by U, w receives the n singular values (non-negative, unsorted) and v the
// n-by-n matrix V (not its transpose), so that a = U diag(w) V^T. Fails when a
// singular value does not converge in 30 QR iterations.
Status svdDecompose(Matrix& a, std::vector<double>& w, Matrix& v, SvdWorkspace& workspace);

// Solves U diag(w) V^T a = b, skipping zero singular values.
void svdBackSubstitute(const Matrix& u, const std::vector<double>& w, const Matrix& v, const std::vector<double>& b,
                       std::vector<double>& a, SvdWorkspace* workspace = nullptr);

// Least-squares fit of a.size() coefficients to (x, y, sig) through the
// decomposition of the weighted design matrix; singular values below 1e-13
// times the largest are zeroed. u (n-by-M), v (M-by-M) and w (M) receive the
// factors. Returns chi-square.
Result<double> svdLeastSquaresFit(const std::vector<double>& x, const std::vector<double>& y,
                                  const std::vector<double>& sig, std::vector<double>& a, Matrix& u, Matrix& v,
                                  std::vector<double>& w, BasisFunction basis, int p1, int p2,
                                  SvdWorkspace& workspace);

// The three-line report of a numerical failure.
Error numericalError(std::string_view message);

}  // namespace orthomix
