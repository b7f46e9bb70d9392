#include "sorvane/numeric/uLeastSquares.h"

#include <cmath>
#include <limits>

namespace sorvane {

bool CholeskyFactor(TNormalMatrix& m) {
  constexpr long double NaN = std::numeric_limits<long double>::quiet_NaN();
  bool positive = true;
  // Row i of U needs only rows above it, and M[i][k] is read before U[i][k] overwrites it.
  for (int i = 0; i < NormalSize; ++i) {
    long double s = 0.0L;
    for (int k = 0; k < i; ++k) s += m[k][i] * m[k][i];
    const long double pivot = m[i][i] - s;
    // A zero, negative or not-a-number pivot marks a matrix that is not positive definite. Its
    // root is made not-a-number (never 0), so no later step divides by zero and the failure
    // cannot turn into infinite but finite-looking coefficients.
    if (!(pivot > 0.0L)) positive = false;
    m[i][i] = pivot > 0.0L ? std::sqrt(pivot) : NaN;
    const long double inverse = 1.0L / m[i][i];
    for (int k = i + 1; k < NormalSize; ++k) {
      long double t = m[i][k];
      for (int r = 0; r < i; ++r) t -= m[r][i] * m[r][k];
      m[i][k] = t * inverse;
    }
  }
  return positive;
}

void CholeskySolve(const TNormalMatrix& u, TNormalVector& b) {
  // Forward substitution: U^T y = b, U^T being lower triangular.
  for (int j = 0; j < NormalSize; ++j) {
    long double t = b[j];
    for (int k = 0; k < j; ++k) t -= u[k][j] * b[k];
    b[j] = t / u[j][j];
  }
  // Back substitution: U x = y.
  for (int j = NormalSize - 1; j >= 0; --j) {
    long double t = b[j];
    for (int k = j + 1; k < NormalSize; ++k) t -= u[j][k] * b[k];
    b[j] = t / u[j][j];
  }
}

double PolyEval(const TPolynomial& c, double x) {
  double acc = static_cast<double>(c[NormalSize - 1]);
  for (int i = NormalSize - 2; i >= 0; --i) {
    acc = static_cast<double>(static_cast<long double>(acc) * x + c[i]);
  }
  return acc;
}

} // namespace sorvane
