#include "dravik/measure/uLCRAnalysis.h"

#include "dravik/measure/uReadout.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>

namespace dravik {
namespace {

// The variance of a mean from the scatter of n values is n/(n-1) times their spread about it;
// the further (n-1)/(n-3) is the Student factor: with the variance itself estimated from some
// twenty blocks, a reading would otherwise lie outside three of its uncertainties several
// times as often as a normal error does.
long double ScatterFactor(long double n) { return n > 3 ? n / (n - 3) : n / (n - 1) * 2; }

// The share of the loudest point's pair voltage power below which a point carries no tone.
constexpr long double EmptyPointShare = 1e-4L;

bool IsFinite(const TComplex& z) { return std::isfinite(z.Re) && std::isfinite(z.Im); }

// Samples of the waveform view: those of the first 10 ms (rounded half to even), but never
// past the highest index of channel 0 nor past the end of channel 1.
std::size_t WaveformPointCount(const TDataMatrix& block, unsigned fs) {
  if (fs == 0 || block.size() < 2 || block[0].empty()) return 0;
  const long double dt = 1000.0L / fs;
  const auto tenMs = static_cast<std::size_t>(std::lrint(10 / dt));
  return std::min({tenMs, block[0].size() - 1, block[1].size()});
}

} // namespace

TLCRAnalysis::TLCRAnalysis(TAnalysisOutput& output) : FOutput(output) {}

bool TLCRAnalysis::IsUsableBlock(const TDataMatrix& block, unsigned fs, unsigned n) {
  if (fs == 0 || n == 0 || block.size() < 2) return false;
  const std::size_t length = block[0].size();
  const std::size_t points = length / 2;
  return block[1].size() == length && length >= MinBlockLength && std::has_single_bit(points) &&
         points <= INT_MAX / 2;
}

bool TLCRAnalysis::AnalyseBlock(TDataMatrix& block, unsigned fs, unsigned n) {
  if (!IsUsableBlock(block, fs, n)) return false;
  if (FBlockCount == 0) ClearAccumulators();
  for (int channel = 0; channel < 2; ++channel) {
    TDataVector& samples = block[static_cast<std::size_t>(channel)];
    Four1(samples.data(), static_cast<int>(samples.size() / 2), 1);
  }
  std::array<TComplex, FrequencyCount> channel0, channel1;
  ReadBins(block, fs, n, channel0, channel1);
  const bool swap = FSwap;
  Accumulate(swap ? channel1 : channel0, swap ? channel0 : channel1);
  ++FBlockCount;
  if (ResultIsDue()) ComputeResult(fs, n);
  return false;
}

void TLCRAnalysis::ClearAccumulators() {
  FZSum.fill(TComplex{});
  FWSum.fill(0);
  FW2Sum.fill(0);
  FZ2Sum.fill(TComplex{});
  FZZSum.fill(TAdmittanceCovariance{});
  FResponseVariance.fill(0);
  FPairPower.fill(0);
}

void TLCRAnalysis::ReadBins(const TDataMatrix& block, unsigned fs, unsigned n,
                            std::array<TComplex, FrequencyCount>& channel0,
                            std::array<TComplex, FrequencyCount>& channel1) const {
  const bool corrected = FResponse.AppliesTo(fs, n);
  for (int i = 0; i < FrequencyCount; ++i) {
    const auto p = static_cast<std::size_t>(i);
    channel0[p] = RealSpectrumBin(block[0], AnalysisBin(i));
    const TComplex raw = RealSpectrumBin(block[1], AnalysisBin(i));
    if (corrected) ComplexDiv(raw, FResponse.Points[p].Ratio, channel1[p]);
    else channel1[p] = raw;
  }
}

// u is the spectrum of the voltage across the series pair, v that across the reference.
void TLCRAnalysis::Accumulate(const std::array<TComplex, FrequencyCount>& u,
                              const std::array<TComplex, FrequencyCount>& v) {
  for (std::size_t i = 0; i < FrequencyCount; ++i) {
    TComplex x, y, q1, q2, d, zr, scaled, sum;
    ComplexCopy(u[i], x);
    ComplexCopy(v[i], y);
    // w = |X|²·|Y/X|²·|(X-Y)/X|²: zero when either voltage or their difference vanishes.
    ComplexDiv(y, x, q1);
    const long double p = ComplexSqrAbs(x) * ComplexSqrAbs(q1);
    ComplexSub(x, y, d);
    ComplexDiv(d, x, q2);
    const long double w = ComplexSqrAbs(q2) * p;
    // V/(U-V) = Rref/Zx, in the transform's conjugate phase.
    ComplexDiv(y, d, zr);
    // A bin that overflowed (or a block holding NaN) would spoil the whole second: skip it.
    if (!std::isfinite(w) || !IsFinite(zr) || !std::isfinite(w * w * ComplexSqrAbs(zr))) continue;
    ComplexScale(zr, scaled, w);
    ComplexAdd(FZSum[i], scaled, sum);
    FZSum[i] = sum;
    FWSum[i] += w;
    const long double w2 = w * w;
    FW2Sum[i] += w2;
    FZ2Sum[i].Re += w2 * zr.Re;
    FZ2Sum[i].Im += w2 * zr.Im;
    FZZSum[i].ReRe += w2 * zr.Re * zr.Re;
    FZZSum[i].ImIm += w2 * zr.Im * zr.Im;
    FZZSum[i].ReIm += w2 * zr.Re * zr.Im;
    FPairPower[i] += ComplexSqrAbs(x);
  }
}

bool TLCRAnalysis::ResultIsDue() const {
  const int64_t elapsed = platform::MillisecondsBetween(FLastResultTime, platform::Now());
  // A clock set back would otherwise hold the display for as long as it was set back.
  return elapsed >= ResultIntervalMs || elapsed < 0;
}

// Turns each accumulator into the mean admittance A = conj(ZSum / WSum) / Rref. Returns which
// frequencies have one: those without weight (or with a result out of range, or every one when
// the reference resistance is not a positive number) are set to 0 and left out of the fit.
std::array<bool, TLCRAnalysis::FrequencyCount> TLCRAnalysis::Normalise() {
  std::array<bool, FrequencyCount> usable{};
  const bool refUsable = std::isfinite(FRefResistance) && FRefResistance > 0;
  for (std::size_t i = 0; i < FrequencyCount; ++i) {
    TComplex scaled, admittance;
    if (refUsable && FWSum[i] > 0) {
      ComplexScale(FZSum[i], scaled, 1 / (FWSum[i] * FRefResistance));
      ComplexConj(scaled, admittance);
      usable[i] = IsFinite(admittance);
    }
    FZSum[i] = usable[i] ? admittance : TComplex{};
  }
  return usable;
}

void TLCRAnalysis::ComputeResult(unsigned fs, unsigned n) {
  const long double omega0 = static_cast<long double>(fs) * TwoPi / static_cast<long double>(n);
  if (FResponse.AppliesTo(fs, n))
    for (std::size_t i = 0; i < FrequencyCount; ++i)
      FResponseVariance[i] = FResponse.Points[i].Variance / ComplexSqrAbs(FResponse.Points[i].Ratio);
  const TFitPass pass = FitFrequencies(omega0, FFixture.InForce(fs, n, FrequencyCount));
  FLastFit = SolveLCRFit(pass.Sums);
  FLastPoints = pass.Sums.Points;
  const TLCRFitResult& fit = FLastFit;
  if (fit.HasResistance) {
    FOutput.SetResistanceText("Rx= " + FloatToEng(fit.R) + "Ohm");
    FOutput.SetSeriesPoints(TSeriesId::Series1, pass.Real);
    FOutput.SetSeriesPoints(TSeriesId::Series2, pass.Imaginary);
    ShowFit(fit, pass.PlottedOmegas);
  } else {
    ShowNoResult();
  }
  FOutput.SetReadoutText(ReadoutText(fit));
  FLastResultTime = platform::Now();
  FBlockCount = 0;
}

// With m the weighted mean of the per-block ratios zr, the mean's covariance is
// n/(n-1) · sum w² (zr - m)(zr - m)ᵀ / (sum w)². The response's own error dh moves zr by
// zr (1 + zr) dh/h, equally in every direction. A = conj(m) / Rref.
void TLCRAnalysis::MeasureScatter(TFitPass& pass) const {
  const long double n = FBlockCount;
  pass.CovarianceKnown = FBlockCount >= 2;
  if (!pass.CovarianceKnown) return;
  const long double rref2 = FRefResistance * FRefResistance;
  for (std::size_t i = 0; i < FrequencyCount; ++i) {
    if (!(FWSum[i] > 0)) continue;
    const TComplex m{FZSum[i].Re / FWSum[i], FZSum[i].Im / FWSum[i]};
    const TAdmittanceCovariance& zz = FZZSum[i];
    const TComplex& z2 = FZ2Sum[i];
    const long double w2 = FW2Sum[i];
    const long double scale = ScatterFactor(n) / (FWSum[i] * FWSum[i]);
    const TComplex onePlus{1 + m.Re, m.Im};
    const long double response =
        FResponseVariance[i] * ComplexSqrAbs(m) * ComplexSqrAbs(onePlus) / 2;
    const long double rr = (zz.ReRe - 2 * m.Re * z2.Re + m.Re * m.Re * w2) * scale + response;
    const long double ii = (zz.ImIm - 2 * m.Im * z2.Im + m.Im * m.Im * w2) * scale + response;
    const long double ri = (zz.ReIm - m.Re * z2.Im - m.Im * z2.Re + m.Re * m.Im * w2) * scale;
    pass.Covariance[i] = {std::fmax(rr, 0) / rref2, std::fmax(ii, 0) / rref2, -ri / rref2};
  }
}

// Normalises the accumulators; the frequencies that carried more than a tenth of the mean weight
// enter the fit sums and are plotted. A frequency below that carries no tone of the test signal
// (the lowest analysis point never does) or too little of it: its ratio is mostly noise, and
// with a high impedance its admittance would outweigh every real tone in the sums. The weight
// alone cannot tell such a point when the reference voltage is small (a high impedance): there
// the weights of the real tones are small too, while the rounding of the small reference
// voltage puts its own periodic products on the empty points. The voltage across the pair
// carries every tone at nearly the full output level, so a point where it is 40 dB below the
// loudest one carries no tone and stays out as well.
TLCRAnalysis::TFitPass TLCRAnalysis::FitFrequencies(long double omega0, bool compensate) {
  long double weightSum = 0;
  for (const long double w : FWSum) weightSum += w;
  const long double meanWeight = weightSum / FrequencyCount;
  TFitPass pass;
  MeasureScatter(pass);
  const std::array<bool, FrequencyCount> usable = Normalise();
  FMeasured = FZSum;
  if (compensate) CompensateFixture(usable, pass);
  const long double loudest = *std::max_element(FPairPower.begin(), FPairPower.end());

  for (std::size_t i = 0; i < FrequencyCount; ++i) {
    if (!usable[i]) continue;
    const long double omega = std::ldexp(omega0, static_cast<int>(i));
    if (10 * FWSum[i] > meanWeight && FPairPower[i] > EmptyPointShare * loudest) {
      pass.Sums.Add({FWSum[i], FZSum[i], omega, pass.Covariance[i], pass.CovarianceKnown});
      TComplex z;
      ComplexInv(FZSum[i], z);
      FZSum[i] = z;
      const auto f = static_cast<double>(omega / TwoPi);
      pass.Real.push_back({f, static_cast<double>(z.Re)});
      pass.Imaginary.push_back({f, static_cast<double>(z.Im)});
      pass.PlottedOmegas.push_back(omega);
    }
  }
  return pass;
}

// A = (Am / (1 - Zs Am) - Yo) / F at each point; the covariance of Am goes through the slope of that
// map, a complex factor s that scales and turns it: C' = J C Jᵀ with J = [[Re s, -Im s],
// [Im s, Re s]].
void TLCRAnalysis::CompensateFixture(const std::array<bool, FrequencyCount>& usable,
                                     TFitPass& pass) {
  for (std::size_t i = 0; i < FrequencyCount; ++i) {
    if (!usable[i]) continue;
    const platform::TFixtureComplex am(FZSum[i].Re, FZSum[i].Im);
    const platform::TFixtureComplex a = FFixture.Compensate(i, am, FRefResistance);
    if (!std::isfinite(a.real()) || !std::isfinite(a.imag())) continue;
    FZSum[i] = {a.real(), a.imag()};
    const platform::TFixtureComplex slope = platform::CompensationSlope(am, FFixture.SeriesImpedance(i)) /
                                            FFixture.LoadFactor(i, FRefResistance);
    const long double sr = slope.real(), si = slope.imag();
    const TAdmittanceCovariance c = pass.Covariance[i];
    pass.Covariance[i] = {sr * sr * c.ReRe - 2 * sr * si * c.ReIm + si * si * c.ImIm,
                          si * si * c.ReRe + 2 * sr * si * c.ReIm + sr * sr * c.ImIm,
                          sr * si * (c.ReRe - c.ImIm) + (sr * sr - si * si) * c.ReIm};
  }
}

// The inductance or capacitance label and its reactance at the plotted frequencies.
void TLCRAnalysis::ShowFit(const TLCRFitResult& fit, const std::vector<long double>& omegas) {
  TChartPoints reactance;
  switch (fit.Kind) {
  case TReactanceKind::Inductance:
    FOutput.SetReactanceText("Lx= " + FloatToEng(fit.Value) + "H");
    FOutput.SetSeriesTitle(TSeriesId::Series3, "Lx");
    break;
  case TReactanceKind::Capacitance:
    FOutput.SetReactanceText("Cx= " + FloatToEng(fit.Value) + "F");
    FOutput.SetSeriesTitle(TSeriesId::Series3, "Cx");
    break;
  case TReactanceKind::Unknown:
    FOutput.SetReactanceText("Lx, Cx= ?");
    FOutput.SetSeriesTitle(TSeriesId::Series3, " ");
    FOutput.SetSeriesPoints(TSeriesId::Series3, reactance);
    return;
  }
  for (const long double omega : omegas)
    reactance.push_back(
        {static_cast<double>(omega / TwoPi), static_cast<double>(fit.Reactance(omega))});
  FOutput.SetSeriesPoints(TSeriesId::Series3, reactance);
}

// Nothing carried weight, or the reference resistance is unusable: say so, draw nothing.
void TLCRAnalysis::ShowNoResult() {
  FOutput.SetResistanceText("Rx= ?");
  FOutput.SetReactanceText("Lx, Cx= ?");
  FOutput.SetSeriesTitle(TSeriesId::Series3, " ");
  for (const TSeriesId series : {TSeriesId::Series1, TSeriesId::Series2, TSeriesId::Series3})
    FOutput.SetSeriesPoints(series, {});
}

void TLCRAnalysis::ShowWaveforms(const TDataMatrix& block, unsigned fs) {
  const std::size_t count = WaveformPointCount(block, fs);
  const long double dt = count > 0 ? 1000.0L / fs : 0;
  TChartPoints first, second;
  for (std::size_t m = 0; m < count; ++m) {
    const auto t = static_cast<double>(static_cast<long double>(m) * dt);
    first.push_back({t, static_cast<double>(block[0][m])});
    second.push_back({t, static_cast<double>(block[1][m])});
  }
  FOutput.SetSeriesPoints(TSeriesId::Series1, first);
  FOutput.SetSeriesPoints(TSeriesId::Series2, second);
  FOutput.SetSeriesPoints(TSeriesId::Series3, {});
}

} // namespace dravik
