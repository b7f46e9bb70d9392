#include "sorvane/analysis/uImpedance.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sorvane/analysis/uFormatEng.h"

namespace sorvane {
namespace {

// Per-bin reads and writes, always for the same k, so the input bins of a pair are read before
// the result overwrites one of them.
struct TPair {
  double* A;
  double* B;
};

TPair Channels(TWaveData& block, bool aIsChannel1) {
  return aIsChannel1 ? TPair{block[1].data(), block[0].data()}
                     : TPair{block[0].data(), block[1].data()};
}

} // namespace

TBinRange BinRangeOf(int n, double loHz, double hiHz, double sampleRate) {
  const int a = FrequencyToBin(n, loHz, sampleRate);
  const int b = FrequencyToBin(n, hiHz, sampleRate);
  return {std::min(a, b), std::max(a, b)};
}

void TLcrAverage::Add(const TComplexD& z, double w) {
  SumR += z.Re;
  ++Bins;
  if (z.Im == 0 || !std::isfinite(z.Im)) return;
  SumL += z.Im / w;
  SumC += -1.0 / (z.Im * w);
  SumT += z.Re / std::fabs(z.Im);
  ++Reactive;
}

TLcrResult TLcrAverage::Result() const {
  TLcrResult r;
  if (Bins > 0) r.R = static_cast<double>(SumR / Bins);
  r.ReactiveBins = Reactive;
  if (Reactive > 0) {
    r.L = static_cast<double>(SumL / Reactive);
    r.C = static_cast<double>(SumC / Reactive);
    r.T = static_cast<double>(SumT / Reactive);
  }
  return r;
}

std::string LcrText(const TLcrResult& result) {
  std::string first = "Im= ?";
  if (result.L > 0) {
    first = "Lx= " + FormatEng(result.L) + "H";
  } else if (result.C > 0) {
    first = "Cx= " + FormatEng(result.C) + "F";
  }
  const std::string tangent = result.ReactiveBins > 0 ? FormatExponent2(result.T) : "?";
  return first + "\r\n" + "R= " + FormatEng(result.R) + "Ohm" + "\r\n" + "tg= " + tangent;
}

double ModelReactance(const TLcrResult& result, double w) {
  if (result.L > 0) return w * result.L;
  if (result.C > 0) return -1.0 / (w * result.C);
  return 0;
}

TLcrResult ComputeImpedanceBins(TWaveData& block, bool swap, TBinRange bins, double rref,
                                bool withLcr, double sampleRate) {
  const TPair p = Channels(block, swap);
  const double radPerBin = 2.0 * std::numbers::pi * sampleRate / double(block[0].size());
  TLcrAverage average;
  for (int k = bins.Lo; k <= bins.Hi; ++k) {
    const TComplexD rho = CDiv(BinAt(p.A, k), BinAt(p.B, k));
    const TComplexD z{rref * (rho.Re - 1.0), -rref * rho.Im};
    SetBin(block[0].data(), k, z);
    if (withLcr) average.Add(z, k * radPerBin);
  }
  const TLcrResult result = average.Result();
  if (withLcr) {
    for (int k = bins.Lo; k <= bins.Hi; ++k) {
      SetBin(block[1].data(), k, {result.R, ModelReactance(result, k * radPerBin)});
    }
  }
  return result;
}

void ComputeTransferBins(TWaveData& block, bool swap, TBinRange bins) {
  // The opposite pairing from the impedance: the voltage across Rref over the drive.
  const TPair p = Channels(block, !swap);
  for (int k = bins.Lo; k <= bins.Hi; ++k) {
    SetBin(block[0].data(), k, CDiv(BinAt(p.A, k), BinAt(p.B, k)));
  }
}

} // namespace sorvane
