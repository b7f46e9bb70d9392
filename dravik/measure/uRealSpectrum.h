#pragma once
// The analysis points and the spectrum of a real block at them. Four1 transforms the N real
// samples of a channel as N/2 packed complex points (sample 2m the real part and sample 2m+1
// the imaginary part of point m); point k then mixes the signal at k cycles per block with its
// mirror at N/2 - k, and so carries the noise of two frequencies. RealSpectrumBin separates the
// two, so each analysis point holds one frequency only.

#include "dravik/measure/uFour1.h"

#include <cstddef>

namespace dravik {

// The ten analysis points: 2^i cycles per block, i = 0..9.
constexpr int AnalysisPointCount = 10;
constexpr std::size_t AnalysisBin(int Point) { return std::size_t{1} << Point; }

// Bin k (0 <= k <= N/2) of the real spectrum X[k] = sum_n x[n] exp(+2 pi i k n / N) of the N
// samples whose packed transform (Four1 with isign +1 over N/2 points) `packed` holds.
TComplex RealSpectrumBin(const TDataVector& packed, std::size_t k);

} // namespace dravik
