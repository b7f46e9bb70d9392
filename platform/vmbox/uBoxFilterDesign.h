#pragma once
// The impulse responses that carry the jig into each input, made by frequency sampling: the
// input's anti-alias response times the jig's transfer, sampled on the FFT grid and transformed
// back. The anti-alias response is flat below its edge and falls smoothly (a Gaussian-integral
// step) to zero at half the sampling rate, so the responses decay within a few hundred frames
// plus the circuit's own time constants, and the frequency samples then pin down the response
// between the grid points too: the FIR meets the analog transfer at every frequency.

#include "platform/vmbox/uBoxCircuit.h"

#include <cstddef>
#include <vector>

namespace platform::vmbox {

// Allowed anti-alias edges, as fractions of the sampling rate.
constexpr double MinAntiAliasEdge = 0.25;
constexpr double MaxAntiAliasEdge = 0.48;
// Filter lengths: a floor that covers the anti-alias filter alone, and a cap that bounds memory
// and work (a circuit slower than the cap allows is exact only well above 1/(2 pi tau)).
constexpr size_t MinFilterTaps = 2048;
constexpr size_t MaxFilterTaps = size_t{1} << 20;
// How many time constants of the circuit's decay the filter holds (e^-30 is below 1e-13).
constexpr double TimeConstantsCovered = 30.0;

// The anti-alias response (real, zero phase) at nu = f / fs, for an edge given as a fraction of
// fs: 1 to within 1e-13 up to the edge, 0 to within 1e-13 from 0.5 on.
double AntiAlias(double nu, double edge);

// Frames to either side of its centre beyond which the anti-alias filter's impulse response
// stays below 1e-15 of its peak. The inputs are delayed by this much (the converter's delay).
size_t AntiAliasHalfWidth(double edge);

// A power of two of taps holding the anti-alias spread on both sides and TimeConstantsCovered
// time constants `tau` (seconds) at `sampleRate`, within [MinFilterTaps, MaxFilterTaps].
size_t FilterTapsFor(double tau, double sampleRate, size_t halfWidth);

struct TJigFilters {
  std::vector<double> Left;
  std::vector<double> Right;
};

// Impulse responses of `taps` frames (a power of two): for input c, AntiAlias(f/fs, edge[c])
// times the jig's transfer to input c, delayed by `delay` frames.
TJigFilters DesignJigFilters(const TCircuit& circuit, double sourceImpedance, const double edge[2],
                             double sampleRate, size_t taps, size_t delay,
                             const TInputLoad& load = {});

} // namespace platform::vmbox
