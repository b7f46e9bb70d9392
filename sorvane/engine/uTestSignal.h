#pragma once
// The test signal that the playback device repeats: exactly one analysis block of n samples
// whose spectrum is flat over bins kLo..kHi. Above bin 16 it is a linear chirp whose magnitude
// spectrum has been made exactly flat; for narrow ranges of low bins it is a multi-tone with
// stored signs that keep its crest factor low. Pure computation, callable from any thread.

#include <cstdint>

namespace sorvane {

// The highest bin for which the multi-tone is used instead of the chirp.
constexpr int MultiToneTopBin = 16;

// The sign mask of the multi-tone over bins kLo..kHi (1 <= kLo <= kHi <= 16): bit i - 1 set
// makes bin i negative. 0 for any other pair.
uint32_t MultiToneMask(int kLo, int kHi);

// Fills x[0 .. n-1] with the test signal for bins kLo..kHi, scaled to span
// -0.9995*level .. +0.9995*level, so that level 1 stays inside the 16-bit range.
// n must be a power of two of at least 4 and 1 <= kLo <= kHi <= n/2 - 1, and level finite;
// anything else gives silence.
void GenerateTestSignal(double* x, int n, int kLo, int kHi, double level);

} // namespace sorvane
