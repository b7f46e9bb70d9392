#include "sorvane/analysis/uMeasuredCurve.h"

namespace sorvane {
namespace {

TComplexD Bin(const TChannelData& channel, int k) { return {channel[2 * k], channel[2 * k + 1]}; }

bool Holds(const TWaveData& block, TBinRange bins) {
  const size_t need = 2 * static_cast<size_t>(bins.Hi) + 2;
  return bins.Lo >= 1 && bins.Lo <= bins.Hi && block[0].size() >= need && block[1].size() >= need;
}

} // namespace

std::vector<double> RatioVariances(const TWaveData& spectra, const TNoiseSpectrum& noise,
                                   bool swap, TBinRange bins, bool transfer) {
  std::vector<double> variances;
  if (!Holds(spectra, bins) || noise.size() <= static_cast<size_t>(bins.Hi)) return variances;
  // The impedance's ratio is channel 0 over channel 1 (the reverse with swap); the transfer
  // ratio the other way round.
  const bool numeratorIs1 = swap != transfer;
  for (int k = bins.Lo; k <= bins.Hi; ++k) {
    const TComplexD a = Bin(spectra[numeratorIs1 ? 1 : 0], k);
    const TComplexD b = Bin(spectra[numeratorIs1 ? 0 : 1], k);
    variances.push_back(RatioVariance(noise[static_cast<size_t>(k)], a, b, numeratorIs1));
  }
  return variances;
}

std::vector<TCurvePoint> CurveOfBins(const TWaveData& block, TBinRange bins, double binHz,
                                     const std::vector<double>& ratioVariances, double scale) {
  std::vector<TCurvePoint> curve;
  if (!Holds(block, bins)) return curve;
  for (int k = bins.Lo; k <= bins.Hi; ++k) {
    const auto i = static_cast<size_t>(k - bins.Lo);
    const double variance = i < ratioVariances.size() ? scale * scale * ratioVariances[i] : 0;
    curve.push_back({k * binHz, Bin(block[0], k), variance});
  }
  return curve;
}

} // namespace sorvane
