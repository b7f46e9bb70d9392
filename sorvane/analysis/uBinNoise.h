#pragma once
// How far each bin's ratio of the two inputs can be trusted: the covariance of the averaged
// spectra, from the block-to-block scatter of the hand-off, brought through the calibration of
// channel 1 and smoothed over neighbouring bins, and from it the variance of the ratio A/B.

#include <vector>

#include "sorvane/analysis/uCalibrationFit.h"
#include "sorvane/numeric/uSpectrumMoments.h"

namespace sorvane {

// Entry k for bin k; empty when the scatter is not known (a block that was not averaged).
using TNoiseSpectrum = std::vector<TBinCovariance>;

// Bins on each side that share one noise estimate. The noise of a sound card changes slowly
// with frequency, while one bin's scatter over a few blocks has only a few degrees of freedom:
// 17 bins of 7 blocks give about 120, so the weights of the fit scatter by some 10 %.
inline constexpr int NoiseSmoothingBins = 8;

// The covariance of the averaged block's spectra with channel 1 multiplied bin by bin by
// calibration (entry k for bin k; an empty calibration is the identity), each bin's figures the
// mean over NoiseSmoothingBins on each side. Empty with fewer than two blocks.
TNoiseSpectrum NoiseSpectrumOf(const TSpectrumMoments& moments, const TComplexArray& calibration);

// E|d rho|^2 of rho = A/B at one bin, to first order, A and B the spectra at that bin: without
// swap A is channel 0 and B channel 1, with swap the reverse. Infinite when B is 0.
double RatioVariance(const TBinCovariance& noise, const TComplexD& a, const TComplexD& b, bool swap);

} // namespace sorvane
