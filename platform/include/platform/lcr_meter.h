#pragma once
// What an LCR meter shows for one impedance at one test frequency: |Z| and its phase, the
// dissipation factor D = Rs/|Xs| and the quality factor Q = |Xs|/Rs, the ESR, and the values of
// the series (Rs with Ls or Cs) and the parallel (Rp with Lp or Cp) equivalent circuit, each
// with the standard uncertainty that the impedance's own uncertainty gives it. A quantity whose
// denominator cannot be told from zero (Q of a pure reactance, D of a resistor, Rp of a
// loss-free part) is shown as a bound, never as a large number that looks measured.

#include <complex>
#include <string>
#include <vector>

namespace platform {

// A complex value (an impedance or an admittance) with the covariance of its parts.
struct TComplexEstimate {
  std::complex<double> Value;
  double VarRe = 0, VarIm = 0, CovReIm = 0;
  bool Known = false; // false: its uncertainty is not known
};

// The same estimate of 1/value, its covariance carried through the inversion.
TComplexEstimate Inverted(const TComplexEstimate& estimate);

enum class TEquivalentCircuit { Series, Parallel };
enum class TEquivalentChoice { Auto, Series, Parallel };

// What an LCR meter picks by itself: the series circuit below 10 Ohm, the parallel one above
// 10 kOhm, and between them the nearer of the two on a logarithmic scale (the change at 316 Ohm).
TEquivalentCircuit AutoEquivalent(double modulus);
TEquivalentCircuit ChosenEquivalent(TEquivalentChoice choice, double modulus);

// A value is told from zero when it lies more than this many of its uncertainties from it.
constexpr double MeterSignificance = 2;

// One quantity of the readout.
struct TMeterValue {
  enum class TKind {
    Measured, // Value ± Uncertainty (the uncertainty NaN when not known)
    AtLeast,  // more than Value: its denominator cannot be told from zero
    AtMost,   // less than Value: it cannot be told from zero itself
    None      // nothing to show (the reactance of a resistor)
  };
  TKind Kind = TKind::None;
  double Value = 0;
  double Uncertainty = 0;
};

struct TLcrMeterReading {
  double Frequency = 0; // Hz
  bool Inductive = false;
  TEquivalentCircuit Equivalent = TEquivalentCircuit::Series;
  TMeterValue Modulus, PhaseDegrees, D, Q, Esr;
  TMeterValue Rs, Xs; // Xs: Ls in henries when Inductive, else Cs in farads
  TMeterValue Rp, Xp; // Xp: Lp or Cp the same way
};

// The readout of impedance `z` at `frequency`, with the equivalent circuit `choice` gives.
TLcrMeterReading ReadAsLcrMeter(double frequency, const TComplexEstimate& z,
                                TEquivalentChoice choice);

// "3.30012 ± 0.00035 Ohm": the uncertainty to two significant digits, the value to the same
// decimal place, both with the decimal prefix the value calls for; six significant digits
// without an uncertainty; "?" for a value that is not finite. Bounds as "< 1.2 mOhm", "> 5.1 k".
std::string FormatMeterValue(const TMeterValue& value, const std::string& unit);

// The readout's lines: "f = ...", "|Z| = ...", "θ = ...", "D = ...", "Q = ...", "ESR = ...",
// then the chosen equivalent's two lines ("Rs = ...", "Ls = ..." or "Cs = ...", or "Rp = ...",
// "Lp = ..." or "Cp = ...").
std::vector<std::string> LcrMeterLines(const TLcrMeterReading& reading);

} // namespace platform
