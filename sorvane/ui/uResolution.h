#pragma once
// The block lengths the window offers at a sampling rate. The standard block is the power of
// two nearest a twentieth of a second (bins of about 23.4 Hz at every rate); the finer ones are
// its longer powers of two, up to LongestBlock frames (0.73 Hz bins at 48000 Hz), for curves
// that need detail at low frequencies. A resolution is kept as its factor over the standard
// block, so that it means the same bin width after a change of rate.

#include <string>
#include <vector>

namespace sorvane {

inline constexpr int LongestBlock = 65536;

// The power of two nearest rate / 20 (2048 at 48000 Hz).
int StandardBlockLength(int rate);

// The factors offered at a rate: 1, 2, 4, ... while the block stays within LongestBlock.
std::vector<int> ResolutionFactors(int rate);

// The block length of a factor at a rate; a factor not offered there gives the nearest offered
// one below it (at least the standard block).
int BlockLengthOf(int rate, int factor);

// "2048 points, 23.4 Hz": what the list of resolutions shows for a factor at a rate.
std::string ResolutionText(int rate, int factor);

} // namespace sorvane
