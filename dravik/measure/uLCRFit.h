#pragma once
// Weighted least-squares fit of a series resistance together with either an inductance or a
// capacitance to admittances measured at several angular frequencies, and the standard
// uncertainty of each fitted value, propagated from the scatter of each frequency's admittance.

#include "dravik/measure/uFour1.h"

#include <vector>

namespace dravik {

// The covariance of the real and imaginary part of one measured admittance (siemens²).
struct TAdmittanceCovariance {
  long double ReRe = 0;
  long double ImIm = 0;
  long double ReIm = 0;
};

// One frequency of the fit.
struct TFitPoint {
  long double Weight = 0;
  TComplex Admittance;
  long double Omega = 0;
  TAdmittanceCovariance Covariance;
  bool CovarianceKnown = false; // false when a single block gave no scatter to measure
};

// The six sums of the fit, accumulated over the frequencies, and the frequencies themselves.
struct TLCRFitSums {
  long double S1 = 0; // W·|A|²
  long double S2 = 0; // W·Re(A)
  long double S3 = 0; // W·|A|²·ω²
  long double S4 = 0; // W·Im(A)·ω
  long double S5 = 0; // W·|A|²/ω²
  long double S6 = 0; // W·Im(A)/ω
  std::vector<TFitPoint> Points;

  // Adds one frequency: its weight W, its admittance A (siemens, Im(A) < 0 when inductive) and
  // its angular frequency ω > 0, with the covariance of A when it is known.
  void Add(long double weight, const TComplex& admittance, long double omega);
  void Add(const TFitPoint& point);
};

enum class TReactanceKind { Inductance, Capacitance, Unknown };

// The impedance at the frequency that carried the most weight, with its uncertainties.
struct TStrongestPoint {
  long double Frequency = 0; // Hz
  TComplex Impedance;        // ohms, Im > 0 when inductive
  long double UModulus = 0;  // ohms
  long double UPhase = 0;    // radians
};

struct TLCRFitResult {
  // False when no frequency carried weight: then nothing below is meaningful.
  bool HasResistance = false;
  long double R = 0;
  TReactanceKind Kind = TReactanceKind::Unknown;
  // L in henries or C in farads, according to Kind.
  long double Value = 0;
  // The inductance -S4/S3 whatever Kind says (negative for a capacitive component).
  long double L = 0;

  // Standard uncertainties of R, of Value and of L; known only when every frequency of the fit
  // had a known covariance.
  bool HasUncertainty = false;
  long double UR = 0;
  long double UValue = 0;
  long double UL = 0;
  TStrongestPoint Strongest;

  // The reactance of the fitted inductance (ω·L) or capacitance (-1/(ω·C)) at ω.
  long double Reactance(long double omega) const;
};

// R = S2/S1 and L = -S4/S3; when L comes out negative, C = S5/S6 instead. A value that is not a
// finite number (a sum of zero) counts as unusable, so the result never holds NaN or infinity.
TLCRFitResult SolveLCRFit(const TLCRFitSums& sums);

} // namespace dravik
