#pragma once
// Weighted least-squares fit of a series resistance together with either an inductance or a
// capacitance to admittances measured at several angular frequencies.

#include "dravik/measure/uFour1.h"

namespace dravik {

// The six sums of the fit, accumulated over the frequencies.
struct TLCRFitSums {
  long double S1 = 0; // W·|A|²
  long double S2 = 0; // W·Re(A)
  long double S3 = 0; // W·|A|²·ω²
  long double S4 = 0; // W·Im(A)·ω
  long double S5 = 0; // W·|A|²/ω²
  long double S6 = 0; // W·Im(A)/ω

  // Adds one frequency: its weight W, its admittance A (siemens, Im(A) < 0 when inductive) and
  // its angular frequency ω > 0.
  void Add(long double weight, const TComplex& admittance, long double omega);
};

enum class TReactanceKind { Inductance, Capacitance, Unknown };

struct TLCRFitResult {
  // False when no frequency carried weight: then nothing below is meaningful.
  bool HasResistance = false;
  long double R = 0;
  TReactanceKind Kind = TReactanceKind::Unknown;
  // L in henries or C in farads, according to Kind.
  long double Value = 0;

  // The reactance of the fitted inductance (ω·L) or capacitance (-1/(ω·C)) at ω.
  long double Reactance(long double omega) const;
};

// R = S2/S1 and L = -S4/S3; when L comes out negative, C = S5/S6 instead. A value that is not a
// finite number (a sum of zero) counts as unusable, so the result never holds NaN or infinity.
TLCRFitResult SolveLCRFit(const TLCRFitSums& sums);

} // namespace dravik
