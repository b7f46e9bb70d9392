#pragma once
// The measured curve of a block as frequency, complex value and variance per bin, for thinning
// and export. The variance of a bin is only known from the spectra, before the impedance or the
// transfer ratio overwrites channel 0: RatioVariances takes it from the processed block, and
// CurveOfBins reads the result afterwards. Pure computation.

#include <vector>

#include "sorvane/analysis/uBinNoise.h"
#include "sorvane/analysis/uImpedance.h"
#include "sorvane/analysis/uLogThinning.h"

namespace sorvane {

// Per bin of bins (first entry for bins.Lo), the variance of the ratio that the impedance
// (transfer false: channel A over B as in ComputeImpedanceBins) or the transfer ratio (its
// inverse) is made of; empty when noise is empty (the block was not averaged).
std::vector<double> RatioVariances(const TWaveData& spectra, const TNoiseSpectrum& noise,
                                   bool swap, TBinRange bins, bool transfer);

// Channel 0 bin k as a point at k*binHz for k in bins, its variance scale^2 times the ratio's
// (Rref^2 for an impedance, 1 for a ratio); unknown where ratioVariances has no entry.
std::vector<TCurvePoint> CurveOfBins(const TWaveData& block, TBinRange bins, double binHz,
                                     const std::vector<double>& ratioVariances, double scale);

} // namespace sorvane
