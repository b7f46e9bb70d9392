#include "sorvane/analysis/uThieleSmall.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>

#include "sorvane/numeric/uLeastSquares.h"

namespace sorvane {

std::vector<TImpedancePoint> ImpedanceCurveOf(const double* packedZ, int loBin, int hiBin, double binHz,
                                              const std::vector<double>& variances) {
  std::vector<TImpedancePoint> curve;
  for (int k = std::max(loBin, 1); k <= hiBin; ++k) {
    const double var = static_cast<size_t>(k) < variances.size() ? variances[k] : 0.0;
    curve.push_back({k * binHz, BinAt(packedZ, k), var});
  }
  return curve;
}

namespace {

using Complex = std::complex<double>;
constexpr double TwoPi = 2 * std::numbers::pi;

// The parameters' values (not their logarithms), indexed by TThieleSmallIndex.
using TValues = std::array<double, TsParameterCount>;
// dZ / d ln p for each parameter at one frequency.
using TSlopes = std::array<Complex, TsParameterCount>;
using TGradient = std::array<double, TsParameterCount>;
using TSquare = std::array<std::array<long double, TsParameterCount>, TsParameterCount>;

int ParameterCount(TCoilModel coil) { return coil == TCoilModel::Lossy ? TsParameterCount : TsLe + 1; }

// A point of the fit: angular frequency, measured impedance and the weight of each part.
struct TFitPoint {
  double W = 0;
  Complex Z;
  double Weight = 0;
};

std::string Hz(double f) {
  char text[32];
  // Four significant digits, whole hertz from 1 kHz on ("22.05 Hz", "20000 Hz").
  std::snprintf(text, sizeof text, f >= 1000 ? "%.0f Hz" : "%.4g Hz", f);
  return text;
}

// The analogue's impedance at w, and with slopes its derivatives by the logarithms of the
// parameters: in logarithms every parameter stays positive and the columns of the Jacobian are
// all impedances of the curve's own size, so the normal equations stay well conditioned.
Complex ModelAt(const TValues& v, TCoilModel coil, double w, TSlopes* slopes) {
  const double ws = TwoPi * v[TsFs];
  const double detune = w / ws - ws / w;
  const Complex den(1, v[TsQms] * detune);
  const Complex zm = v[TsRe] * v[TsQms] / v[TsQes] / den;
  const Complex zle(0, w * v[TsLe]);
  Complex z = v[TsRe] + zm + zle;
  Complex a, zl;
  if (coil == TCoilModel::Lossy) {
    a = Complex(0, w * v[TsLl]);
    zl = v[TsRl] * a / (v[TsRl] + a);
    z += zl;
  }
  if (slopes) {
    TSlopes& d = *slopes;
    d = {};
    d[TsRe] = v[TsRe] + zm;
    d[TsFs] = zm * Complex(0, v[TsQms] * (w / ws + ws / w)) / den;
    d[TsQms] = zm / den;
    d[TsQes] = -zm;
    d[TsLe] = zle;
    if (coil == TCoilModel::Lossy) {
      d[TsRl] = zl * a / (v[TsRl] + a);
      d[TsLl] = zl * v[TsRl] / (v[TsRl] + a);
    }
  }
  return z;
}

double Chi2(const std::vector<TFitPoint>& points, const TValues& v, TCoilModel coil) {
  long double sum = 0;
  for (const TFitPoint& p : points) sum += p.Weight * std::norm(p.Z - ModelAt(v, coil, p.W, nullptr));
  return static_cast<double>(sum);
}

// J^T W J and J^T W r over the points, in the logarithms of the parameters.
struct TNormal {
  TSquare N{};
  std::array<long double, TsParameterCount> G{};
};

TNormal NormalEquations(const std::vector<TFitPoint>& points, const TValues& v, TCoilModel coil) {
  const int n = ParameterCount(coil);
  TNormal e;
  TSlopes d;
  for (const TFitPoint& p : points) {
    const Complex r = p.Z - ModelAt(v, coil, p.W, &d);
    for (int i = 0; i < n; ++i) {
      e.G[i] += p.Weight * (std::conj(d[i]) * r).real();
      for (int j = i; j < n; ++j) e.N[i][j] += p.Weight * (std::conj(d[i]) * d[j]).real();
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < i; ++j) e.N[i][j] = e.N[j][i];
  }
  return e;
}

// Solves (N + damping diag N) x = b for the first n unknowns with the Cholesky kernels, in the
// unknowns scaled by the root of N's diagonal (so that parameters the range tells little about
// do not spoil the pivots), the unknowns beyond n held at zero by an identity block. False when
// the system is not positive definite.
bool SolveDamped(const TSquare& a, int n, double damping, std::array<long double, TsParameterCount>& b) {
  std::array<long double, TsParameterCount> scale{};
  for (int i = 0; i < n; ++i) {
    if (!(a[i][i] > 0)) return false;
    scale[i] = 1 / std::sqrt(a[i][i]);
  }
  TNormalMatrix m{};
  TNormalVector x{};
  for (int r = n; r < NormalSize; ++r) m[r][r] = 1;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) m[i][j] = a[i][j] * scale[i] * scale[j];
    m[i][i] += damping;
    x[i] = b[i] * scale[i];
  }
  if (!CholeskyFactor(m)) return false;
  CholeskySolve(m, x);
  for (int i = 0; i < n; ++i) b[i] = x[i] * scale[i];
  return std::all_of(b.begin(), b.begin() + n, [](long double y) { return std::isfinite(y); });
}

// The inverse of N over the first n parameters, column by column; false when singular.
bool Invert(const TSquare& a, int n, TSquare& inverse) {
  inverse = {};
  for (int c = 0; c < n; ++c) {
    std::array<long double, TsParameterCount> column{};
    column[c] = 1;
    if (!SolveDamped(a, n, 0, column)) return false;
    for (int r = 0; r < n; ++r) inverse[r][c] = column[r];
  }
  return true;
}

struct TSolution {
  TValues V{};
  double Chi2 = 0;
  int Iterations = 0;
  bool Converged = false;
};

// Levenberg-Marquardt in the logarithms of the parameters: a step that lowers chi^2 is taken
// and the damping eased, one that does not is refused and the damping raised. Converged when a
// step no longer moves any parameter by a part in 1e9 or chi^2 by a part in 1e12, or when no
// damping finds a lower chi^2 (the minimum within rounding).
TSolution Minimise(const std::vector<TFitPoint>& points, const TValues& start, TCoilModel coil) {
  constexpr int MaxIterations = 200;
  constexpr double MaxLogStep = 1.0; // a factor e per step at most, against a runaway far from the minimum
  const int n = ParameterCount(coil);
  TSolution s{start, Chi2(points, start, coil), 0, false};
  double damping = 1e-3;
  while (s.Iterations < MaxIterations && !s.Converged) {
    ++s.Iterations;
    const TNormal e = NormalEquations(points, s.V, coil);
    std::array<long double, TsParameterCount> step = e.G;
    if (!SolveDamped(e.N, n, damping, step)) break;
    // Each parameter limited on its own: a parameter the range hardly tells (an Le that tends
    // to zero) asks for huge steps, and shortening the whole step would freeze all the others.
    long double largest = 0;
    TValues trial = s.V;
    for (int i = 0; i < n; ++i) {
      const long double limited = std::clamp<long double>(step[i], -MaxLogStep, MaxLogStep);
      largest = std::max(largest, std::fabs(limited));
      trial[i] = s.V[i] * std::exp(static_cast<double>(limited));
    }
    const double chi2 = Chi2(points, trial, coil);
    if (std::isfinite(chi2) && chi2 <= s.Chi2) {
      s.Converged = largest < 1e-9 || s.Chi2 - chi2 <= 1e-12 * s.Chi2;
      s.V = trial, s.Chi2 = chi2;
      damping = std::max(damping / 10, 1e-9);
    } else {
      damping *= 10;
      s.Converged = damping > 1e12;
    }
  }
  return s;
}

// The points of the range, weighted; absolute when every one carries its variance.
std::vector<TFitPoint> FitPoints(const std::vector<TImpedancePoint>& curve, double loHz, double hiHz,
                                 bool& absolute) {
  std::vector<TImpedancePoint> kept;
  for (const TImpedancePoint& p : curve) {
    const bool finite = std::isfinite(p.Hz) && std::isfinite(p.Z.Re) && std::isfinite(p.Z.Im);
    if (finite && p.Hz > 0 && p.Hz >= loHz && p.Hz <= hiHz && CSqrAbs(p.Z) > 0) kept.push_back(p);
  }
  std::sort(kept.begin(), kept.end(), [](const TImpedancePoint& a, const TImpedancePoint& b) { return a.Hz < b.Hz; });
  absolute = !kept.empty() && std::all_of(kept.begin(), kept.end(), [](const TImpedancePoint& p) {
    return p.Var > 0 && std::isfinite(p.Var);
  });
  std::vector<TFitPoint> points;
  for (const TImpedancePoint& p : kept) {
    // Each part carries half of the complex variance; without variances equal relative errors.
    const double weight = absolute ? 2 / p.Var : 1 / CSqrAbs(p.Z);
    points.push_back({TwoPi * p.Hz, {p.Z.Re, p.Z.Im}, weight});
  }
  return points;
}

// For each point, the lowest |Z| between it and the nearest higher point on one side (the end
// of the curve when there is none), by a stack of the points still higher than all after them.
std::vector<double> SideMinima(const std::vector<double>& mag, bool fromLeft) {
  const int n = static_cast<int>(mag.size());
  std::vector<double> minima(n);
  std::vector<std::pair<double, double>> stack; // |Z| of a point, lowest |Z| since the one below
  for (int step = 0; step < n; ++step) {
    const int i = fromLeft ? step : n - 1 - step;
    double lowest = mag[i];
    while (!stack.empty() && stack.back().first <= mag[i]) {
      lowest = std::min(lowest, stack.back().second);
      stack.pop_back();
    }
    minima[i] = lowest;
    stack.push_back({mag[i], lowest});
  }
  return minima;
}

// The resonance: the point whose |Z| stands highest above the lowest |Z| on both sides of it, up
// to a higher point. The rise of the voice coil's reactance at the top of a wide range can go
// above the resonance, but it falls away on one side only. -1 without a peak of PeakRise.
int ResonanceIndex(const std::vector<double>& mag) {
  constexpr double PeakRise = 1.1;
  const std::vector<double> left = SideMinima(mag, true), right = SideMinima(mag, false);
  int best = -1;
  double bestRise = PeakRise;
  for (size_t i = 1; i + 1 < mag.size(); ++i) {
    const double rise = mag[i] / std::max(left[i], right[i]);
    if (rise > bestRise) best = static_cast<int>(i), bestRise = rise;
  }
  return best;
}

// The frequency a fraction t of the way from point a to point b, in log f.
double BetweenHz(const TFitPoint& a, const TFitPoint& b, double t) {
  return std::exp(std::log(a.W) + t * (std::log(b.W) - std::log(a.W))) / TwoPi;
}

// Where |Z| falls through level on one side of the peak, interpolated in log f; 0 when it does
// not within the range.
double CrossingHz(const std::vector<TFitPoint>& points, const std::vector<double>& mag, int peak, int dir,
                  double level) {
  for (int i = peak; i + dir >= 0 && i + dir < static_cast<int>(mag.size()); i += dir) {
    if (mag[i + dir] < level) {
      return BetweenHz(points[i], points[i + dir], (mag[i] - level) / (mag[i] - mag[i + dir]));
    }
  }
  return 0;
}

// fs refined by the zero crossing of the phase near the peak (the motional reactance turns from
// inductive to capacitive there), else the peak's own frequency.
double ResonanceHz(const std::vector<TFitPoint>& points, int peak) {
  const int lo = std::max(peak - 3, 0), hi = std::min(peak + 3, static_cast<int>(points.size()) - 1);
  for (int i = lo; i < hi; ++i) {
    const double a = points[i].Z.imag(), b = points[i + 1].Z.imag();
    if (a >= 0 && b < 0) return BetweenHz(points[i], points[i + 1], a / (a - b));
  }
  return points[peak].W / TwoPi;
}

// Start values from the curve: Re the lowest real part, fs at the peak, Qms and Qes from the
// frequencies f1, f2 where |Z| = sqrt(Re Zmax) with r0 = Zmax / Re, Le from the reactance at
// the top of the range less what the motional part contributes there.
bool StartValues(const std::vector<TFitPoint>& points, TValues& v) {
  std::vector<double> mag;
  for (const TFitPoint& p : points) mag.push_back(std::abs(p.Z));
  const int peak = ResonanceIndex(mag);
  if (peak < 0) return false;
  double re = points[0].Z.real();
  for (const TFitPoint& p : points) re = std::min(re, p.Z.real());
  if (!(re > 0)) re = *std::min_element(mag.begin(), mag.end());
  const double zmax = mag[peak];
  const double r0 = std::max(zmax / re, 1.5);
  const double fs = ResonanceHz(points, peak);
  double f1 = CrossingHz(points, mag, peak, -1, std::sqrt(re * zmax));
  double f2 = CrossingHz(points, mag, peak, +1, std::sqrt(re * zmax));
  // A band cut by the range: the crossings lie symmetric about fs in log f.
  if (f1 == 0 && f2 > 0) f1 = fs * fs / f2;
  if (f2 == 0 && f1 > 0) f2 = fs * fs / f1;
  const double qms = f2 > f1 && f1 > 0 ? fs * std::sqrt(r0) / (f2 - f1) : std::sqrt(r0);
  v = {};
  v[TsRe] = re, v[TsFs] = fs, v[TsQms] = qms, v[TsQes] = qms / (r0 - 1);
  const TFitPoint& top = points.back();
  v[TsLe] = 0;
  const double motional = ModelAt(v, TCoilModel::Inductance, top.W, nullptr).imag();
  v[TsLe] = std::max((top.Z.imag() - motional) / top.W, 1e-3 * re / top.W);
  return true;
}

// Lossy-coil starts from the plain coil's fit: part of its inductance in Le, the rest behind a
// loss resistance of a few Re; the best of them after fitting is kept.
std::vector<TValues> LossyStarts(const TValues& plain) {
  std::vector<TValues> starts;
  for (const double leShare : {0.2, 0.5}) {
    for (const double rlPerRe : {1.0, 3.0, 10.0}) {
      TValues v = plain;
      v[TsLe] = leShare * plain[TsLe];
      v[TsLl] = plain[TsLe];
      v[TsRl] = rlPerRe * plain[TsRe];
      starts.push_back(v);
    }
  }
  return starts;
}

TSolution Solve(const std::vector<TFitPoint>& points, const TValues& start, TCoilModel coil) {
  const TSolution plain = Minimise(points, start, TCoilModel::Inductance);
  if (coil == TCoilModel::Inductance) return plain;
  TSolution best; // not converged until a start converges
  for (const TValues& v : LossyStarts(plain.V)) {
    TSolution s = Minimise(points, v, TCoilModel::Lossy);
    s.Iterations += plain.Iterations;
    if (s.Converged && (!best.Converged || s.Chi2 < best.Chi2)) best = s;
  }
  return best;
}

double QuadraticForm(const TThieleSmallFit& fit, const TGradient& g) {
  double sum = 0;
  for (int i = 0; i < TsParameterCount; ++i) {
    for (int j = 0; j < TsParameterCount; ++j) sum += g[i] * fit.LogCovariance[i][j] * g[j];
  }
  return sum;
}

double RmsMisfitPercent(const std::vector<TFitPoint>& points, const TValues& v, TCoilModel coil) {
  long double sum = 0;
  for (const TFitPoint& p : points) {
    const Complex model = ModelAt(v, coil, p.W, nullptr);
    sum += std::norm(p.Z - model) / std::norm(model);
  }
  return 100 * std::sqrt(static_cast<double>(sum / points.size()));
}

TThieleSmallFit Failed(std::string reason) {
  TThieleSmallFit fit;
  fit.Failure = std::move(reason);
  return fit;
}

bool AllFinite(const TThieleSmallFit& f) {
  for (const TUncertain* u : {&f.Re, &f.Fs, &f.Qms, &f.Qes, &f.Qts, &f.Le, &f.Rl, &f.Ll}) {
    if (!std::isfinite(u->Value) || !std::isfinite(u->U)) return false;
  }
  return std::isfinite(f.RmsMisfitPercent) && std::isfinite(f.ReducedChi2);
}

// The result from the minimum: values, covariance scaled by the misfit, derived Qts.
TThieleSmallFit ResultOf(const std::vector<TFitPoint>& points, const TSolution& s, TCoilModel coil, bool absolute) {
  const int n = ParameterCount(coil);
  TThieleSmallFit fit;
  TSquare inverse;
  if (!Invert(NormalEquations(points, s.V, coil).N, n, inverse)) {
    return Failed("The fit cannot tell the parameters apart: the curve does not determine them all.");
  }
  const int freedom = std::max(1, 2 * static_cast<int>(points.size()) - n);
  fit.ReducedChi2 = s.Chi2 / freedom;
  // Known variances: widened only when the model misses by more than the noise.
  const double scale = absolute ? std::max(1.0, fit.ReducedChi2) : fit.ReducedChi2;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) fit.LogCovariance[i][j] = static_cast<double>(inverse[i][j]) * scale;
  }
  TUncertain* values[TsParameterCount] = {&fit.Re, &fit.Fs, &fit.Qms, &fit.Qes, &fit.Le, &fit.Rl, &fit.Ll};
  for (int i = 0; i < n; ++i) *values[i] = {s.V[i], s.V[i] * std::sqrt(fit.LogCovariance[i][i])};
  const double qms = s.V[TsQms], qes = s.V[TsQes];
  TGradient g{};
  g[TsQms] = qes / (qms + qes), g[TsQes] = qms / (qms + qes);
  const double qts = qms * qes / (qms + qes);
  fit.Qts = {qts, qts * std::sqrt(QuadraticForm(fit, g))};
  fit.Coil = coil;
  fit.Points = static_cast<int>(points.size());
  fit.AbsoluteUncertainties = absolute;
  fit.Iterations = s.Iterations;
  fit.RmsMisfitPercent = RmsMisfitPercent(points, s.V, coil);
  fit.Ok = true;
  return fit;
}

} // namespace

TThieleSmallFit FitThieleSmall(const std::vector<TImpedancePoint>& curve, double loHz, double hiHz,
                               TCoilModel coil) {
  const std::string range = Hz(loHz) + " and " + Hz(hiHz);
  if (!(loHz < hiHz)) return Failed("The range is empty: no frequencies between " + range + ".");
  bool absolute = false;
  const std::vector<TFitPoint> points = FitPoints(curve, loHz, hiHz, absolute);
  // Three points (six real figures) per parameter, so that the misfit tells the noise.
  const int fewest = 3 * ParameterCount(coil);
  if (static_cast<int>(points.size()) < fewest) {
    return Failed("Too few points: " + std::to_string(points.size()) + " between " + range +
                  ", the fit needs at least " + std::to_string(fewest) + ".");
  }
  TValues start;
  if (!StartValues(points, start)) {
    return Failed("No resonance in the range: the impedance has no peak between " + range + ".");
  }
  const TSolution s = Solve(points, start, coil);
  if (!s.Converged) return Failed("The fit did not converge: the model does not follow the curve between " + range + ".");
  const double fs = s.V[TsFs];
  if (!(fs >= loHz && fs <= hiHz)) {
    return Failed("The fit put the resonance at " + Hz(fs) + ", outside the range between " + range + ".");
  }
  TThieleSmallFit fit = ResultOf(points, s, coil, absolute);
  if (fit.Ok && !AllFinite(fit)) return Failed("The fit gave no finite result between " + range + ".");
  return fit;
}

TComplexD ThieleSmallImpedance(const TThieleSmallFit& fit, double hz) {
  if (!fit.Ok || !(hz > 0)) return CZero;
  const TValues v{fit.Re.Value, fit.Fs.Value, fit.Qms.Value, fit.Qes.Value, fit.Le.Value, fit.Rl.Value, fit.Ll.Value};
  const Complex z = ModelAt(v, fit.Coil, TwoPi * hz, nullptr);
  return {z.real(), z.imag()};
}

namespace {

// ln Cms and its derivatives by the log-parameters of the free-air fit and of the second fit.
struct TCompliance {
  double Cms = 0;
  TGradient Free{}, Second{};
};

TUncertain WithLogGradients(double value, const TThieleSmallFit& free, const TGradient& gFree,
                            const TThieleSmallFit& second, const TGradient& gSecond) {
  return {value, value * std::sqrt(QuadraticForm(free, gFree) + QuadraticForm(second, gSecond))};
}

TDriverMechanics FailedMechanics(std::string reason) {
  TDriverMechanics m;
  m.Failure = std::move(reason);
  return m;
}

// Vas, Mms and Bl follow from Cms with the free-air fs, Qes and Re.
TDriverMechanics MechanicsOf(const TThieleSmallFit& free, const TThieleSmallFit& second, const TCompliance& c,
                             double sdM2) {
  TDriverMechanics m;
  const double ws = TwoPi * free.Fs.Value;
  m.Cms = WithLogGradients(c.Cms, free, c.Free, second, c.Second);
  const double airStiffness = AirDensity * SpeedOfSound * SpeedOfSound * sdM2 * sdM2;
  m.Vas = {airStiffness * c.Cms, airStiffness * m.Cms.U};
  // Mms = 1 / (ws^2 Cms).
  TGradient mFree{}, mSecond{};
  // Bl = sqrt(Re / (ws Qes Cms)).
  TGradient bFree{}, bSecond{};
  for (int i = 0; i < TsParameterCount; ++i) {
    mFree[i] = -c.Free[i], mSecond[i] = -c.Second[i];
    bFree[i] = -0.5 * c.Free[i], bSecond[i] = -0.5 * c.Second[i];
  }
  mFree[TsFs] -= 2;
  bFree[TsRe] += 0.5, bFree[TsFs] -= 0.5, bFree[TsQes] -= 0.5;
  m.Mms = WithLogGradients(1 / (ws * ws * c.Cms), free, mFree, second, mSecond);
  m.Bl = WithLogGradients(std::sqrt(free.Re.Value / (ws * free.Qes.Value * c.Cms)), free, bFree, second, bSecond);
  m.Ok = true;
  for (const TUncertain* u : {&m.Vas, &m.Mms, &m.Cms, &m.Bl}) {
    if (!std::isfinite(u->Value) || !std::isfinite(u->U)) m.Ok = false;
  }
  return m.Ok ? m : FailedMechanics("The parameters give no finite result.");
}

// Why two fits and a typed-in quantity cannot give the mechanics; empty when they can.
std::string InputsFailure(const TThieleSmallFit& free, const TThieleSmallFit& second, double known,
                          const char* knownName, double sdM2) {
  if (!free.Ok) return "No free-air fit: " + free.Failure;
  if (!second.Ok) return "No second fit: " + second.Failure;
  if (!(known > 0) || !std::isfinite(known)) return std::string("The ") + knownName + " must be a positive number.";
  if (!(sdM2 > 0) || !std::isfinite(sdM2)) return "The cone area Sd must be a positive number.";
  return {};
}

} // namespace

TDriverMechanics MechanicsByAddedMass(const TThieleSmallFit& freeAir, const TThieleSmallFit& loaded,
                                      double addedKg, double sdM2) {
  const std::string failure = InputsFailure(freeAir, loaded, addedKg, "added mass", sdM2);
  if (!failure.empty()) return FailedMechanics(failure);
  const double ratio = std::pow(freeAir.Fs.Value / loaded.Fs.Value, 2);
  if (!(ratio > 1 + 1e-6)) {
    return FailedMechanics("The added mass did not lower the resonance: " + Hz(freeAir.Fs.Value) +
                           " in free air, " + Hz(loaded.Fs.Value) + " loaded.");
  }
  // Cms = ((fs/fs')^2 - 1) / (ws^2 M): its logarithm by ln fs and by ln fs'.
  TCompliance c;
  const double ws = TwoPi * freeAir.Fs.Value;
  c.Cms = (ratio - 1) / (ws * ws * addedKg);
  c.Free[TsFs] = 2 * ratio / (ratio - 1) - 2;
  c.Second[TsFs] = -2 * ratio / (ratio - 1);
  return MechanicsOf(freeAir, loaded, c, sdM2);
}

TDriverMechanics MechanicsByClosedBox(const TThieleSmallFit& freeAir, const TThieleSmallFit& inBox,
                                      double vbM3, double sdM2) {
  const std::string failure = InputsFailure(freeAir, inBox, vbM3, "box volume", sdM2);
  if (!failure.empty()) return FailedMechanics(failure);
  const double x = inBox.Fs.Value * inBox.Qes.Value / (freeAir.Fs.Value * freeAir.Qes.Value);
  if (!(x > 1 + 1e-6)) {
    return FailedMechanics("The box did not stiffen the driver: fc Qec is not above fs Qes (" +
                           Hz(inBox.Fs.Value) + " in the box, " + Hz(freeAir.Fs.Value) + " in free air).");
  }
  // Vas = Vb (x - 1), Cms = Vas / (rho c^2 Sd^2): d ln Cms / d ln x = x / (x - 1).
  TCompliance c;
  const double s = x / (x - 1);
  c.Cms = vbM3 * (x - 1) / (AirDensity * SpeedOfSound * SpeedOfSound * sdM2 * sdM2);
  c.Free[TsFs] = -s, c.Free[TsQes] = -s;
  c.Second[TsFs] = s, c.Second[TsQes] = s;
  return MechanicsOf(freeAir, inBox, c, sdM2);
}

std::vector<TResultRow> ResultRows(const TThieleSmallFit& fit) {
  if (!fit.Ok) return {};
  std::vector<TResultRow> rows = {{"Re", "Ohm", fit.Re},   {"fs", "Hz", fit.Fs}, {"Qms", "", fit.Qms},
                                  {"Qes", "", fit.Qes},    {"Qts", "", fit.Qts}, {"Le", "H", fit.Le}};
  if (fit.Coil == TCoilModel::Lossy) {
    rows.push_back({"Rl", "Ohm", fit.Rl});
    rows.push_back({"Ll", "H", fit.Ll});
  }
  rows.push_back({"misfit", "%", {fit.RmsMisfitPercent, 0}});
  rows.push_back({"points", "", {static_cast<double>(fit.Points), 0}});
  return rows;
}

std::vector<TResultRow> ResultRows(const TDriverMechanics& m) {
  if (!m.Ok) return {};
  return {{"Vas", "m^3", m.Vas}, {"Mms", "kg", m.Mms}, {"Cms", "m/N", m.Cms}, {"Bl", "T m", m.Bl}};
}

} // namespace sorvane
