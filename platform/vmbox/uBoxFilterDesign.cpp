#include "platform/vmbox/uBoxFilterDesign.h"

#include "platform/vmbox/uBoxFft.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::vmbox {
namespace {

// The step from 1 to 0 spans +-StepSigmas standard deviations of its Gaussian slope, which puts
// both ends within 1e-13 of their final values.
constexpr double StepSigmas = 7.5;

double StepSigma(double edge) { return (0.5 - edge) / (2.0 * StepSigmas); }

double ClampEdge(double edge) { return std::clamp(edge, MinAntiAliasEdge, MaxAntiAliasEdge); }

// exp(-2 pi i k delay / taps), with the angle reduced exactly in integers first.
TComplexD DelayFactor(size_t k, size_t delay, size_t taps) {
  const size_t turns = (k * delay) % taps;
  const double a = -2.0 * std::numbers::pi * double(turns) / double(taps);
  return {std::cos(a), std::sin(a)};
}

} // namespace

double AntiAlias(double nu, double edge) {
  edge = ClampEdge(edge);
  nu = std::fabs(nu);
  if (nu >= 0.5) return 0.0;
  const double centre = 0.5 * (edge + 0.5);
  return 0.5 * std::erfc((nu - centre) / (std::numbers::sqrt2 * StepSigma(edge)));
}

size_t AntiAliasHalfWidth(double edge) {
  // The impulse response's envelope is exp(-2 pi^2 sigma^2 n^2); 1e-15 is reached at
  // n = sqrt(ln(1e15) / (2 pi^2)) / sigma = 1.3228 / sigma.
  return static_cast<size_t>(std::ceil(1.35 / StepSigma(ClampEdge(edge))));
}

size_t FilterTapsFor(double tau, double sampleRate, size_t halfWidth) {
  const double needed = 2.0 * double(halfWidth) + TimeConstantsCovered * tau * sampleRate;
  size_t taps = MinFilterTaps;
  while (taps < MaxFilterTaps && double(taps) < needed) taps *= 2;
  return taps;
}

TJigFilters DesignJigFilters(const TCircuit& circuit, double sourceImpedance, const double edge[2],
                             double sampleRate, size_t taps, size_t delay,
                             const TInputLoad& load) {
  const TRealFft fft(taps);
  std::vector<TComplexD> left(fft.Bins()), right(fft.Bins());
  for (size_t k = 0; k + 1 < fft.Bins(); ++k) {
    const double nu = double(k) / double(taps);
    TJigTransfer t = JigTransfer(circuit, sourceImpedance, load, nu * sampleRate);
    if (circuit.Swapped) std::swap(t.Left, t.Right);
    const TComplexD d = DelayFactor(k, delay, taps);
    left[k] = AntiAlias(nu, edge[0]) * t.Left * d;
    right[k] = AntiAlias(nu, edge[1]) * t.Right * d;
  }
  // The anti-alias response is 0 at half the sampling rate, where the spectrum must be real.
  left.back() = right.back() = 0.0;
  TJigFilters f{std::vector<double>(taps), std::vector<double>(taps)};
  fft.Inverse(left.data(), f.Left.data());
  fft.Inverse(right.data(), f.Right.data());
  return f;
}

} // namespace platform::vmbox
