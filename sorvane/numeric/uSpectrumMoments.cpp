#include "sorvane/numeric/uSpectrumMoments.h"

#include <algorithm>

#include "sorvane/numeric/uFFT.h"

namespace sorvane {
namespace {

bool UsableLength(size_t n) { return n >= 4 && (n & (n - 1)) == 0; }

TComplexD Sub(const TComplexD& a, const TComplexD& b) { return {a.Re - b.Re, a.Im - b.Im}; }
TComplexD Conj(const TComplexD& z) { return {z.Re, -z.Im}; }
void AddTo(TComplexD& sum, const TComplexD& z) { sum.Re += z.Re, sum.Im += z.Im; }

} // namespace

void TSpectrumMoments::Clear() { Count = 0; }

void TSpectrumMoments::AddBlock(const std::vector<double>& left, const std::vector<double>& right) {
  const size_t n = left.size();
  if (!UsableLength(n) || right.size() != n) {
    Clear();
    return;
  }
  const size_t bins = n / 2;
  if (Sum00.size() != bins) Count = 0;
  Scratch0.assign(left.begin(), left.end());
  Scratch1.assign(right.begin(), right.end());
  RealFFT(Scratch0.data(), static_cast<int>(n), true);
  RealFFT(Scratch1.data(), static_cast<int>(n), true);
  if (Count == 0) {
    First0.assign(bins, CZero), First1.assign(bins, CZero);
    Sum0.assign(bins, CZero), Sum1.assign(bins, CZero), Sum01.assign(bins, CZero);
    Sum00.assign(bins, 0.0), Sum11.assign(bins, 0.0);
    for (size_t k = 1; k < bins; ++k) {
      First0[k] = BinAt(Scratch0.data(), static_cast<int>(k));
      First1[k] = BinAt(Scratch1.data(), static_cast<int>(k));
    }
  }
  for (size_t k = 1; k < bins; ++k) {
    const TComplexD d0 = Sub(BinAt(Scratch0.data(), static_cast<int>(k)), First0[k]);
    const TComplexD d1 = Sub(BinAt(Scratch1.data(), static_cast<int>(k)), First1[k]);
    AddTo(Sum0[k], d0);
    AddTo(Sum1[k], d1);
    AddTo(Sum01[k], CMul(d0, Conj(d1)));
    Sum00[k] += CSqrAbs(d0);
    Sum11[k] += CSqrAbs(d1);
  }
  ++Count;
}

TBinCovariance TSpectrumMoments::MeanCovariance(int k) const {
  if (Count < 2 || k < 1 || k >= Bins()) return {};
  const double n = Count;
  // Sample covariance of the blocks (n - 1 degrees of freedom), divided by n for their mean.
  const double scale = 1.0 / ((n - 1) * n);
  const TComplexD m0{Sum0[k].Re / n, Sum0[k].Im / n}, m1{Sum1[k].Re / n, Sum1[k].Im / n};
  const TComplexD cross = CMul(m0, Conj(m1));
  TBinCovariance c;
  c.C00 = std::max(0.0, (Sum00[k] - n * CSqrAbs(m0)) * scale);
  c.C11 = std::max(0.0, (Sum11[k] - n * CSqrAbs(m1)) * scale);
  c.C01 = {(Sum01[k].Re - n * cross.Re) * scale, (Sum01[k].Im - n * cross.Im) * scale};
  return c;
}

} // namespace sorvane
