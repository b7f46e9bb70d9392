#include "platform/vmbox/uBoxFft.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace platform::vmbox {
namespace {

using TC = std::complex<double>;

// Plain product: std::complex's operator* checks for infinities on every call.
inline TC Mul(TC a, TC b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}
inline TC MulConj(TC a, TC b) { // a * conj(b)
  return {a.real() * b.real() + a.imag() * b.imag(), a.imag() * b.real() - a.real() * b.imag()};
}

TC UnitRoot(double turns) {
  const double a = -2.0 * std::numbers::pi * turns;
  return {std::cos(a), std::sin(a)};
}

} // namespace

TRealFft::TRealFft(size_t n) : N(n), M(n / 2) {
  if (n < 2 || (n & (n - 1)) != 0) throw std::invalid_argument("FFT length is not a power of two");
  BitReverse.resize(M);
  while ((size_t{1} << Log2M) < M) ++Log2M;
  const size_t bits = Log2M;
  for (size_t i = 0; i < M; ++i) {
    uint32_t r = 0;
    for (size_t b = 0; b < bits; ++b)
      if (i & (size_t{1} << b)) r |= uint32_t{1} << (bits - 1 - b);
    BitReverse[i] = r;
  }
  StageTwiddle.resize(std::max<size_t>(M, 1));
  for (size_t h = 1; h < M; h *= 2)
    for (size_t k = 0; k < h; ++k) StageTwiddle[h + k] = UnitRoot(0.5 * double(k) / double(h));
  SplitTwiddle.resize(M);
  for (size_t k = 0; k < M; ++k) SplitTwiddle[k] = UnitRoot(double(k) / double(N));
  Work.resize(M);
}

// Radix-2 decimation in time after bit reversal, with each two consecutive stages merged into
// one pass of radix-4 butterflies (half the passes over memory). The twiddles of the inverse
// are the conjugates.
template <bool Inverse>
void TRealFft::Pass(TC* data) const {
  for (size_t i = 0; i < M; ++i)
    if (BitReverse[i] > i) std::swap(data[i], data[BitReverse[i]]);
  size_t h = 1;
  if (Log2M % 2 == 1) { // an odd stage count: one plain radix-2 stage first
    for (size_t s = 0; s < M; s += 2) {
      const TC a = data[s], b = data[s + 1];
      data[s] = a + b;
      data[s + 1] = a - b;
    }
    h = 2;
  }
  for (; h < M; h *= 4) {
    const TC* w2 = &StageTwiddle[h];     // stage of half-size h
    const TC* w4 = &StageTwiddle[2 * h]; // stage of half-size 2h
    for (size_t s = 0; s < M; s += 4 * h) {
      TC* x = data + s;
      for (size_t k = 0; k < h; ++k) {
        const TC a1 = Inverse ? MulConj(x[k + h], w2[k]) : Mul(x[k + h], w2[k]);
        const TC a3 = Inverse ? MulConj(x[k + 3 * h], w2[k]) : Mul(x[k + 3 * h], w2[k]);
        const TC b0 = x[k] + a1, b1 = x[k] - a1;
        const TC b2 = x[k + 2 * h] + a3, b3 = x[k + 2 * h] - a3;
        const TC c2 = Inverse ? MulConj(b2, w4[k]) : Mul(b2, w4[k]);
        const TC t3 = Inverse ? MulConj(b3, w4[k]) : Mul(b3, w4[k]);
        // The twiddle of position k + h in the second stage is -i (+i inverse) times that of k.
        const TC c3 = Inverse ? TC(-t3.imag(), t3.real()) : TC(t3.imag(), -t3.real());
        x[k] = b0 + c2;
        x[k + 2 * h] = b0 - c2;
        x[k + h] = b1 + c3;
        x[k + 3 * h] = b1 - c3;
      }
    }
  }
}

void TRealFft::Forward(const double* x, TC* X) const {
  TC* z = Work.data();
  for (size_t k = 0; k < M; ++k) z[k] = {x[2 * k], x[2 * k + 1]};
  Pass<false>(z);
  // Untangle the spectra of the even and the odd samples.
  X[0] = {z[0].real() + z[0].imag(), 0.0};
  X[M] = {z[0].real() - z[0].imag(), 0.0};
  for (size_t k = 1; k < M; ++k) {
    const TC a = z[k];
    const TC b = std::conj(z[M - k]);
    const TC even = 0.5 * (a + b);
    const TC odd = TC(0.0, -0.5) * (a - b);
    X[k] = even + Mul(SplitTwiddle[k], odd);
  }
}

void TRealFft::Inverse(const TC* X, double* x) const {
  TC* z = Work.data();
  for (size_t k = 0; k < M; ++k) {
    const TC a = k == 0 ? TC(X[0].real(), 0.0) : X[k];
    const TC b = k == 0 ? TC(X[M].real(), 0.0) : std::conj(X[M - k]);
    const TC even = 0.5 * (a + b);
    const TC odd = MulConj(0.5 * (a - b), SplitTwiddle[k]);
    z[k] = even + TC(-odd.imag(), odd.real());
  }
  Pass<true>(z);
  const double scale = 1.0 / double(M);
  for (size_t k = 0; k < M; ++k) {
    x[2 * k] = z[k].real() * scale;
    x[2 * k + 1] = z[k].imag() * scale;
  }
}

} // namespace platform::vmbox
