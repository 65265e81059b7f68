#include "numeric/svd.h"

#include <cmath>
#include <string>

// The decomposition keeps the classical operation order of Golub and Reinsch
// (1970) throughout, because fitted tables are compared bit for bit with
// output of that order. Loops over columns are turned inside out only where
// each column keeps its own sum in ascending row order, which leaves every
// rounding unchanged while reading the row-major storage contiguously.

namespace orthomix {

namespace {

constexpr int kMaxQrIterations = 30;
constexpr const char* kNoConvergence = "no convergence in 30 svdcmp iterations";
constexpr double kSingularValueTolerance = 1.0e-13;

// sqrt(p^2 + q^2) without destructive overflow or underflow.
double hypotenuse(double p, double q) {
    const double absP = std::fabs(p);
    const double absQ = std::fabs(q);
    if (absP > absQ) {
        const double ratio = absQ / absP;
        return absP * std::sqrt(1.0 + ratio * ratio);
    }
    if (absQ == 0.0) return 0.0;
    const double ratio = absP / absQ;
    return absQ * std::sqrt(1.0 + ratio * ratio);
}

// |magnitude| with the sign of signSource; zero counts as positive.
double withSign(double magnitude, double signSource) {
    return signSource >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// Below the last bit of the matrix norm: a relative test with no tolerance constant.
bool negligible(double value, double anorm) { return std::fabs(value) + anorm == anorm; }

// sums[j] = sum over k in [kBegin, kEnd) of coefficient(k) * target[k][j] for
// every column j >= jBegin, where coefficient(k) = coefficients[k * stride].
void dotWithColumns(const Matrix& target, const double* coefficients, std::size_t stride, int kBegin, int kEnd,
                    int jBegin, std::vector<double>& sums) {
    const int cols = static_cast<int>(target.cols());
    for (int j = jBegin; j < cols; ++j) sums[j] = 0.0;
    for (int k = kBegin; k < kEnd; ++k) {
        const double coefficient = coefficients[static_cast<std::size_t>(k) * stride];
        const double* row = target[k];
        for (int j = jBegin; j < cols; ++j) sums[j] += coefficient * row[j];
    }
}

// target[k][j] += factors[j] * target[k][pivot] for k in [kBegin, kEnd) and every column j >= jBegin > pivot.
void addScaledPivotColumn(Matrix& target, int pivot, int kBegin, int kEnd, int jBegin,
                          const std::vector<double>& factors) {
    const int cols = static_cast<int>(target.cols());
    for (int k = kBegin; k < kEnd; ++k) {
        double* row = target[k];
        const double pivotValue = row[pivot];
        for (int j = jBegin; j < cols; ++j) row[j] += factors[j] * pivotValue;
    }
}

// Plane rotation of columns p and q of every row.
void rotateColumns(Matrix& target, int p, int q, double c, double s) {
    const std::size_t rows = target.rows();
    for (std::size_t r = 0; r < rows; ++r) {
        double* row = target[r];
        const double y = row[p];
        const double z = row[q];
        row[p] = y * c + z * s;
        row[q] = z * c - y * s;
    }
}

// Applies the reflector of row i (rowI, with rowI / h in e) to every row
// j >= l: row_j += (row_j . rowI) e over the columns l..n-1. Four rows go
// together so that their dot products, each still summed in column order,
// overlap instead of waiting on one chain of additions.
void reflectRows(Matrix& a, const double* rowI, const std::vector<double>& e, int l) {
    const int m = static_cast<int>(a.rows());
    const int n = static_cast<int>(a.cols());
    int j = l;
    for (; j + 4 <= m; j += 4) {
        double* r0 = a[j];
        double* r1 = a[j + 1];
        double* r2 = a[j + 2];
        double* r3 = a[j + 3];
        double d0 = 0.0, d1 = 0.0, d2 = 0.0, d3 = 0.0;
        for (int k = l; k < n; ++k) {
            d0 += r0[k] * rowI[k];
            d1 += r1[k] * rowI[k];
            d2 += r2[k] * rowI[k];
            d3 += r3[k] * rowI[k];
        }
        for (int k = l; k < n; ++k) {
            r0[k] += d0 * e[k];
            r1[k] += d1 * e[k];
            r2[k] += d2 * e[k];
            r3[k] += d3 * e[k];
        }
    }
    for (; j < m; ++j) {
        double* rowJ = a[j];
        double dot = 0.0;
        for (int k = l; k < n; ++k) dot += rowJ[k] * rowI[k];
        for (int k = l; k < n; ++k) rowJ[k] += dot * e[k];
    }
}

// Householder reduction to upper bidiagonal form: diagonal in w, super-diagonal
// in e (e[0] = 0). The reflectors stay in a. Returns the norm estimate anorm.
double bidiagonalise(Matrix& a, std::vector<double>& w, std::vector<double>& e, std::vector<double>& sums) {
    const int m = static_cast<int>(a.rows());
    const int n = static_cast<int>(a.cols());
    double g = 0.0;
    double scale = 0.0;
    double anorm = 0.0;
    for (int i = 0; i < n; ++i) {
        const int l = i + 1;
        e[i] = scale * g;
        g = 0.0;
        scale = 0.0;
        double s = 0.0;
        if (i < m) {
            for (int k = i; k < m; ++k) scale += std::fabs(a[k][i]);
            if (scale != 0.0) {
                for (int k = i; k < m; ++k) {
                    a[k][i] /= scale;
                    s += a[k][i] * a[k][i];
                }
                const double f = a[i][i];
                g = -withSign(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][i] = f - g;
                dotWithColumns(a, a[0] + i, a.cols(), i, m, l, sums);
                for (int j = l; j < n; ++j) sums[j] = sums[j] / h;
                addScaledPivotColumn(a, i, i, m, l, sums);
                for (int k = i; k < m; ++k) a[k][i] *= scale;
            }
        }
        w[i] = scale * g;
        g = 0.0;
        scale = 0.0;
        s = 0.0;
        if (i < m && i != n - 1) {
            double* rowI = a[i];
            for (int k = l; k < n; ++k) scale += std::fabs(rowI[k]);
            if (scale != 0.0) {
                for (int k = l; k < n; ++k) {
                    rowI[k] /= scale;
                    s += rowI[k] * rowI[k];
                }
                const double f = rowI[l];
                g = -withSign(std::sqrt(s), f);
                const double h = f * g - s;
                rowI[l] = f - g;
                for (int k = l; k < n; ++k) e[k] = rowI[k] / h;
                reflectRows(a, rowI, e, l);
                for (int k = l; k < n; ++k) rowI[k] *= scale;
            }
        }
        // Written out rather than std::max so that a NaN candidate propagates.
        const double candidate = std::fabs(w[i]) + std::fabs(e[i]);
        anorm = anorm > candidate ? anorm : candidate;
    }
    return anorm;
}

// Builds V from the right-hand reflectors stored in the rows of a.
void accumulateRight(const Matrix& a, Matrix& v, const std::vector<double>& e, std::vector<double>& sums) {
    const int n = static_cast<int>(a.cols());
    double g = 0.0;
    int l = n;
    for (int i = n - 1; i >= 0; --i) {
        if (i < n - 1) {
            if (g != 0.0) {
                const double* rowI = a[i];
                // Two divisions, not one by the product, to avoid underflow.
                for (int j = l; j < n; ++j) v[j][i] = (rowI[j] / rowI[l]) / g;
                dotWithColumns(v, rowI, 1, l, n, l, sums);
                addScaledPivotColumn(v, i, l, n, l, sums);
            }
            for (int j = l; j < n; ++j) {
                v[i][j] = 0.0;
                v[j][i] = 0.0;
            }
        }
        v[i][i] = 1.0;
        g = e[i];
        l = i;
    }
}

// Replaces a by U from the left-hand reflectors stored in its columns.
void accumulateLeft(Matrix& a, const std::vector<double>& w, std::vector<double>& sums) {
    const int m = static_cast<int>(a.rows());
    const int n = static_cast<int>(a.cols());
    for (int i = (m < n ? m : n) - 1; i >= 0; --i) {
        const int l = i + 1;
        double g = w[i];
        for (int j = l; j < n; ++j) a[i][j] = 0.0;
        if (g != 0.0) {
            g = 1.0 / g;
            dotWithColumns(a, a[0] + i, a.cols(), l, m, l, sums);
            const double pivot = a[i][i];
            for (int j = l; j < n; ++j) sums[j] = (sums[j] / pivot) * g;
            addScaledPivotColumn(a, i, i, m, l, sums);
            for (int j = i; j < m; ++j) a[j][i] *= g;
        } else {
            for (int j = i; j < m; ++j) a[j][i] = 0.0;
        }
        a[i][i] += 1.0;
    }
}

// w[l - 1] is negligible: chases e[l] down the block l..k with rotations
// against row l - 1 so that the block splits off.
void cancelSuperDiagonal(Matrix& a, std::vector<double>& w, std::vector<double>& e, int l, int k, double anorm) {
    const int nm = l - 1;
    double c = 0.0;
    double s = 1.0;
    for (int i = l; i <= k; ++i) {
        const double f = s * e[i];
        e[i] = c * e[i];
        if (negligible(f, anorm)) break;
        const double g = w[i];
        double h = hypotenuse(f, g);
        w[i] = h;
        h = 1.0 / h;
        c = g * h;
        s = -f * h;
        rotateColumns(a, nm, i, c, s);
    }
}

// One implicitly shifted QR step on the bidiagonal block l..k, the shift
// taken from its bottom 2x2 minor.
void qrSweep(Matrix& a, std::vector<double>& w, Matrix& v, std::vector<double>& e, int l, int k) {
    const double bottom = w[k];
    double x = w[l];
    const int nm = k - 1;
    double y = w[nm];
    double g = e[nm];
    double h = e[k];
    double f = ((y - bottom) * (y + bottom) + (g - h) * (g + h)) / (2.0 * h * y);
    g = hypotenuse(f, 1.0);
    f = ((x - bottom) * (x + bottom) + h * ((y / (f + withSign(g, f))) - h)) / x;
    double c = 1.0;
    double s = 1.0;
    for (int j = l; j <= nm; ++j) {
        const int i = j + 1;
        g = e[i];
        y = w[i];
        h = s * g;
        g = c * g;
        double z = hypotenuse(f, h);
        e[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        rotateColumns(v, j, i, c, s);
        z = hypotenuse(f, h);
        w[j] = z;
        // A zero z leaves the rotation of the previous step in force.
        if (z != 0.0) {
            z = 1.0 / z;
            c = f * z;
            s = h * z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        rotateColumns(a, j, i, c, s);
    }
    e[l] = 0.0;
    e[k] = f;
    w[k] = x;
}

// Diagonalises the bidiagonal form, singular values from last to first;
// false when a value does not converge within the iteration limit.
bool diagonalise(Matrix& a, std::vector<double>& w, Matrix& v, std::vector<double>& e, double anorm) {
    const int n = static_cast<int>(w.size());
    for (int k = n - 1; k >= 0; --k) {
        for (int iteration = 0; iteration < kMaxQrIterations; ++iteration) {
            // l: top of the unreduced block ending at k. e[0] is zero, so the
            // block always ends at 0; stopping there without testing also keeps
            // a NaN anorm from reading before w.
            int l = k;
            bool cancel = false;
            while (l > 0) {
                if (negligible(e[l], anorm)) break;
                if (negligible(w[l - 1], anorm)) {
                    cancel = true;
                    break;
                }
                --l;
            }
            if (cancel) cancelSuperDiagonal(a, w, e, l, k, anorm);
            const double z = w[k];
            if (l == k) {
                if (z < 0.0) {
                    w[k] = -z;
                    for (int j = 0; j < n; ++j) v[j][k] = -v[j][k];
                }
                break;
            }
            if (iteration == kMaxQrIterations - 1) return false;
            qrSweep(a, w, v, e, l, k);
        }
    }
    return true;
}

}  // namespace

Error numericalError(std::string_view message) {
    return Error{"Numerical Recipes run-time error...\n" + std::string(message) + "\n...now exiting to system..."};
}

Status svdDecompose(Matrix& a, std::vector<double>& w, Matrix& v, SvdWorkspace& workspace) {
    const std::size_t n = a.cols();
    w.assign(n, 0.0);
    v.resize(n, n);
    workspace.superDiagonal.assign(n, 0.0);
    workspace.columnSums.assign(n, 0.0);
    const double anorm = bidiagonalise(a, w, workspace.superDiagonal, workspace.columnSums);
    accumulateRight(a, v, workspace.superDiagonal, workspace.columnSums);
    accumulateLeft(a, w, workspace.columnSums);
    if (!diagonalise(a, w, v, workspace.superDiagonal, anorm)) return numericalError(kNoConvergence);
    return okStatus();
}

void svdBackSubstitute(const Matrix& u, const std::vector<double>& w, const Matrix& v, const std::vector<double>& b,
                       std::vector<double>& a, SvdWorkspace* workspace) {
    const std::size_t m = u.rows();
    const std::size_t n = u.cols();
    std::vector<double> localProjected;
    std::vector<double>& projected = workspace ? workspace->projected : localProjected;
    projected.assign(n, 0.0);
    // Row-major walk; each column still sums its rows in ascending order.
    for (std::size_t i = 0; i < m; ++i) {
        const double* row = u[i];
        const double bi = b[i];
        for (std::size_t j = 0; j < n; ++j) projected[j] += row[j] * bi;
    }
    for (std::size_t j = 0; j < n; ++j) projected[j] = w[j] != 0.0 ? projected[j] / w[j] : 0.0;
    a.resize(n);
    for (std::size_t j = 0; j < n; ++j) {
        const double* row = v[j];
        double sum = 0.0;
        for (std::size_t k = 0; k < n; ++k) sum += row[k] * projected[k];
        a[j] = sum;
    }
}

Result<double> svdLeastSquaresFit(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& sig,
                          std::vector<double>& a, Matrix& u, Matrix& v, std::vector<double>& w, BasisFunction basis,
                          int p1, int p2, SvdWorkspace& workspace) {
    const std::size_t points = x.size();
    const std::size_t coefficients = a.size();
    std::vector<double>& values = workspace.basisValues;
    std::vector<double>& rhs = workspace.rhs;
    values.assign(coefficients, 0.0);
    rhs.assign(points, 0.0);
    u.resize(points, coefficients);
    for (std::size_t i = 0; i < points; ++i) {
        basis(x[i], values, p1, p2);
        const double weight = 1.0 / sig[i];
        double* row = u[i];
        for (std::size_t j = 0; j < coefficients; ++j) row[j] = values[j] * weight;
        rhs[i] = y[i] * weight;
    }
    ORTHOMIX_TRY(svdDecompose(u, w, v, workspace));
    double wmax = 0.0;
    for (const double value : w) {
        if (value > wmax) wmax = value;
    }
    const double threshold = kSingularValueTolerance * wmax;
    for (double& value : w) {
        if (value < threshold) value = 0.0;
    }
    svdBackSubstitute(u, w, v, rhs, a, &workspace);
    double chiSquare = 0.0;
    for (std::size_t i = 0; i < points; ++i) {
        basis(x[i], values, p1, p2);
        double fitted = 0.0;
        for (std::size_t j = 0; j < coefficients; ++j) fitted += a[j] * values[j];
        const double residual = (y[i] - fitted) / sig[i];
        chiSquare += residual * residual;
    }
    return chiSquare;
}

}  // namespace orthomix
