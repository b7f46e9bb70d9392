#pragma once
// The small dense least-squares machinery of the calibration fit: the Cholesky factorisation and
// solution of a 16 by 16 symmetric positive definite system, and the evaluation of a polynomial
// of degree 15. Arithmetic in extended precision (long double); no allocation, no state.

#include <array>

namespace sorvane {

// Unknowns of the fit: the coefficients c0 .. c15 of a polynomial of degree 15.
inline constexpr int NormalSize = 16;

// Row-major; the kernels read and write only the diagonal and the upper triangle (column >= row),
// so whatever the lower triangle holds is ignored.
using TNormalMatrix = std::array<std::array<long double, NormalSize>, NormalSize>;
// A right-hand side, or the solution that replaces it.
using TNormalVector = std::array<long double, NormalSize>;
// Coefficients c0 .. c15, c0 the constant term.
using TPolynomial = std::array<long double, NormalSize>;

// Factorises M in place as M = U^T U, U upper triangular over the upper triangle of M. Returns
// false when M is not positive definite; the factor then holds not-a-number entries from the
// first failed pivot on, so every solve with it yields not-a-number rather than a plausible value.
bool CholeskyFactor(TNormalMatrix& m);

// With U from CholeskyFactor, replaces b by the solution x of U^T U x = b. U is only read, so one
// factor serves any number of right-hand sides.
void CholeskySolve(const TNormalMatrix& u, TNormalVector& b);

// c0 + c1*x + ... + c15*x^15 by Horner's rule, each step in extended precision rounded to double.
double PolyEval(const TPolynomial& c, double x);

} // namespace sorvane
