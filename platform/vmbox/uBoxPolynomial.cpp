#include "platform/vmbox/uBoxPolynomial.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

namespace platform::vmbox {
namespace {

using TRoot = std::complex<long double>;

TRoot Evaluate(const TPolynomial& p, TRoot z) {
  TRoot v = 0;
  for (size_t k = p.size(); k-- > 0;) v = v * z + p[k];
  return v;
}

// The roots of p (degree n >= 1, p[0] and p[n] not 0) by simultaneous Weierstrass iteration on
// the polynomial in x = s / scale, scale the geometric mean of the roots' magnitudes, so that
// component values from picofarads to henries do not spread the coefficients beyond reach.
std::vector<TRoot> Roots(const TPolynomial& p) {
  const size_t n = p.size() - 1;
  const long double scale = std::pow(std::fabs(p[0] / p[n]), 1.0L / (long double)n);
  TPolynomial q(n + 1);
  for (size_t k = 0; k <= n; ++k)
    q[k] = p[k] / p[n] * std::pow(scale, (long double)k - (long double)n);
  std::vector<TRoot> z(n);
  const TRoot seed(0.4L, 0.9L); // not on the real axis, not a root of unity
  z[0] = 1;
  for (size_t i = 1; i < n; ++i) z[i] = z[i - 1] * seed;
  for (int pass = 0; pass < 2000; ++pass) {
    long double largest = 0;
    for (size_t i = 0; i < n; ++i) {
      TRoot d = 1;
      for (size_t j = 0; j < n; ++j)
        if (j != i) d *= z[i] - z[j];
      const TRoot step = Evaluate(q, z[i]) / d;
      z[i] -= step;
      largest = std::max(largest, std::abs(step) / (1 + std::abs(z[i])));
    }
    if (largest < 1e-16L) break;
  }
  for (TRoot& r : z) r *= scale;
  return z;
}

} // namespace

TPolynomial Add(const TPolynomial& a, const TPolynomial& b) {
  TPolynomial r(std::max(a.size(), b.size()), 0.0L);
  for (size_t k = 0; k < a.size(); ++k) r[k] += a[k];
  for (size_t k = 0; k < b.size(); ++k) r[k] += b[k];
  return r;
}

TPolynomial Multiply(const TPolynomial& a, const TPolynomial& b) {
  if (a.empty() || b.empty()) return {};
  TPolynomial r(a.size() + b.size() - 1, 0.0L);
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t j = 0; j < b.size(); ++j) r[i + j] += a[i] * b[j];
  return r;
}

double SlowestTimeConstant(TPolynomial p) {
  while (!p.empty() && p.back() == 0) p.pop_back();
  const auto nonZero = std::find_if(p.begin(), p.end(), [](long double c) { return c != 0; });
  p.erase(p.begin(), nonZero);
  if (p.size() < 2) return 0;
  long double slowest = 0;
  for (const TRoot& r : Roots(p)) {
    // A mode whose decay is lost in the rounding of its frequency does not decay.
    if (-r.real() <= 1e-12L * std::abs(r)) return std::numeric_limits<double>::infinity();
    slowest = std::max(slowest, -1 / r.real());
  }
  return double(slowest);
}

} // namespace platform::vmbox
