#include "sorvane/analysis/uCalibrationFit.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace sorvane {
namespace {

constexpr int Degree = NormalSize - 1;

long double Component(const TComplexD& z, int comp) { return comp == 0 ? z.Re : z.Im; }

// The fit a_j in powers of x = k - m, rewritten in powers of k: the coefficients of (k - m)^j
// are built from those of (k - m)^(j-1) by one multiplication with (k - m).
TPolynomial InPowersOfBin(const TNormalVector& a, long double m) {
  TPolynomial d = a;
  TPolynomial p{};
  p[0] = 1.0L;
  for (int j = 1; j <= Degree; ++j) {
    p[j] = 1.0L;
    for (int n = j - 1; n >= 0; --n) p[n] = p[n] * -m + (n > 0 ? p[n - 1] : 0.0L);
    for (int n = 0; n < j; ++n) d[n] += a[j] * p[n];
  }
  return d;
}

} // namespace

TCalibrationPolys IdentityCalibration() {
  TCalibrationPolys poly{};
  poly[0][0] = 1.0L;
  return poly;
}

bool PrepareFit(TNormalMatrix& normal, int halfWidth) {
  normal = TNormalMatrix{};
  normal[0][0] = 2.0L * halfWidth + 1.0L;
  // Diagonal: sums of x^(2j) over the symmetric points, x = 0 contributing nothing for j > 0.
  for (int i = 1; i <= halfWidth; ++i) {
    const long double square = static_cast<long double>(int64_t{i} * i);
    long double power = 1.0L;
    for (int j = 1; j <= Degree; ++j) {
      power *= square;
      normal[j][j] += 2.0L * power;
    }
  }
  // Off the diagonal the sum of x^(r+s) is a diagonal entry when r + s is even, 0 when odd.
  for (int r = 0; r <= Degree; ++r) {
    for (int s = r + 1; s <= Degree; ++s) {
      normal[r][s] = (r + s) % 2 == 0 ? normal[(r + s) / 2][(r + s) / 2] : 0.0L;
    }
  }
  return CholeskyFactor(normal);
}

TPolynomial FitComponent(const TNormalMatrix& normal, const TComplexArray& calibration, int comp,
                         int centerBin, int halfWidth, double binHz) {
  const auto y = [&](int x) { return Component(calibration[centerBin + x], comp); };
  TNormalVector b{};
  b[0] = y(0);
  for (int i = 1; i <= halfWidth; ++i) {
    const long double plus = y(i), minus = y(-i);
    b[0] += plus + minus;
    long double power = 1.0L;
    for (int j = 1; j <= Degree; ++j) {
      power *= i;
      b[j] += (j % 2 == 1 ? plus - minus : plus + minus) * power;
    }
  }
  CholeskySolve(normal, b);
  TPolynomial d = InPowersOfBin(b, centerBin);
  // From powers of the bin index to powers of the frequency: c_j k^j = (c_j / df^j) f^j.
  long double scale = 1.0L;
  for (int j = 1; j <= Degree; ++j) {
    scale /= binHz;
    d[j] *= scale;
  }
  return d;
}

void EvaluateCalibration(const TCalibrationPolys& poly, TComplexArray& calibration,
                         double binHz) {
  for (size_t k = 1; k < calibration.size(); ++k) {
    const double f = binHz * static_cast<double>(k);
    calibration[k] = {PolyEval(poly[0], f), PolyEval(poly[1], f)};
  }
}

bool CurveStaysFinite(const TPolynomial& poly, double maxHz) {
  long double bound = 0, power = 1;
  for (const long double c : poly) {
    if (!std::isfinite(c)) return false;
    bound += std::fabs(c) * power;
    power *= maxHz;
  }
  return bound <= std::numeric_limits<double>::max() / LargestBinMagnitude;
}

} // namespace sorvane
