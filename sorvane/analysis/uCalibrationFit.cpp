#include "sorvane/analysis/uCalibrationFit.h"

#include <algorithm>
#include <cmath>
#include <complex>
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

void TRatioAverage::Clear() {
  Cross.clear();
  Power.clear();
  SettledCross.clear();
  SettledPower.clear();
  SettledBlocks = 0;
  Added = 0;
  for (auto& g : GroupCross) g.clear();
  for (auto& g : GroupPower) g.clear();
}

void TRatioAverage::Add(const double* v0, const double* v1, int bins) {
  if (bins < 2) return;
  if (!Power.empty() && static_cast<int>(Power.back().size()) != bins) Clear();
  std::vector<TComplexD> cross(static_cast<size_t>(bins), {0, 0});
  std::vector<double> power(static_cast<size_t>(bins), 0);
  for (int k = 1; k < bins; ++k) {
    const TComplexD a = BinAt(v0, k), b = BinAt(v1, k);
    cross[k] = {a.Re * b.Re + a.Im * b.Im, a.Im * b.Re - a.Re * b.Im};
    power[k] = CSqrAbs(b);
  }
  ++Added;
  if (Added > AveragedBlocks) {
    const size_t g = static_cast<size_t>(Added % SpreadGroups);
    GroupCross[g].resize(static_cast<size_t>(bins), {0, 0});
    GroupPower[g].resize(static_cast<size_t>(bins), 0);
    for (int k = 1; k < bins; ++k) {
      GroupCross[g][k].Re += cross[k].Re, GroupCross[g][k].Im += cross[k].Im;
      GroupPower[g][k] += power[k];
    }
  }
  Cross.push_back(std::move(cross));
  Power.push_back(std::move(power));
  if (static_cast<int>(Cross.size()) <= AveragedBlocks) return;
  // The oldest of the latest blocks leaves them: it was recorded after the run's first
  // AveragedBlocks once the run holds more than twice as many, and then counts for good.
  if (Added > 2 * AveragedBlocks) {
    if (SettledPower.empty()) {
      SettledCross.assign(static_cast<size_t>(bins), {0, 0});
      SettledPower.assign(static_cast<size_t>(bins), 0);
    }
    for (int k = 1; k < bins; ++k) {
      SettledCross[k].Re += Cross.front()[k].Re, SettledCross[k].Im += Cross.front()[k].Im;
      SettledPower[k] += Power.front()[k];
    }
    ++SettledBlocks;
  }
  Cross.pop_front(), Power.pop_front();
}

void TRatioAverage::MeanInto(TComplexArray& ratio) const {
  if (Power.empty()) return;
  const size_t bins = std::min(ratio.size(), Power.back().size());
  for (size_t k = 1; k < bins; ++k) {
    TComplexD cross = SettledBlocks > 0 ? SettledCross[k] : TComplexD{0, 0};
    double power = SettledBlocks > 0 ? SettledPower[k] : 0;
    for (size_t b = 0; b < Power.size(); ++b) {
      cross.Re += Cross[b][k].Re, cross.Im += Cross[b][k].Im;
      power += Power[b][k];
    }
    if (power > 0) ratio[k] = {cross.Re / power, cross.Im / power};
  }
}

void TRatioAverage::GroupMeanInto(int g, TComplexArray& ratio) const {
  if (!GroupsReady() || g < 0 || g >= SpreadGroups || Power.empty()) return;
  const size_t bins = std::min(ratio.size(), Power.back().size());
  if (Added > 2 * AveragedBlocks) {
    const auto& cross = GroupCross[static_cast<size_t>(g)];
    const auto& power = GroupPower[static_cast<size_t>(g)];
    for (size_t k = 1; k < bins && k < power.size(); ++k) {
      if (power[k] > 0) ratio[k] = {cross[k].Re / power[k], cross[k].Im / power[k]};
    }
    return;
  }
  // The latest blocks alone: block b of them is block Added - size + 1 + b of the run (from 1).
  const int first = Added - static_cast<int>(Power.size()) + 1;
  for (size_t k = 1; k < bins; ++k) {
    TComplexD cross{0, 0};
    double power = 0;
    for (size_t b = 0; b < Power.size(); ++b) {
      if ((first + static_cast<int>(b)) % SpreadGroups != g) continue;
      cross.Re += Cross[b][k].Re, cross.Im += Cross[b][k].Im;
      power += Power[b][k];
    }
    if (power > 0) ratio[k] = {cross.Re / power, cross.Im / power};
  }
}

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

bool CurveStaysFinite(const TPolynomial& poly, double maxHz, double gain) {
  long double bound = 0, power = 1;
  for (const long double c : poly) {
    if (!std::isfinite(c)) return false;
    bound += std::fabs(c) * power;
    power *= maxHz;
  }
  return std::isfinite(gain) && gain >= 1 &&
         bound <= std::numeric_limits<double>::max() / LargestBinMagnitude / gain;
}

bool CornersUsable(const TCouplingCorners& corners) {
  for (const double c : corners) {
    if (!std::isfinite(c) || std::fabs(c) > LargestCornerHz) return false;
  }
  return true;
}

TComplexD CouplingRatio(const TCouplingCorners& corners, double f) {
  if (corners[0] == 0 && corners[1] == 0) return COne;
  return CDiv({f, corners[1]}, {f, corners[0]});
}

// |f + i b| / |f + i a| <= |f + i b| / f <= 1 + |b| / f.
double CouplingGainBound(const TCouplingCorners& corners) {
  return 1 + std::fabs(corners[1]) / LowestBinHz;
}

namespace {

constexpr int CornerUnknowns = 7; // a, then Q's three complex coefficients
constexpr int FewestCornerBins = 8;
static_assert(CornerUnknowns <= NormalSize);
using TCornerRow = std::array<long double, CornerUnknowns>;

} // namespace

bool FitCouplingCorners(const TComplexArray& ratio, int loBin, int hiBin, double binHz,
                        TCouplingCorners& corners) {
  loBin = std::max(loBin, 1);
  hiBin = std::min(hiBin, static_cast<int>(ratio.size()) - 1);
  if (hiBin - loBin + 1 < FewestCornerBins || !(binHz > 0)) return false;
  // In u = f / fTop the columns are of one size: r u + i (a / fTop) r = q0 + q1 u + q2 u^2.
  const long double fTop = binHz * static_cast<long double>(hiBin);
  // The normal equations in the calibration's own 16-unknown system, the unknowns beyond the
  // seven held at zero by an identity block, so that its Cholesky kernels solve them.
  TNormalMatrix normal{};
  for (int r = CornerUnknowns; r < NormalSize; ++r) normal[r][r] = 1;
  TNormalVector rhs{};
  for (int k = loBin; k <= hiBin; ++k) {
    const long double u = binHz * static_cast<long double>(k) / fTop;
    const long double re = ratio[k].Re, im = ratio[k].Im;
    // Q(u) - i a' r = r u, its real and its imaginary part, unknowns a', Re q0, Im q0, Re q1, ...
    const TCornerRow rows[2] = {{im, 1, 0, u, 0, u * u, 0}, {-re, 0, 1, 0, u, 0, u * u}};
    const long double values[2] = {re * u, im * u};
    for (int e = 0; e < 2; ++e) {
      for (int r = 0; r < CornerUnknowns; ++r) {
        rhs[r] += rows[e][r] * values[e];
        for (int c = 0; c < CornerUnknowns; ++c) normal[r][c] += rows[e][r] * rows[e][c];
      }
    }
  }
  if (!CholeskyFactor(normal)) return false;
  CholeskySolve(normal, rhs);
  const std::complex<long double> q0(rhs[1], rhs[2]), q1(rhs[3], rhs[4]), q2(rhs[5], rhs[6]);
  // The root near the origin, from the linear term and then Newton's steps with the square.
  if (std::abs(q1) == 0) return false;
  std::complex<long double> root = -q0 / q1;
  for (int i = 0; i < 4; ++i) {
    const std::complex<long double> slope = q1 + 2.0L * q2 * root;
    if (std::abs(slope) == 0) return false;
    root -= (q0 + (q1 + q2 * root) * root) / slope;
  }
  const TCouplingCorners fitted{static_cast<double>(rhs[0] * fTop),
                                static_cast<double>(-root.imag() * fTop)};
  if (!CornersUsable(fitted)) return false;
  corners = fitted;
  return true;
}

bool CalibrationStaysFinite(const TCalibrationPolys& poly, const TCouplingCorners& corners) {
  if (!CornersUsable(corners)) return false;
  const double gain = CouplingGainBound(corners);
  return CurveStaysFinite(poly[0], HighestCalibratedHz, gain) &&
         CurveStaysFinite(poly[1], HighestCalibratedHz, gain);
}

bool FitCalibration(const TNormalMatrix& normal, const TComplexArray& ratio, int centerBin,
                    int halfWidth, double binHz, TCalibrationPolys& poly,
                    TCouplingCorners& corners) {
  // The lowest decade of the window, where the ratio bends and the rest is nearly flat.
  constexpr int BandFactor = 10, FewestBandBins = 10;
  const int lo = centerBin - halfWidth, hi = centerBin + halfWidth;
  TCouplingCorners fittedCorners{0, 0};
  if (!FitCouplingCorners(ratio, lo, std::min(hi, std::max(BandFactor * lo, lo + FewestBandBins - 1)),
                          binHz, fittedCorners)) {
    fittedCorners = {0, 0};
  }
  TComplexArray remainder = ratio;
  DivideCoupling(fittedCorners, remainder, binHz);
  const TCalibrationPolys fitted{FitComponent(normal, remainder, 0, centerBin, halfWidth, binHz),
                                 FitComponent(normal, remainder, 1, centerBin, halfWidth, binHz)};
  if (!CalibrationStaysFinite(fitted, fittedCorners)) return false;
  poly = fitted;
  corners = fittedCorners;
  return true;
}

void DivideCoupling(const TCouplingCorners& corners, TComplexArray& ratio, double binHz) {
  for (size_t k = 1; k < ratio.size(); ++k) {
    ratio[k] = CDiv(ratio[k], CouplingRatio(corners, binHz * static_cast<double>(k)));
  }
}

void EvaluateCalibration(const TCalibrationPolys& poly, const TCouplingCorners& corners,
                         TComplexArray& calibration, double binHz) {
  EvaluateCalibration(poly, calibration, binHz);
  if (corners[0] == 0 && corners[1] == 0) return;
  for (size_t k = 1; k < calibration.size(); ++k) {
    calibration[k] = CMul(calibration[k], CouplingRatio(corners, binHz * static_cast<double>(k)));
  }
}

} // namespace sorvane
