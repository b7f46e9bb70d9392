#include "dravik/measure/uInputResponse.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace dravik {
namespace {

// A card's two inputs never differ by more than this factor in gain once their levels are
// calibrated; a larger ratio means the inputs do not see the same voltage.
constexpr long double LargestCardRatio = 2;
// Points with less power than this share of the strongest carry no tone.
constexpr long double ToneShare = 1e-4L;
// A strongest tone whose ratio scatters by more than this (relative, rms) was not heard: the
// noise of an input without signal, not a tone.
constexpr long double HeardScatter = 0.1L;

long double Modulus(const TComplex& z) { return std::sqrt(ComplexSqrAbs(z)); }

bool IsPlausiblePoint(const TResponsePoint& p) {
  const long double m = Modulus(p.Ratio);
  return std::isfinite(m) && m >= 1 / LargestCardRatio && m <= LargestCardRatio &&
         std::isfinite(p.Variance) && p.Variance >= 0;
}

} // namespace

bool TInputResponse::IsPlausible() const {
  return std::all_of(Points.begin(), Points.end(), IsPlausiblePoint);
}

long double TInputResponse::LargestGainDifference() const {
  long double largest = 0;
  for (const TResponsePoint& p : Points)
    largest = std::max(largest, std::fabs(Modulus(p.Ratio) - 1));
  return largest;
}

long double TInputResponse::LargestPhaseDifference() const {
  long double largest = 0;
  for (const TResponsePoint& p : Points)
    largest = std::max(largest, std::fabs(std::atan2(p.Ratio.Im, p.Ratio.Re)));
  return largest;
}

void TResponseMeter::Start(unsigned fs, unsigned n) {
  FSums.fill(TPointSums{});
  FRate = fs;
  FFrames = n;
  FBlocks = 0;
  const long double blocks = n > 0 ? std::nearbyint(MeasuringSeconds * fs / n) : 0;
  FBlocksNeeded = std::max(MinBlocks, static_cast<int>(std::min(blocks, 1e6L)));
}

bool TResponseMeter::AddBlock(TDataMatrix& block) {
  const std::size_t length = FFrames;
  if (block.size() < 2 || length < 2 * AnalysisBin(AnalysisPointCount - 1) ||
      block[0].size() != length || block[1].size() != length || !std::has_single_bit(length))
    return FBlocks >= FBlocksNeeded;
  for (int c = 0; c < 2; ++c) Four1(block[c].data(), static_cast<int>(length / 2), 1);
  for (int i = 0; i < AnalysisPointCount; ++i) {
    const TComplex x = RealSpectrumBin(block[0], AnalysisBin(i));
    const TComplex y = RealSpectrumBin(block[1], AnalysisBin(i));
    const long double power = ComplexSqrAbs(x);
    if (!(power > 0) || !std::isfinite(power) || !std::isfinite(ComplexSqrAbs(y))) continue;
    TComplex ratio;
    ComplexDiv(y, x, ratio);
    TPointSums& s = FSums[static_cast<std::size_t>(i)];
    s.Cross.Re += y.Re * x.Re + y.Im * x.Im;
    s.Cross.Im += y.Im * x.Re - y.Re * x.Im;
    s.Power += power;
    s.Power2 += power * power;
    s.Ratio2.Re += power * power * ratio.Re;
    s.Ratio2.Im += power * power * ratio.Im;
    s.Scatter += power * power * ComplexSqrAbs(ratio);
  }
  ++FBlocks;
  return FBlocks >= FBlocksNeeded;
}

TResponseOutcome TResponseMeter::Result(TInputResponse& response) const {
  std::size_t loudest = 0;
  for (std::size_t i = 1; i < FSums.size(); ++i)
    if (FSums[i].Power > FSums[loudest].Power) loudest = i;
  const long double strongest = FSums[loudest].Power;
  if (!(strongest > 0) || FBlocks < 2) return TResponseOutcome::NoSignal;
  TInputResponse measured;
  measured.Rate = FRate;
  measured.Frames = FFrames;
  const long double n = FBlocks;
  for (std::size_t i = 0; i < FSums.size(); ++i) {
    const TPointSums& s = FSums[i];
    if (!(s.Power > ToneShare * strongest)) continue;
    TResponsePoint& p = measured.Points[i];
    p.Ratio = {s.Cross.Re / s.Power, s.Cross.Im / s.Power};
    // The weighted scatter of the per-block ratios about their mean, as the mean's variance.
    const long double spread = s.Scatter - 2 * (p.Ratio.Re * s.Ratio2.Re + p.Ratio.Im * s.Ratio2.Im) +
                               ComplexSqrAbs(p.Ratio) * s.Power2;
    p.Variance = n / (n - 1) * std::fmax(spread, 0) / (s.Power * s.Power);
  }
  const TResponsePoint& loud = measured.Points[loudest];
  if (!(loud.Variance <= HeardScatter * HeardScatter * ComplexSqrAbs(loud.Ratio)))
    return TResponseOutcome::NoSignal;
  if (!measured.IsPlausible()) return TResponseOutcome::Implausible;
  response = measured;
  return TResponseOutcome::Measured;
}

} // namespace dravik
