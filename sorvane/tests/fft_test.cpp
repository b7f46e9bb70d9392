#include "sorvane/numeric/uFFT.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace sorvane {
namespace {

using LComplex = std::complex<long double>;
constexpr long double Pi = 3.141592653589793238462643383279502884L;

// Relative L2 error of the packed spectrum over 129 scattered bins (every bin up to n = 256), each
// against the plain sum of x[j] exp(+2 pi i j k / n) in long double.
double ErrorAgainstPlainDft(const std::vector<double>& x, const std::vector<double>& packed) {
  const int n = static_cast<int>(x.size());
  std::vector<LComplex> w(n);
  for (int j = 0; j < n; ++j) w[j] = std::polar(1.0L, 2 * Pi * j / n);
  const int step = std::max(1, n / 256);
  long double err = 0, norm = 0;
  for (int i = 0; i * step <= n / 2; ++i) {
    const int k = std::min(n / 2, i * step + 37 * i % step); // scattered low bits, then n/2
    LComplex sum = 0;
    for (int j = 0; j < n; ++j) sum += static_cast<long double>(x[j]) * w[1LL * j * k % n];
    const LComplex got = k == 0 ? packed[0] : k == n / 2 ? packed[1]
                                                         : LComplex(packed[2 * k], packed[2 * k + 1]);
    err += std::norm(got - sum), norm += std::norm(sum);
  }
  return static_cast<double>(std::sqrt(err / norm));
}

// Every block length the program can use, and the short ones where the packing's special bins
// meet. The bounds are about three times the errors seen; twiddle factors advanced in double
// instead of extended precision exceed them from n = 2048 on.
TEST(RealFFT, MatchesPlainDftAndInvertsForEveryLength) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n = 2; n <= 65536; n *= 2) {
    std::vector<double> x(n);
    for (double& v : x) v = u(rng);
    std::vector<double> d = x;
    RealFFT(d.data(), n, true);
    EXPECT_LT(ErrorAgainstPlainDft(x, d), 1e-16 + 5e-17 * std::log2(n)) << "n = " << n;
    RealFFT(d.data(), n, false);
    double worst = 0;
    for (int j = 0; j < n; ++j) worst = std::max(worst, std::fabs(d[j] - x[j]));
    EXPECT_LT(worst, 2e-16 * std::log2(n)) << "n = " << n;
  }
}

TEST(RealFFT, PackingAndSignOfTheExponent) {
  const int n = 64;
  struct TCase {
    const char* name;
    double (*x)(int j);
    double packed0, packed1; // X[0], X[n/2]
    int bin;                 // the one other nonzero bin, or 0
    LComplex value;
  } cases[] = {
    {"impulse at 0", [](int j) { return j == 0 ? 1.0 : 0.0; }, 1, 1, -1, 1},
    {"cos bin 3", [](int j) { return std::cos(2 * M_PI * 3 * j / n); }, 0, 0, 3, {n / 2, 0}},
    {"sin bin 3", [](int j) { return std::sin(2 * M_PI * 3 * j / n); }, 0, 0, 3, {0, n / 2}},
    {"constant", [](int) { return 1.0; }, n, 0, 0, 0},
    {"alternating", [](int j) { return j % 2 ? -1.0 : 1.0; }, 0, n, 0, 0},
  };
  for (const TCase& c : cases) {
    std::vector<double> d(n);
    for (int j = 0; j < n; ++j) d[j] = c.x(j);
    RealFFT(d.data(), n, true);
    EXPECT_NEAR(d[0], c.packed0, 1e-13) << c.name;
    EXPECT_NEAR(d[1], c.packed1, 1e-13) << c.name;
    for (int k = 1; k < n / 2; ++k) { // bin -1: every bin holds the value
      const LComplex want = (k == c.bin || c.bin < 0) ? c.value : 0;
      EXPECT_NEAR(d[2 * k], (double)want.real(), 1e-13) << c.name << " bin " << k;
      EXPECT_NEAR(d[2 * k + 1], (double)want.imag(), 1e-13) << c.name << " bin " << k;
    }
  }
}

TEST(RealFFT, LengthThatIsNotAPowerOfTwoLeavesDataUntouched) {
  const std::vector<double> before{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::vector<double> d = before;
  for (int n : {-8, 0, 1, 3, 6, 12}) RealFFT(d.data(), n, n % 2 == 0);
  EXPECT_EQ(d, before);
  RealFFT(nullptr, 8, true);
}

} // namespace
} // namespace sorvane
