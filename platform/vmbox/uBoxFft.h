#pragma once
// A real-input FFT of power-of-two length in double precision, planned once and run many times
// (the planning computes every twiddle factor directly, not by recurrence, so the transform
// keeps its accuracy at a million points). Used to design and run the box's filters.

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::vmbox {

class TRealFft {
public:
  // n: transform length, a power of two, at least 2.
  explicit TRealFft(size_t n);

  size_t Size() const { return N; }
  size_t Bins() const { return N / 2 + 1; }

  // X[k] = sum_j x[j] exp(-2 pi i j k / n) for k = 0 .. n/2 (Bins() values); no scaling.
  void Forward(const double* x, std::complex<double>* X) const;
  // x[j] = (1/n) sum_k X[k] exp(+2 pi i j k / n) over the whole Hermitian spectrum, from its
  // first Bins() values; the imaginary parts of X[0] and X[n/2] are ignored. Inverse(Forward(x))
  // gives x back.
  void Inverse(const std::complex<double>* X, double* x) const;

private:
  using TC = std::complex<double>;
  template <bool Inverse>
  void Pass(TC* data) const; // in-place complex FFT of M points

  size_t N; // real length
  size_t M; // complex length N/2
  size_t Log2M = 0;
  std::vector<uint32_t> BitReverse;
  std::vector<TC> StageTwiddle; // per stage of half-size h: exp(-i pi k / h) at [h + k]
  std::vector<TC> SplitTwiddle; // exp(-2 pi i k / N), k < M
  mutable std::vector<TC> Work;
};

} // namespace platform::vmbox
