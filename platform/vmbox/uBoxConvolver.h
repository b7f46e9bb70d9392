#pragma once
// One signal through two long FIR filters at once (the jig's left and right input responses),
// by uniformly partitioned overlap-save FFT convolution. The filters are cut into partitions of
// one block; past blocks' spectra are kept, so each new block costs one forward and two inverse
// FFTs of two blocks plus one spectral product per partition. Outputs come without delay: a
// block that is only partly filled is computed with its missing samples as zeros (they cannot
// reach the outputs already due) and again once more samples arrive.

#include "platform/vmbox/uBoxFft.h"

#include <complex>
#include <cstddef>
#include <vector>

namespace platform::vmbox {

class TStereoConvolver {
public:
  // blockSize: a power of two.
  explicit TStereoConvolver(size_t blockSize);

  // Replaces the filters (any length; the shorter is padded with zeros). With the same number of
  // partitions the input history is kept, so the outputs change over to the new filters as if
  // they had always been in place; otherwise the history is cleared.
  void SetFilters(const std::vector<double>& left, const std::vector<double>& right);

  // Filters n samples of `in` into outLeft and outRight.
  void Process(const double* in, size_t n, double* outLeft, double* outRight);

  // Forgets all input history.
  void Reset();

  size_t BlockSize() const { return B; }

private:
  using TC = std::complex<double>;
  void StoreFilter(const std::vector<double>& h, std::vector<TC>& partitions);
  void ComputeBlock(size_t from, size_t count, double* outLeft, double* outRight);
  void FinishBlock();
  void ComputeTail();

  size_t B;     // block size; the FFTs have 2B points
  size_t P = 0; // partitions per filter
  TRealFft Fft;
  std::vector<double> Window; // previous block, then the current one (zeros past Fill)
  size_t Fill = 0;
  std::vector<TC> Filter[2]; // partition p of channel c at [p * (B+1)]
  std::vector<TC> History;   // spectra of the last P-1 full blocks, ring of (B+1) each
  size_t Newest = 0;         // ring slot of the most recent full block
  std::vector<TC> Tail[2];   // what the past blocks contribute to the current block
  std::vector<TC> Current;   // spectrum of the current window
  std::vector<TC> Product;
  std::vector<double> Time;
};

} // namespace platform::vmbox
