#pragma once
// The figures of the level check, made with a single test tone: how clean the tone is on each
// input (its power over the power of its harmonics, in dB) and how far its phase drifts from one
// block to the next (0 when playback and capture run from one clock).

#include <string>

#include "sorvane/numeric/uCom.h"

namespace sorvane {

// Sum of |X[mk]|^2 over the harmonics m = 2, 3, ... of bin k with mk < n/2 - 1, in a packed
// spectrum of n points.
double HarmonicPower(const double* spectrum, int n, int k);

// 10*log10(tone / harmonics) as text with no decimals ("?" when the ratio cannot be told: a
// silent tone bin, or no harmonic power at all, for example when no harmonic lies below half
// the sampling rate).
std::string QualityText(double tonePower, double harmonicPower);

// One channel's share of the drift figure: the tangent of the tone's phase change since the
// previous block, r.Im/r.Re with r = tone/previous; -100 when that change has no real part
// (a tone bin or previous value of 0 gives r = 0).
double PhaseDriftTerm(const TComplexD& tone, const TComplexD& previous);

// "Async: " and the drift figure with three decimals ("?" when it is not a finite number).
std::string AsyncText(double drift);

} // namespace sorvane
