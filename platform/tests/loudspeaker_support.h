#pragma once
// A loudspeaker's impedance written out from its Thiele-Small parameters, independently of the
// box's network of parts, to check the model against.

#include "platform/vmbox/uBoxImpedanceModel.h"

#include <complex>
#include <numbers>

namespace platform::vmbox {

// Res || Lces || Cmes
inline std::complex<double> MotionalFormula(const TLoudspeaker& s, double f) {
  using TC = std::complex<double>;
  const double w = 2 * std::numbers::pi * f, w0 = 2 * std::numbers::pi * s.Fs;
  const double res = s.Re * s.Qms / s.Qes;
  const double cmes = s.Qes / (w0 * s.Re);
  const double lces = 1 / (w0 * w0 * cmes);
  return 1.0 / (1.0 / res + 1.0 / TC(0, w * lces) + TC(0, w * cmes));
}

// Re + jwLe + Rl || jwLl
inline std::complex<double> CoilFormula(const TLoudspeaker& s, double f) {
  using TC = std::complex<double>;
  const TC jwll(0, 2 * std::numbers::pi * f * s.Ll);
  const TC eddy = s.Rl > 0 && s.Ll > 0 ? s.Rl * jwll / (s.Rl + jwll) : TC(0);
  return s.Re + TC(0, 2 * std::numbers::pi * f * s.Le) + eddy;
}

inline std::complex<double> SpeakerFormula(const TLoudspeaker& s, double f) {
  return CoilFormula(s, f) + MotionalFormula(s, f);
}

} // namespace platform::vmbox
