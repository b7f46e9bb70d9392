#include "dravik/measure/uLCRFit.h"

#include <cmath>

namespace dravik {

void TLCRFitSums::Add(long double weight, const TComplex& admittance, long double omega) {
  const long double m = ComplexSqrAbs(admittance);
  const long double omega2 = omega * omega;
  S1 += weight * m;
  S2 += weight * admittance.Re;
  S3 += weight * m * omega2;
  S4 += weight * admittance.Im * omega;
  S5 += weight * m / omega2;
  S6 += weight * admittance.Im / omega;
}

long double TLCRFitResult::Reactance(long double omega) const {
  switch (Kind) {
  case TReactanceKind::Inductance: return omega * Value;
  case TReactanceKind::Capacitance: return -1 / (omega * Value);
  case TReactanceKind::Unknown: break;
  }
  return 0;
}

TLCRFitResult SolveLCRFit(const TLCRFitSums& sums) {
  TLCRFitResult result;
  // S1 > 0 also makes S3 > 0: some frequency had weight and a non-zero admittance.
  if (!(sums.S1 > 0 && sums.S3 > 0)) return result;
  result.R = sums.S2 / sums.S1;
  if (!std::isfinite(result.R)) return result;
  result.HasResistance = true;

  const long double l = -sums.S4 / sums.S3;
  // S6 = 0 (no net reactive part at all) leaves no capacitance to report.
  const long double c = sums.S6 != 0 ? sums.S5 / sums.S6 : -1;
  if (std::isfinite(l) && l >= 0) {
    result.Kind = TReactanceKind::Inductance;
    result.Value = l;
  } else if (std::isfinite(c) && c > 0) {
    // C = 0 would put the reactance at infinity; it cannot arise while S5 > 0.
    result.Kind = TReactanceKind::Capacitance;
    result.Value = c;
  }
  return result;
}

} // namespace dravik
