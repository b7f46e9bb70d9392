#include "sorvane/engine/uTestSignal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sorvane/numeric/uFFT.h"

namespace sorvane {
namespace {

// Row kLo - 1, column kHi - kLo. Each mask was chosen for the lowest peak of its multi-tone.
constexpr uint16_t Masks[MultiToneTopBin][MultiToneTopBin] = {
    {0, 0, 0x3, 0x2, 0x5, 0xD, 0xD, 0x1B, 0x58, 0xD7, 0x1ED, 0xDA, 0x6F5, 0xC0B, 0x13DE, 0x135E},
    {0, 0, 0x6, 0x4, 0x4, 0x16, 0x1A, 0x34, 0x58, 0x58, 0x1DA, 0x14C, 0xDEA, 0x1F6A, 0x3ED4},
    {0, 0, 0xC, 0x8, 0x10, 0x20, 0x34, 0x58, 0x11C, 0x35C, 0x3B4, 0xA7C, 0x5CC, 0x3ED4},
    {0, 0, 0x18, 0x20, 0x10, 0x58, 0x68, 0xD0, 0x340, 0x3B0, 0x768, 0xED0, 0x1168},
    {0, 0, 0x30, 0x40, 0x20, 0xB0, 0xD0, 0xD0, 0x2C0, 0xED0, 0xED0, 0x1DB0},
    {0, 0, 0x60, 0x40, 0x40, 0x160, 0x1A0, 0x2C0, 0xD00, 0x6A0, 0x1DA0},
    {0, 0, 0xC0, 0x100, 0x80, 0x2C0, 0x340, 0x580, 0xA40, 0xD40},
    {0, 0, 0x180, 0x200, 0x100, 0x580, 0x680, 0x1E80, 0xD00},
    {0, 0, 0x300, 0x200, 0x200, 0xB00, 0xD00, 0x1600},
    {0, 0, 0x600, 0x400, 0x400, 0x1600, 0x1A00},
    {0, 0, 0xC00, 0x1000, 0x800, 0x2C00},
    {0, 0, 0x1800, 0x1000, 0x1000},
    {0, 0, 0x3000, 0x2000},
    {0, 0, 0x6000},
    {0, 0},
    {0},
};

bool ValidArguments(int n, int kLo, int kHi, double level) {
  const bool powerOfTwo = n >= 4 && (n & (n - 1)) == 0;
  return powerOfTwo && kLo >= 1 && kLo <= kHi && kHi <= n / 2 - 1 && std::isfinite(level);
}

// A linear chirp from bin kLo at the start of the block to bin kHi at its end, then its
// spectrum cleared outside kLo..kHi and set to magnitude 1 inside, keeping the chirp's phases.
void FlatChirp(double* x, int n, int kLo, int kHi) {
  const double a = std::numbers::pi / n;
  const double b = (kHi - kLo) * a / n;
  const double c = 2 * a * kLo;
  for (int i = 0; i < n; ++i) x[i] = std::sin(i * (i * b + c));
  RealFFT(x, n, true);
  for (int m = 0; m < n / 2; ++m) {
    double& re = x[2 * m];
    double& im = x[2 * m + 1];
    if (m < kLo || m > kHi) {
      re = im = 0; // entry 0 (DC and half rate) always, since kLo >= 1
      continue;
    }
    const double modulus = std::hypot(re, im);
    if (modulus > 0) {
      re /= modulus;
      im /= modulus;
    } else {
      re = 1;
      im = 0;
    }
  }
  RealFFT(x, n, false);
}

void MultiTone(double* x, int n, int kLo, int kHi) {
  std::fill(x, x + n, 0.0);
  const uint32_t mask = MultiToneMask(kLo, kHi);
  for (int i = kLo; i <= kHi; ++i) x[2 * i] = (mask >> (i - 1)) & 1 ? -1.0 : 1.0;
  RealFFT(x, n, false);
}

// Centres the signal and scales its span to 1.999*level; an all-zero signal stays silent.
void Normalise(double* x, int n, double level) {
  const auto [lo, hi] = std::minmax_element(x, x + n);
  const double span = *hi - *lo;
  const double mid = (*hi + *lo) / 2;
  const double g = span > 0 ? level * 1.999 / span : 0.0;
  for (int i = 0; i < n; ++i) x[i] = (x[i] - mid) * g;
}

} // namespace

uint32_t MultiToneMask(int kLo, int kHi) {
  if (kLo < 1 || kLo > kHi || kHi > MultiToneTopBin) return 0;
  return Masks[kLo - 1][kHi - kLo];
}

void GenerateTestSignal(double* x, int n, int kLo, int kHi, double level) {
  if (!x || n <= 0) return;
  if (!ValidArguments(n, kLo, kHi, level)) {
    std::fill(x, x + n, 0.0);
    return;
  }
  if (kHi > MultiToneTopBin) {
    FlatChirp(x, n, kLo, kHi);
  } else {
    MultiTone(x, n, kLo, kHi);
  }
  Normalise(x, n, level);
}

} // namespace sorvane
