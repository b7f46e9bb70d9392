#include "dravik/measure/uLCRAnalysis.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>

namespace dravik {
namespace {

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
  const bool swap = FSwap;
  Accumulate(block[swap ? 1 : 0], block[swap ? 0 : 1]);
  ++FBlockCount;
  if (ResultIsDue()) ComputeResult(fs, n);
  return false;
}

void TLCRAnalysis::ClearAccumulators() {
  FZSum.fill(TComplex{});
  FWSum.fill(0);
}

// u is the spectrum of the voltage across the series pair, v that across the reference.
void TLCRAnalysis::Accumulate(const TDataVector& u, const TDataVector& v) {
  for (std::size_t i = 0; i < FrequencyCount; ++i) {
    const std::size_t re = std::size_t{2} << i; // point 2^i
    TComplex x, y, q1, q2, d, zr, scaled, sum;
    ComplexCopy(TComplex{u[re], u[re + 1]}, x);
    ComplexCopy(TComplex{v[re], v[re + 1]}, y);
    // w = |X|²·|Y/X|²·|(X-Y)/X|²: zero when either voltage or their difference vanishes.
    ComplexDiv(y, x, q1);
    const long double p = ComplexSqrAbs(x) * ComplexSqrAbs(q1);
    ComplexSub(x, y, d);
    ComplexDiv(d, x, q2);
    const long double w = ComplexSqrAbs(q2) * p;
    // V/(U-V) = Rref/Zx, in the transform's conjugate phase.
    ComplexDiv(y, d, zr);
    // A bin that overflowed (or a block holding NaN) would spoil the whole second: skip it.
    if (!std::isfinite(w) || !IsFinite(zr)) continue;
    ComplexScale(zr, scaled, w);
    ComplexAdd(FZSum[i], scaled, sum);
    FZSum[i] = sum;
    FWSum[i] += w;
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
  const TFitPass pass = FitFrequencies(omega0);
  FLastFit = SolveLCRFit(pass.Sums);
  const TLCRFitResult& fit = FLastFit;
  if (fit.HasResistance) {
    FOutput.SetResistanceText("Rx= " + FloatToEng(fit.R) + "Ohm");
    FOutput.SetSeriesPoints(TSeriesId::Series1, pass.Real);
    FOutput.SetSeriesPoints(TSeriesId::Series2, pass.Imaginary);
    ShowFit(fit, pass.PlottedOmegas);
  } else {
    ShowNoResult();
  }
  FLastResultTime = platform::Now();
  FBlockCount = 0;
}

// Normalises the accumulators; the frequencies that carried more than a tenth of the mean weight
// enter the fit sums and are plotted. A frequency below that carries no tone of the test signal
// (the lowest analysis point never does) or too little of it: its ratio is mostly noise, and
// with a high impedance its admittance would outweigh every real tone in the sums.
TLCRAnalysis::TFitPass TLCRAnalysis::FitFrequencies(long double omega0) {
  long double weightSum = 0;
  for (const long double w : FWSum) weightSum += w;
  const long double meanWeight = weightSum / FrequencyCount;
  const std::array<bool, FrequencyCount> usable = Normalise();

  TFitPass pass;
  for (std::size_t i = 0; i < FrequencyCount; ++i) {
    if (!usable[i]) continue;
    const long double omega = std::ldexp(omega0, static_cast<int>(i));
    if (10 * FWSum[i] > meanWeight) {
      pass.Sums.Add(FWSum[i], FZSum[i], omega);
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
