#pragma once
// The block-to-block scatter of the two inputs' spectra, bin by bin: the hand-off averages
// blocks of samples before the analysis sees them, so the spread that tells how far each bin's
// average can be trusted is gathered here, from each block's own transform, beside the sum.
// Pure computation; one instance belongs to one thread at a time.

#include <vector>

#include "sorvane/numeric/uCom.h"

namespace sorvane {

// Covariance of the averaged spectra of the two inputs at one bin: E|d0|^2, E|d1|^2 and
// E[d0 conj(d1)], d the deviation of the average from its expectation.
struct TBinCovariance {
  double C00 = 0;
  double C11 = 0;
  TComplexD C01{0, 0};
};

class TSpectrumMoments {
public:
  // Forgets every block: the next one starts a new average.
  void Clear();
  // One block of samples, both channels of n points (a power of two of at least 4; another
  // length, or channels of different lengths, clear the moments).
  void AddBlock(const std::vector<double>& left, const std::vector<double>& right);
  int Blocks() const { return Count; }
  // Bins 1 .. n/2 - 1 of the block length in use; 0 before the first block.
  int Bins() const { return static_cast<int>(Sum00.size()); }
  // The covariance of the average of the blocks at bin k (zero with fewer than two blocks).
  TBinCovariance MeanCovariance(int k) const;

private:
  int Count = 0;
  // Deviations are taken from the first block's spectrum, so the sums of squares never cancel
  // against a large mean.
  std::vector<TComplexD> First0, First1, Sum0, Sum1, Sum01;
  std::vector<double> Sum00, Sum11;
  std::vector<double> Scratch0, Scratch1;
};

} // namespace sorvane
