#pragma once
// The data every layer of Dravik passes on: a channel's samples in full-scale units, a block of
// channels, a complex number of the analysis, and the extended constant 2*pi. Below the audio
// devices, so that they need nothing of the analysis.

#include <vector>

namespace dravik {

// One channel's samples in full-scale units, and a block of channels [channel][frame].
using TDataVector = std::vector<long double>;
using TDataMatrix = std::vector<TDataVector>;

struct TComplex {
  long double Re = 0;
  long double Im = 0;
};

// The extended constant 2*pi used by the test signals, the transform and the fit.
constexpr long double TwoPi = 6.283185307179586477L;

} // namespace dravik
