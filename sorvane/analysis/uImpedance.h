#pragma once
// The impedance of the component under test bin by bin, its averaged R with L or C, and the
// plain transfer ratio of the two inputs. Channel 0 sees the voltage across the component and
// the reference resistor in series, channel 1 the voltage across the reference resistor alone
// (Swap exchanges the roles); with rho = V0/V1, Zx = Rref*(rho - 1). Pure computation on a
// block of two packed spectra (see uFFT.h), results written into the same block.

#include <string>

#include "sorvane/analysis/uCom.h"
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

// The averaged series model of the bins: R with L (positive reactance) or C (negative). L, C and
// the loss tangent T come from the bins whose impedance has a non-zero imaginary part only:
// where the reactance is exactly 0 (an empty bin, a silent input) nothing about it can be told.
struct TLcrResult {
  double R = 0;
  double L = 0;
  double C = 0;
  double T = 0;
  int ReactiveBins = 0; // 0: no reactance can be told
};

class TLcrAverage {
public:
  // One bin's impedance z at angular frequency w (rad/s, > 0).
  void Add(const TComplexD& z, double w);
  TLcrResult Result() const;

private:
  long double SumR = 0, SumL = 0, SumC = 0, SumT = 0;
  int Bins = 0, Reactive = 0;
};

// "Lx= ..H", "Cx= ..F" or "Im= ?", then "R= ..Ohm" and "tg= 1.2E-01" ("tg= ?" when no bin had
// a reactance), lines separated by "\r\n".
std::string LcrText(const TLcrResult& result);

// The reactance of the averaged model at w: w*L for an inductance, -1/(w*C) for a capacitance,
// 0 when the model has neither.
double ModelReactance(const TLcrResult& result, double w);

// Channel 0 bin k := Zx for k in bins; with withLcr the averaged model is returned and channel 1
// bin k := (R, model reactance). The imaginary part of Zx is negated because the transform uses
// the positive exponent: an inductance gets a positive imaginary part.
TLcrResult ComputeImpedanceBins(TWaveData& block, bool swap, TBinRange bins, double rref,
                                bool withLcr, double sampleRate);

// Channel 0 bin k := V1/V0 (V0/V1 with swap): the output of the divider over its drive, with
// the sign of the transform kept.
void ComputeTransferBins(TWaveData& block, bool swap, TBinRange bins);

} // namespace sorvane
