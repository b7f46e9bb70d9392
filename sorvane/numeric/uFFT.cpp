#include "sorvane/numeric/uFFT.h"

#include <cmath>
#include <utility>

namespace sorvane {

namespace {

constexpr long double Pi = 3.141592653589793238462643383279502884L;

// The twiddle factor w = exp(i*k*theta) for k = 0, 1, 2, ..., advanced by the rotation
// (1 + wpr, wpi) with wpr = -2*sin^2(theta/2) and wpi = sin(theta). Keeping the small wpr apart
// from 1 preserves its digits, and running the recurrence in extended precision keeps the error
// it accumulates over up to n/4 steps below the rounding of a double.
struct TTwiddle {
  long double wr = 1.0L;
  long double wi = 0.0L;
  long double wpr;
  long double wpi;

  explicit TTwiddle(long double theta) {
    const long double s = std::sin(0.5L * theta);
    wpr = -2.0L * s * s;
    wpi = std::sin(theta);
  }

  void Advance() {
    const long double old = wr;
    wr = wr * wpr - wi * wpi + wr;
    wi = wi * wpr + old * wpi + wi;
  }
};

// Puts the n/2 complex pairs of d into bit-reversed order of their index.
void BitReverse(double* d, int n) {
  int j = 0;
  for (int i = 0; i < n; i += 2) {
    if (j > i) {
      std::swap(d[j], d[i]);
      std::swap(d[j + 1], d[i + 1]);
    }
    int m = n / 2;
    while (m >= 2 && j >= m) {
      j -= m;
      m /= 2;
    }
    j += m;
  }
}

// The first butterfly pass of span one pair, whose only twiddle factor is 1.
void Radix2Pass(double* d, int n) {
  for (int i = 0; i < n; i += 4) {
    const double tr = d[i + 2];
    const double ti = d[i + 3];
    d[i + 2] = d[i] - tr;
    d[i + 3] = d[i + 1] - ti;
    d[i] += tr;
    d[i + 1] += ti;
  }
}

// Two radix-2 passes in one sweep: the passes of half span s and 2s doubles, fused into 4-point
// butterflies a0..a3 (s doubles apart) that need three complex multiplications instead of four
// and half the trips through memory. With w = exp(sign*i*theta*m) and j = sign*i:
//   t1 = w^2 a1, t2 = w a2, t3 = w^3 a3;
//   a0, a2 = (a0 + t1) +- (t2 + t3);   a1, a3 = (a0 - t1) +- j (t2 - t3).
void Radix4Pass(double* d, int n, int s, int sign) {
  TTwiddle w(sign * Pi / s);
  for (int m = 0; m < s; m += 2) {
    const long double w2r = w.wr * w.wr - w.wi * w.wi;
    const long double w2i = 2.0L * w.wr * w.wi;
    const double c1r = static_cast<double>(w.wr), c1i = static_cast<double>(w.wi);
    const double c2r = static_cast<double>(w2r), c2i = static_cast<double>(w2i);
    const double c3r = static_cast<double>(w2r * w.wr - w2i * w.wi);
    const double c3i = static_cast<double>(w2r * w.wi + w2i * w.wr);
    for (int i = m; i < n; i += 4 * s) {
      double* a0 = d + i;
      double* a1 = a0 + s;
      double* a2 = a1 + s;
      double* a3 = a2 + s;
      const double t1r = c2r * a1[0] - c2i * a1[1], t1i = c2r * a1[1] + c2i * a1[0];
      const double t2r = c1r * a2[0] - c1i * a2[1], t2i = c1r * a2[1] + c1i * a2[0];
      const double t3r = c3r * a3[0] - c3i * a3[1], t3i = c3r * a3[1] + c3i * a3[0];
      const double sr = a0[0] + t1r, si = a0[1] + t1i;
      const double dr = a0[0] - t1r, di = a0[1] - t1i;
      const double ur = t2r + t3r, ui = t2i + t3i;
      const double jr = -sign * (t2i - t3i), ji = sign * (t2r - t3r);
      a0[0] = sr + ur, a0[1] = si + ui;
      a2[0] = sr - ur, a2[1] = si - ui;
      a1[0] = dr + jr, a1[1] = di + ji;
      a3[0] = dr - jr, a3[1] = di - ji;
    }
    w.Advance();
  }
}

// In-place complex FFT of n/2 pairs with the kernel exp(sign*2*pi*i*j*k/(n/2)): the radix-2
// decimation in time of the bit-reversed sequence, its passes fused two by two, with one plain
// radix-2 pass first when their number is odd.
void ComplexFFT(double* d, int n, int sign) {
  BitReverse(d, n);
  int passes = 0;
  for (int pairs = n / 2; pairs > 1; pairs /= 2) ++passes;
  int s = 2;
  if (passes % 2 == 1) {
    Radix2Pass(d, n);
    s = 4;
  }
  for (; s < n; s *= 4) Radix4Pass(d, n, s, sign);
}

// Separates the transform of the n/2 pairs (x[2j], x[2j+1]) into the spectrum of the n real
// samples (forward: theta = 2*pi/n, c2 = -0.5), or merges a real spectrum back into the
// transform of the pairs (inverse: theta = -2*pi/n, c2 = +0.5). Bins k and n/2 - k are worked
// together; the middle bin n/4 is its own partner and needs no change.
void Untangle(double* d, int n, long double theta, double c2) {
  const double c1 = 0.5;
  TTwiddle w(theta);
  w.Advance();
  for (int m = 1; m < n / 4; ++m) {
    const int i1 = 2 * m;
    const int i2 = i1 + 1;
    const int i3 = n - 2 * m;
    const int i4 = i3 + 1;
    const double wr = static_cast<double>(w.wr);
    const double wi = static_cast<double>(w.wi);
    const double h1r = c1 * (d[i1] + d[i3]);
    const double h1i = c1 * (d[i2] - d[i4]);
    const double h2r = -c2 * (d[i2] + d[i4]);
    const double h2i = c2 * (d[i1] - d[i3]);
    d[i1] = h1r + wr * h2r - wi * h2i;
    d[i2] = h1i + wr * h2i + wi * h2r;
    d[i3] = h1r - wr * h2r + wi * h2i;
    d[i4] = -h1i + wr * h2i + wi * h2r;
    w.Advance();
  }
}

bool IsPowerOfTwo(int n) { return n >= 2 && (n & (n - 1)) == 0; }

} // namespace

void RealFFT(double* data, int n, bool forward) {
  if (data == nullptr || !IsPowerOfTwo(n)) return;
  const long double theta = 2.0L * Pi / n;
  if (forward) {
    ComplexFFT(data, n, +1);
    Untangle(data, n, theta, -0.5);
    const double d0 = data[0];
    data[0] = d0 + data[1];
    data[1] = d0 - data[1];
    return;
  }
  Untangle(data, n, -theta, 0.5);
  const double d0 = data[0];
  data[0] = 0.5 * (d0 + data[1]);
  data[1] = 0.5 * (d0 - data[1]);
  ComplexFFT(data, n, -1);
  const double scale = 2.0 / n; // a power of two: the scaling itself is exact
  for (int i = 0; i < n; ++i) data[i] *= scale;
}

} // namespace sorvane
