#include "sorvane/analysis/uBinNoise.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sorvane {
namespace {

// The covariance with channel 1 scaled by g: C11 |g|^2, C01 conj(g).
TBinCovariance Scaled(const TBinCovariance& c, const TComplexD& g) {
  return {c.C00, c.C11 * CSqrAbs(g), CMul(c.C01, {g.Re, -g.Im})};
}

} // namespace

TNoiseSpectrum NoiseSpectrumOf(const TSpectrumMoments& moments, const TComplexArray& calibration) {
  const int bins = moments.Bins();
  if (moments.Blocks() < 2 || bins < 2) return {};
  TNoiseSpectrum raw(static_cast<size_t>(bins));
  for (int k = 1; k < bins; ++k) {
    const TComplexD g = static_cast<size_t>(k) < calibration.size() ? calibration[k] : COne;
    raw[k] = Scaled(moments.MeanCovariance(k), g);
  }
  // A running mean over the window, which narrows at the ends of the spectrum.
  TNoiseSpectrum smooth(static_cast<size_t>(bins));
  for (int k = 1; k < bins; ++k) {
    const int lo = std::max(1, k - NoiseSmoothingBins), hi = std::min(bins - 1, k + NoiseSmoothingBins);
    TBinCovariance& s = smooth[k];
    for (int j = lo; j <= hi; ++j) {
      s.C00 += raw[j].C00, s.C11 += raw[j].C11;
      s.C01.Re += raw[j].C01.Re, s.C01.Im += raw[j].C01.Im;
    }
    const double n = hi - lo + 1;
    s.C00 /= n, s.C11 /= n, s.C01.Re /= n, s.C01.Im /= n;
  }
  return smooth;
}

double RatioVariance(const TBinCovariance& noise, const TComplexD& a, const TComplexD& b, bool swap) {
  const double bb = CSqrAbs(b);
  if (!(bb > 0)) return std::numeric_limits<double>::infinity();
  const double caa = swap ? noise.C11 : noise.C00, cbb = swap ? noise.C00 : noise.C11;
  // E[dA conj(dB)]: C01 without swap, its conjugate with swap.
  const TComplexD cab = swap ? TComplexD{noise.C01.Re, -noise.C01.Im} : noise.C01;
  const TComplexD rho = CDiv(a, b);
  // d rho = (dA - rho dB) / B.
  const double cross = rho.Re * cab.Re + rho.Im * cab.Im; // Re(conj(rho) cab)
  return std::max(0.0, caa + CSqrAbs(rho) * cbb - 2 * cross) / bb;
}

} // namespace sorvane
