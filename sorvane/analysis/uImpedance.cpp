#include "sorvane/analysis/uImpedance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>
#include <numbers>

#include "sorvane/analysis/uFormatEng.h"
#include "sorvane/analysis/uLcrFit.h"

namespace sorvane {
namespace {

// Per-bin reads and writes, always for the same k, so the input bins of a pair are read before
// the result overwrites one of them.
struct TPair {
  double* A;
  double* B;
};

TPair Channels(TWaveData& block, bool aIsChannel1) {
  return aIsChannel1 ? TPair{block[1].data(), block[0].data()}
                     : TPair{block[0].data(), block[1].data()};
}

} // namespace

TBinRange BinRangeOf(int n, double loHz, double hiHz, double sampleRate) {
  const int a = FrequencyToBin(n, loHz, sampleRate);
  const int b = FrequencyToBin(n, hiHz, sampleRate);
  return {std::min(a, b), std::max(a, b)};
}

bool ResistanceIsBound(const TLcrResult& result) {
  if (!result.HasUncertainty || !(result.UR > 0)) return result.R < 0;
  return result.R <= SignificantUncertainties * result.UR;
}

std::string LcrText(const TLcrResult& result) {
  if (result.ReactiveBins == 0) return "Im= ?\r\nR= ? Ohm\r\ntg= ?";
  std::string first = "Im= ?";
  if (result.ReadsAsResistor) {
    first = "Reads as a resistor: no L or C above the noise";
  } else if (result.L > 0) {
    first = "Lx= " + FormatMeasured(result.L, result.UL, "H");
  } else if (result.C > 0) {
    first = "Cx= " + FormatMeasured(result.C, result.UC, "F");
  }
  std::string r = "R= " + FormatMeasured(result.R, result.UR, "Ohm");
  if (ResistanceIsBound(result)) {
    const double bound = std::max(result.R, 0.0) + SignificantUncertainties * result.UR;
    r = "R= " + FormatBound(bound, "Ohm");
  }
  const bool reactive = result.L > 0 || result.C > 0;
  const std::string tangent = reactive ? FormatExponent2(result.T) : "?";
  return first + "\r\n" + r + "\r\n" + "tg= " + tangent;
}

std::string LcrResultLine(const TLcrResult& result) {
  const auto number = [](double x) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", x);
    return std::string(text);
  };
  const auto u = [&](double x) { return result.HasUncertainty ? number(x) : std::string("nan"); };
  std::string line = "result: R=" + number(result.R) + " uR=" + u(result.UR);
  if (result.L > 0) line += " L=" + number(result.L) + " uL=" + u(result.UL);
  else if (result.C > 0) line += " C=" + number(result.C) + " uC=" + u(result.UC);
  return line;
}

double ModelReactance(const TLcrResult& result, double w) {
  if (result.L > 0) return w * result.L;
  if (result.C > 0) return -1.0 / (w * result.C);
  return 0;
}

namespace {

// The fit's result in the terms of the readout: the kind shown and the loss tangent.
TLcrResult ResultOf(const TLcrFit& fit, const std::vector<TLcrPoint>& points) {
  TLcrResult r;
  r.ReactiveBins = fit.Points;
  if (fit.Points == 0 || !std::isfinite(fit.R)) {
    r.ReactiveBins = 0;
    return r;
  }
  r.Fit = fit;
  r.R = fit.R;
  r.UR = fit.UR;
  r.HasUncertainty = fit.HasUncertainty;
  r.ReadsAsResistor = fit.HasUncertainty && !(fit.Value > SignificantUncertainties * fit.UValue);
  if (!r.ReadsAsResistor && fit.Value > 0 && std::isfinite(fit.Value)) {
    if (fit.Kind == TReactanceKind::Inductance) r.L = fit.Value, r.UL = fit.UValue;
    else r.C = fit.Value, r.UC = fit.UValue;
  }
  if (r.L > 0 || r.C > 0) {
    long double sum = 0;
    for (const TLcrPoint& p : points) sum += r.R / std::fabs(ModelReactance(r, p.W));
    r.T = static_cast<double>(sum / static_cast<long double>(points.size()));
  }
  return r;
}

} // namespace

namespace {

// One bin of the range: its spectra, the impedance they give (after the fixture's
// compensation) and the factor that brings the measured impedance's variance to Z's.
struct TBinReading {
  TComplexD A, B, Z;
  double W = 0;
  int K = 0;
  double VarianceFactor = 1;
};

// The ratio A/B that the fitted series model predicts at bin k (w), in the transform's
// convention (the impedance's imaginary part negated): the model is the part's own impedance,
// and the inputs see it as the fixture shows it.
TComplexD ModelRatio(const TLcrFit& fit, int k, double w, double rref, const TFixtureBins& fixture) {
  double x = 0;
  if (fit.Kind == TReactanceKind::Inductance) x = w * fit.Value;
  else if (fit.Kind == TReactanceKind::Capacitance && fit.Value != 0) x = -1 / (w * fit.Value);
  const TComplexD zm = fixture.Reading(k, {fit.R, x});
  return {1 + zm.Re / rref, -zm.Im / rref};
}

// The fit's points, each weighted by the inverse of its variance: from the measured scatter
// when it is known for every bin (absolute variances), else from the signal levels alone (the
// same white noise on both inputs, relative weights only). With a model, the reference input's
// spectrum in the variance is the one the model predicts from the pair's (A / rho): a bin's
// weight taken from its own noisy reference spectrum favours the bins where noise happened to
// raise it, which biases the fit by a few of its uncertainties where that input carries little
// of the signal. The pair's input carries the whole signal, so its own noise barely moves the
// weight.
std::vector<TLcrPoint> WeightedPoints(const std::vector<TBinReading>& bins, const TNoiseSpectrum& noise,
                                      bool swap, double rref, const TLcrFit* model,
                                      const TFixtureBins& fixture, bool& absolute) {
  // Each part of z carries half of the variance of the complex quotient, times Rref^2.
  const double half = 0.5 * rref * rref;
  std::vector<TLcrPoint> points;
  std::vector<double> levels;
  for (const TBinReading& r : bins) {
    const TComplexD b = model ? CDiv(r.A, ModelRatio(*model, r.K, r.W, rref, fixture)) : r.B;
    const double level = r.VarianceFactor * half * (1 + CSqrAbs(CDiv(r.A, b))) / CSqrAbs(b);
    if (!std::isfinite(level) || !(level > 0)) continue;
    const double measured =
        noise.empty() ? level : r.VarianceFactor * half * RatioVariance(noise[r.K], r.A, b, swap);
    points.push_back({r.W, r.Z, measured});
    levels.push_back(level);
  }
  // Blocks without any scatter (a noiseless source) keep the weights of the signal levels.
  absolute = !noise.empty() && !points.empty() &&
             std::all_of(points.begin(), points.end(),
                         [](const TLcrPoint& q) { return q.Var > 0 && std::isfinite(q.Var); });
  if (!absolute) {
    for (size_t i = 0; i < points.size(); ++i) points[i].Var = levels[i];
  }
  return points;
}

} // namespace

TLcrResult ComputeImpedanceBins(TWaveData& block, bool swap, TBinRange bins, double rref,
                                bool withLcr, double sampleRate, const TNoiseSpectrum& noise,
                                const TFixtureBins& fixture) {
  const TPair p = Channels(block, swap);
  const double radPerBin = 2.0 * std::numbers::pi * sampleRate / double(block[0].size());
  std::vector<TBinReading> readings;
  for (int k = bins.Lo; k <= bins.Hi; ++k) {
    TBinReading r{BinAt(p.A, k), BinAt(p.B, k), {0, 0}, k * radPerBin, k, 1};
    const TComplexD rho = CDiv(r.A, r.B);
    const TFixtureBins::TCompensated z = fixture.Compensate(k, {rref * (rho.Re - 1.0), -rref * rho.Im});
    r.Z = z.Z;
    r.VarianceFactor = z.VarianceFactor;
    SetBin(block[0].data(), k, r.Z);
    // Bins where the reference input is silent, or whose impedance is not finite, stay out.
    if (withLcr && CSqrAbs(r.B) > 0 && std::isfinite(r.Z.Re) && std::isfinite(r.Z.Im)) readings.push_back(r);
  }
  if (!withLcr) return {};
  const TNoiseSpectrum& scatter = static_cast<int>(noise.size()) > bins.Hi ? noise : TNoiseSpectrum{};
  // A first fit weighted from each bin's own spectra gives the model; the second weights each
  // bin from what the model predicts there.
  bool absolute = false;
  std::vector<TLcrPoint> points = WeightedPoints(readings, scatter, swap, rref, nullptr, fixture, absolute);
  const TLcrFit first = FitSeriesModel(points, absolute);
  if (first.Points > 0 && std::isfinite(first.R) && std::isfinite(first.Value)) {
    bool modelAbsolute = false;
    std::vector<TLcrPoint> modelled =
        WeightedPoints(readings, scatter, swap, rref, &first, fixture, modelAbsolute);
    if (modelled.size() == points.size()) points = std::move(modelled), absolute = modelAbsolute;
  }
  TLcrResult result = ResultOf(FitSeriesModel(points, absolute), points);
  result.AbsoluteVariances = absolute;
  result.Points = std::move(points);
  for (int k = bins.Lo; k <= bins.Hi; ++k) {
    SetBin(block[1].data(), k, {result.R, ModelReactance(result, k * radPerBin)});
  }
  return result;
}

void ComputeTransferBins(TWaveData& block, bool swap, TBinRange bins) {
  // The opposite pairing from the impedance: the voltage across Rref over the drive, with its
  // imaginary part negated as the impedance's is, so that both read in the same convention (a
  // divider loaded by an inductance lags).
  const TPair p = Channels(block, !swap);
  for (int k = bins.Lo; k <= bins.Hi; ++k) {
    const TComplexD h = CDiv(BinAt(p.A, k), BinAt(p.B, k));
    SetBin(block[0].data(), k, {h.Re, -h.Im});
  }
}

} // namespace sorvane
