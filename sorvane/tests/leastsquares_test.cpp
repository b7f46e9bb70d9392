#include "sorvane/numeric/uLeastSquares.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace sorvane {
namespace {

constexpr int N = NormalSize;
constexpr long double NaN = std::numeric_limits<long double>::quiet_NaN();

// Gaussian elimination with partial pivoting on the full matrix, in long double.
TNormalVector ReferenceSolve(TNormalMatrix a, TNormalVector b) {
  for (int c = 0; c < N; ++c) {
    int p = c;
    for (int r = c + 1; r < N; ++r) p = std::fabs(a[r][c]) > std::fabs(a[p][c]) ? r : p;
    std::swap(a[p], a[c]), std::swap(b[p], b[c]);
    for (int r = c + 1; r < N; ++r) {
      const long double f = a[r][c] / a[c][c];
      for (int k = c; k < N; ++k) a[r][k] -= f * a[c][k];
      b[r] -= f * b[c];
    }
  }
  for (int r = N - 1; r >= 0; --r) {
    for (int k = r + 1; k < N; ++k) b[r] -= a[r][k] * b[k];
    b[r] /= a[r][r];
  }
  return b;
}

// B^T B + size*I in the leading size by size block and the identity elsewhere: a random system
// of that size in the fixed frame (size 0 is the identity). The lower triangle is poisoned with
// NaN for the factorisation, which must not read it, and the factor must serve two right-hand
// sides unchanged.
TEST(Cholesky, SolvesRandomPositiveDefiniteSystemsOfEverySize) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<long double> u(-1, 1);
  for (int size : {0, 1, 2, 3, 5, 8, 12, 16}) {
    TNormalMatrix b{}, m{}, f;
    for (auto& row : b)
      for (auto& v : row) v = u(rng);
    for (int i = 0; i < N; ++i)
      for (int j = 0; j < N; ++j) {
        for (int k = 0; k < size; ++k) m[i][j] += (i < size && j < size) * b[k][i] * b[k][j];
        m[i][j] += (i == j) * (i < size ? size : 1);
        f[i][j] = j < i ? NaN : m[i][j];
      }
    ASSERT_TRUE(CholeskyFactor(f)) << size;
    for (int rhs = 0; rhs < 2; ++rhs) {
      TNormalVector x;
      for (auto& v : x) v = 10 * u(rng);
      const TNormalVector want = size == 0 ? x : ReferenceSolve(m, x);
      CholeskySolve(f, x);
      for (int i = 0; i < N; ++i)
        EXPECT_NEAR((double)x[i], (double)want[i], 1e-16 * (1 + std::fabs((double)want[i])))
            << "size " << size << " unknown " << i;
    }
  }
}

TEST(Cholesky, NotPositiveDefiniteGivesNotANumber) {
  const struct { int row; long double diagonal; } cases[] = {{0, -1}, {7, 0}, {15, -4}, {3, NaN}};
  for (const auto& c : cases) {
    TNormalMatrix m{};
    for (int i = 0; i < N; ++i) m[i][i] = 2;
    m[c.row][c.row] = c.diagonal;
    EXPECT_FALSE(CholeskyFactor(m)) << c.row;
    TNormalVector b;
    b.fill(1);
    CholeskySolve(m, b);
    for (int i = 0; i < N; ++i) EXPECT_TRUE(std::isnan(b[i])) << c.row << " " << i;
  }
}

// Coefficients scaled as for a fit in Hz up to 22 kHz, against the plain sum of the terms.
TEST(PolyEval, AgreesWithDirectSum) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<long double> u(-1, 1);
  TPolynomial c, one{}, top{};
  for (int j = 0; j < N; ++j) c[j] = u(rng) / std::pow(22000.0L, j);
  one[0] = 1, top[15] = 1;
  EXPECT_EQ(PolyEval(top, -3), -14348907.0); // (-3)^15, exact
  for (double x : {-22000.0, -1234.5, 0.0, 0.5, 440.0, 9999.0, 22000.0, 1e6}) {
    EXPECT_EQ(PolyEval(one, x), 1) << x;
    long double sum = 0, size = 0, xr = 1;
    for (int j = 0; j < N; ++j, xr *= x) sum += c[j] * xr, size += std::fabs(c[j] * xr);
    EXPECT_NEAR(PolyEval(c, x), (double)sum, 4e-16 * (double)size) << x;
  }
}

} // namespace
} // namespace sorvane
