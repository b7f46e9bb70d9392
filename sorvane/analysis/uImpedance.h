#pragma once
// The impedance of the component under test bin by bin, its averaged R with L or C, and the
// plain transfer ratio of the two inputs. Channel 0 sees the voltage across the component and
// the reference resistor in series, channel 1 the voltage across the reference resistor alone
// (Swap exchanges the roles); with rho = V0/V1, Zx = Rref*(rho - 1). Pure computation on a
// block of two packed spectra (see uFFT.h), results written into the same block.

#include <string>
#include <vector>

#include "sorvane/analysis/uBinNoise.h"
#include "sorvane/numeric/uCom.h"
#include "sorvane/analysis/uFixtureBins.h"
#include "sorvane/analysis/uLcrFit.h"
#include "sorvane/engine/uWaveControl.h"

namespace sorvane {

// Bins lo .. hi of a packed spectrum of n points, lo <= hi, both within 1 .. n/2 - 1.
struct TBinRange {
  int Lo = 1;
  int Hi = 1;
};

// The range of bins of lo .. hi Hz in blocks of n points at sampleRate, ordered and inside the
// bins every spectrum consumer reads.
TBinRange BinRangeOf(int n, double loHz, double hiHz, double sampleRate);

// The series model of the bins, R with L (positive reactance) or C (negative), fitted with each
// bin weighted by the inverse of its variance (uLcrFit.h), with the standard uncertainties of R
// and of the L or C. L > 0 when an inductance is shown, C > 0 when a capacitance is; neither
// when the reactance lies within two of its uncertainties of zero (the component reads as a
// resistor). The loss tangent T is the model's R / |X| averaged over the bins of the range.
struct TLcrResult {
  double R = 0, UR = 0;
  double L = 0, UL = 0;
  double C = 0, UC = 0;
  double T = 0;
  int ReactiveBins = 0; // bins in the fit; 0: nothing can be told
  bool HasUncertainty = false;
  bool ReadsAsResistor = false;
  // The fit itself, and the bins it was made of (their impedance and the variance of each
  // part, after the fixture's compensation): the LCR meter's readout reads either.
  TLcrFit Fit;
  std::vector<TLcrPoint> Points;
  bool AbsoluteVariances = false; // the points' Var are variances, not only relative weights
};

// A value is told from zero when it lies more than this many of its uncertainties from it.
inline constexpr double SignificantUncertainties = 2;

// The resistance cannot be told from zero, or is negative: it is shown as a bound.
bool ResistanceIsBound(const TLcrResult& result);

// "Lx= ..H", "Cx= ..F", "Reads as a resistor: no L or C above the noise" or "Im= ?", then
// "R= ..Ohm" (or "R= < ..Ohm") and "tg= 1.2E-01" ("tg= ?" without a reactance), lines separated
// by "\r\n"; values with their uncertainties when these are known (uFormatEng.h).
std::string LcrText(const TLcrResult& result);

// "result: R=<ohm> uR=<ohm> L=<henry> uL=<henry>" (or C= uC=, or neither for a resistor), the
// numbers in full precision, for the machine-readable tour.
std::string LcrResultLine(const TLcrResult& result);

// The reactance of the fitted model at w: w*L for an inductance, -1/(w*C) for a capacitance,
// 0 when the model has neither.
double ModelReactance(const TLcrResult& result, double w);

// Channel 0 bin k := Zx for k in bins; with withLcr the fitted model is returned and channel 1
// bin k := (R, model reactance). The imaginary part of Zx is negated because the transform uses
// the positive exponent: an inductance gets a positive imaginary part. noise (uBinNoise.h)
// gives each bin's variance; without it the weights follow the signal levels alone (the same
// white noise on both inputs) and the uncertainties the scatter about the model. Bins where
// the reference input is silent, or whose impedance is not finite, stay out of the fit.
// fixture maps each bin's measured impedance to the part's own before it is written and
// fitted, its variance with it, and gives the fit's model back as the card reads it where the
// weights are taken from the model.
TLcrResult ComputeImpedanceBins(TWaveData& block, bool swap, TBinRange bins, double rref,
                                bool withLcr, double sampleRate, const TNoiseSpectrum& noise = {},
                                const TFixtureBins& fixture = {});

// Channel 0 bin k := V1/V0 (V0/V1 with swap): the output of the divider over its drive, in the
// phase convention of the impedance (the transform's imaginary part negated).
void ComputeTransferBins(TWaveData& block, bool swap, TBinRange bins);

} // namespace sorvane
