#include "dravik/measure/uRealSpectrum.h"

#include <cmath>

namespace dravik {

// With Z the packed transform of M = N/2 points, E and O the transforms of the even and the odd
// samples: Z[k] = E[k] + i O[k] and conj(Z[M-k]) = E[k] - i O[k] (both are spectra of real
// sequences), so E = (Z[k] + conj Z[M-k]) / 2, O = (Z[k] - conj Z[M-k]) / 2i, and
// X[k] = E[k] + exp(+2 pi i k / N) O[k].
TComplex RealSpectrumBin(const TDataVector& packed, std::size_t k) {
  const std::size_t points = packed.size() / 2;
  const std::size_t mirror = (points - k % points) % points;
  const TComplex z{packed[2 * (k % points)], packed[2 * (k % points) + 1]};
  const TComplex zm{packed[2 * mirror], -packed[2 * mirror + 1]}; // conj Z[M-k]
  const TComplex even{(z.Re + zm.Re) / 2, (z.Im + zm.Im) / 2};
  const TComplex odd{(z.Im - zm.Im) / 2, -(z.Re - zm.Re) / 2}; // (z - zm) / 2i
  const long double angle = TwoPi * static_cast<long double>(k) / static_cast<long double>(2 * points);
  const long double c = std::cos(angle), s = std::sin(angle);
  return {even.Re + c * odd.Re - s * odd.Im, even.Im + c * odd.Im + s * odd.Re};
}

} // namespace dravik
