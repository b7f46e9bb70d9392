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

TLcrResult ComputeImpedanceBins(TWaveData& block, bool swap, TBinRange bins, double rref,
                                bool withLcr, double sampleRate, const TNoiseSpectrum& noise) {
  const TPair p = Channels(block, swap);
  const double radPerBin = 2.0 * std::numbers::pi * sampleRate / double(block[0].size());
  const bool noiseKnown = static_cast<int>(noise.size()) > bins.Hi;
  std::vector<TLcrPoint> points;
  std::vector<double> measured; // each point's variance from the scatter, when known
  for (int k = bins.Lo; k <= bins.Hi; ++k) {
    const TComplexD a = BinAt(p.A, k), b = BinAt(p.B, k);
    const TComplexD rho = CDiv(a, b);
    const TComplexD z{rref * (rho.Re - 1.0), -rref * rho.Im};
    SetBin(block[0].data(), k, z);
    if (!withLcr || !(CSqrAbs(b) > 0) || !std::isfinite(z.Re) || !std::isfinite(z.Im)) continue;
    // Each part of z carries half of the variance of the complex quotient, times Rref^2.
    const double half = 0.5 * rref * rref;
    const double level = half * (1 + CSqrAbs(rho)) / CSqrAbs(b);
    if (!std::isfinite(level) || !(level > 0)) continue;
    points.push_back({k * radPerBin, z, level});
    if (noiseKnown) measured.push_back(half * RatioVariance(noise[k], a, b, swap));
  }
  if (!withLcr) return {};
  // Blocks without any scatter (a noiseless source) keep the weights of the signal levels.
  const bool absolute = noiseKnown && !points.empty() &&
                        std::all_of(measured.begin(), measured.end(),
                                    [](double v) { return v > 0 && std::isfinite(v); });
  if (absolute) {
    for (size_t i = 0; i < points.size(); ++i) points[i].Var = measured[i];
  }
  const TLcrResult result = ResultOf(FitSeriesModel(points, absolute), points);
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
