#include "sorvane/analysis/uSignalIn.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sorvane/numeric/uFFT.h"
#include "sorvane/analysis/uImpedance.h"
#include "sorvane/analysis/uLevelCheck.h"

namespace sorvane {
namespace {

constexpr const char* Section = "Calibration";
// Output level requests: lower by 10 % on saturation, raise so that the louder input peaks at
// this fraction of its saturation level.
constexpr double LowerFactor = 0.9;
constexpr double TargetLevel = 0.7;

bool UsableLength(size_t n) { return n >= 4 && (n & (n - 1)) == 0; }

// An input hears the tone when it is well above silence and the tone carries most of its peak:
// a tone of amplitude a shows as a*n/2 in its bin.
constexpr double SilenceLevel = 1e-3;
constexpr double ToneShareOfPeak = 0.5;

bool HearsTone(const TComplexD& tone, double peak, int n) {
  const double amplitude = 2 * std::sqrt(CSqrAbs(tone)) / n;
  return peak > SilenceLevel && amplitude >= ToneShareOfPeak * peak;
}

double Peak(const TChannelData& x) {
  double peak = 0;
  for (const double v : x) peak = std::max(peak, std::fabs(v));
  return peak;
}

} // namespace

TSignalIn::TSignalIn() = default;

// The dispatcher calls ProcessBlock, which uses this object's members: stop it first.
TSignalIn::~TSignalIn() { Shutdown(); }

void TSignalIn::StartLevelCheck(TStatusEvent onStatus, double toneHz) {
  OnStatus = std::move(onStatus);
  ToneHz = toneHz;
  Mode = smLevelCheck;
  FirstBlock = true;
  Learned = {0, 0};
  KeptSaturation = Saturation;
  LevelFault = NoToneText;
  ApplyLayout(BlockLength());
}

void TSignalIn::StartCalibration(double loHz, double hiHz) {
  LoHz = loHz;
  HiHz = hiHz;
  Mode = smCalibration;
  RatioAverage.Clear();
  FitRefused = false;
  FitsAccepted = 0;
  ApplyLayout(BlockLength());
}

void TSignalIn::StartMeasurement() {
  Mode = smMeasure;
  ApplyLayout(BlockLength());
}

void TSignalIn::FitBlockLength(int n) {
  if (n != LayoutLength) ApplyLayout(n);
}

// Derives the bins of the mode in force for blocks of n points.
void TSignalIn::ApplyLayout(int n) {
  if (!UsableLength(static_cast<size_t>(std::max(n, 0)))) {
    LayoutLength = 0; // derived again from the first block
    return;
  }
  LayoutLength = n;
  const double fs = SampleRate();
  switch (Mode) {
  case smLevelCheck:
    CenterBin = FrequencyToBin(n, ToneHz, fs);
    break;
  case smCalibration: {
    const int lo = FrequencyToBin(n, LoHz, fs);
    const int hi = FrequencyToBin(n, HiHz, fs);
    CenterBin = (lo + hi) / 2;
    HalfWidth = CenterBin - lo;
    Calibration.resize(n / 2);
    RatioAverage.Clear();
    PrepareFit();
    AgreeLo = std::max(lo, FrequencyToBin(n, AgreementLoHz, fs));
    AgreeHi = std::min(hi, n / 4); // a quarter of the rate
    break;
  }
  case smMeasure:
    Calibration.resize(n / 2);
    EvaluateCalibration();
    break;
  }
}

double TSignalIn::BinHz() const {
  return Calibration.empty() ? 0.0 : SampleRate() / (2.0 * Calibration.size());
}

bool TSignalIn::PrepareFit() {
  // A window reversed by swapped frequencies would read outside the block: no fit then.
  FitUsable = HalfWidth >= 0 && sorvane::PrepareFit(Normal, HalfWidth);
  return FitUsable;
}

TPolynomial TSignalIn::FitComponent(int comp) const {
  return sorvane::FitComponent(Normal, Calibration, comp, CenterBin, HalfWidth, BinHz());
}

void TSignalIn::EvaluateCalibration() {
  sorvane::EvaluateCalibration(Poly, Corners, Calibration, BinHz());
  SpreadCalibration.assign(Spread.size(), TComplexArray(Calibration.size(), COne));
  for (size_t g = 0; g < Spread.size(); ++g) {
    sorvane::EvaluateCalibration(Spread[g].Poly, Spread[g].Corners, SpreadCalibration[g], BinHz());
  }
}

void TSignalIn::ProcessBlock(TWaveData& block) {
  const size_t n = block[0].size();
  if (!UsableLength(n) || block[1].size() != n) return;
  FitBlockLength(static_cast<int>(n));
  std::array<double, 2> peak{};
  for (int c = 0; c < 2; ++c) {
    peak[c] = Peak(block[c]);
    RealFFT(block[c].data(), static_cast<int>(n), true);
  }
  const bool saturated = peak[0] >= Saturation[0] || peak[1] >= Saturation[1];
  const TSignalMode mode = Mode;
  Noise.clear();
  switch (mode) {
  case smLevelCheck: LevelCheckBlock(block, peak); break;
  case smCalibration: CalibrationBlock(block, saturated); break;
  case smMeasure: MeasureBlock(block, peak, saturated); break;
  }
  if (mode != smLevelCheck) {
    if (OnSaturation) OnSaturation(saturated);
    if (saturated && OnLevel) OnLevel(LowerFactor);
  }
  FirstBlock = false;
}

void TSignalIn::LevelCheckBlock(const TWaveData& block, const std::array<double, 2>& peak) {
  const int n = static_cast<int>(block[0].size());
  std::array<TComplexD, 2> tone{};
  std::array<double, 2> quality{};
  std::array<bool, 2> heard{};
  std::string text = "Quality:";
  for (int c = 0; c < 2; ++c) {
    tone[c] = BinAt(block[c].data(), CenterBin);
    const double harmonics = HarmonicPower(block[c].data(), n, CenterBin);
    text += " " + QualityText(CSqrAbs(tone[c]), harmonics);
    quality[c] = 10.0 * std::log10(CSqrAbs(tone[c]) / harmonics);
    heard[c] = HearsTone(tone[c], peak[c], n);
  }
  // The first block may still carry the level of the previous run: it teaches nothing.
  if (!FirstBlock) {
    double drift = 0;
    for (int c = 0; c < 2; ++c) drift += PhaseDriftTerm(tone[c], PrevTone[c]);
    text += "\r\n" + AsyncText(drift);
    LearnSaturation(tone, peak, n);
    LevelFault = LevelCheckFault(heard, quality, tone);
  }
  PrevTone = tone;
  if (OnStatus) OnStatus(text);
}

// The saturation levels are the largest peaks of the blocks in which both inputs heard the
// tone. A check that hears silence (a wrong output device, a run stopped at once) or noise
// teaches nothing and leaves the levels in force, which are what the settings file keeps.
void TSignalIn::LearnSaturation(const std::array<TComplexD, 2>& tone,
                                const std::array<double, 2>& peak, int n) {
  for (int c = 0; c < 2; ++c) {
    if (!HearsTone(tone[c], peak[c], n)) return;
  }
  for (int c = 0; c < 2; ++c) {
    if (!(Learned[c] >= peak[c])) Learned[c] = peak[c];
  }
  Saturation = Learned;
}

void TSignalIn::CalibrationBlock(TWaveData& block, bool saturated) {
  const int bins = static_cast<int>(Calibration.size());
  // A clipped block's ratio is wrong: it is shown, and averaged only when nothing better is there.
  if (!saturated) RatioAverage.Add(block[0].data(), block[1].data(), bins);
  for (int k = 1; k < bins; ++k) {
    const TComplexD rho = CDiv(BinAt(block[0].data(), k), BinAt(block[1].data(), k));
    SetBin(block[0].data(), k, rho);
    Calibration[k] = rho;
  }
  RatioAverage.MeanInto(Calibration);
  // A ratio that no card's inputs give is not fitted: the calibration in force stays, and
  // until a block of this run has been fitted, so do the saturation levels it was learned with.
  FitRefused = !InputsAgree(Calibration, AgreeLo, AgreeHi);
  if (FitRefused && FitsAccepted == 0) PutBackSaturation();
  // A fit that cannot be made, or whose curve is not finite, never replaces the calibration in
  // force.
  // The coupling corners first, then the polynomials on what they leave; when the corners
  // cannot be fitted the polynomials take the whole ratio, as they did before the corners.
  if (FitUsable && !FitRefused) {
    FitCalibration(Normal, Calibration, CenterBin, HalfWidth, BinHz(), Poly, Corners);
    Spread = FitSpread(RatioAverage, Normal, CenterBin, HalfWidth, BinHz(), Calibration.size());
    ++FitsAccepted;
  }
  EvaluateCalibration();
  for (int k = 1; k < bins; ++k) SetBin(block[1].data(), k, Calibration[k]);
  if (OnStatus) {
    OnStatus(FitRefused ? InputsDifferText : saturated ? "Wait..." : "Press Stop\r\nto finish.");
  }
}

void TSignalIn::MeasureBlock(TWaveData& block, const std::array<double, 2>& peak,
                             bool saturated) {
  double loudest = 0;
  for (int c = 0; c < 2; ++c) {
    if (Saturation[c] > 0) loudest = std::max(loudest, peak[c] / Saturation[c]);
  }
  // A saturated block is lowered below; it never asks for a raise in the same breath.
  if (!saturated && loudest > 0 && loudest < TargetLevel && OnLevel) OnLevel(TargetLevel / loudest);
  const int bins = static_cast<int>(Calibration.size());
  for (int k = 1; k < bins; ++k) {
    SetBin(block[1].data(), k, CMul(BinAt(block[1].data(), k), Calibration[k]));
  }
  Noise = NoiseSpectrumOf(BlockMoments(), Calibration);
}

void TSignalIn::ComputeImpedance(TWaveData& block, bool swap, double loHz, double hiHz,
                                 double rref, bool withLcr, const TStatusEvent& onText) {
  const size_t n = block[0].size();
  if (!UsableLength(n) || block[1].size() != n) return;
  const double fs = SampleRate();
  const TBinRange bins = BinRangeOf(static_cast<int>(n), loHz, hiHz, fs);
  const TFixtureBins fixture = Fixture.InForce(static_cast<unsigned>(fs), static_cast<unsigned>(n),
                                               FixturePoints(static_cast<int>(n)))
                                   ? TFixtureBins(Fixture, rref)
                                   : TFixtureBins();
  // The calibration's own spread, where it is known, on the block before it is overwritten.
  const std::vector<TLcrResult> groups =
      withLcr && Mode == smMeasure
          ? SpreadResults(block, Calibration, SpreadCalibration, swap, bins, rref, fs, Noise, fixture)
          : std::vector<TLcrResult>{};
  TLcrResult result = ComputeImpedanceBins(block, swap, bins, rref, withLcr, fs,
                                           Mode == smMeasure ? Noise : TNoiseSpectrum{}, fixture);
  AddCalibrationShare(result, CalibrationShare(result, groups));
  if (withLcr) LastResult = result;
  if (withLcr && onText) onText(LcrText(result));
}

void TSignalIn::ComputeTransfer(TWaveData& block, bool swap, double loHz, double hiHz) {
  const size_t n = block[0].size();
  if (!UsableLength(n) || block[1].size() != n) return;
  ComputeTransferBins(block, swap, BinRangeOf(static_cast<int>(n), loHz, hiHz, SampleRate()));
}

void TSignalIn::LoadSettings(const platform::TIniFile& ini) {
  for (int c = 0; c < 2; ++c) {
    Saturation[c] = ini.ReadFloat(Section, "Saturation" + std::to_string(c), 0.9);
  }
  KeptSaturation = Saturation;
  // A missing or unreadable coefficient keeps the one in force, in its full precision; a set
  // whose curve would not stay finite, or is no card's, is refused whole.
  constexpr double Missing = std::numeric_limits<double>::quiet_NaN();
  TCalibrationPolys loaded = Poly;
  for (int j = 0; j < NormalSize; ++j) {
    for (int comp = 0; comp < 2; ++comp) {
      const double v = ini.ReadFloat(Section, PolynomKey(j, comp), Missing);
      if (std::isfinite(v)) loaded[comp][j] = v;
    }
  }
  // Polynomials saved without corners were fitted to the whole ratio: no coupling term then. A
  // corner that is present must be usable, and both must be there.
  TCouplingCorners corners{0, 0};
  const bool anyCorner = ini.ValueExists(Section, CornerKey(0)) || ini.ValueExists(Section, CornerKey(1));
  if (anyCorner) {
    for (int c = 0; c < 2; ++c) corners[c] = ini.ReadFloat(Section, CornerKey(c), Missing);
  }
  if (CalibrationStaysFinite(loaded, corners) && CalibrationLooksLikeACard(loaded, corners)) {
    Poly = loaded;
    Corners = corners;
    Spread = LoadSpread(ini, Poly);
  }
  Place = platform::LoadCalibrationPlace(ini, Section);
  EvaluateCalibration();
}

void TSignalIn::SaveSettings(platform::TIniFile& ini) const {
  for (int c = 0; c < 2; ++c) {
    ini.WriteFloat(Section, "Saturation" + std::to_string(c), Saturation[c]);
  }
  WriteCalibrationCurve(ini, Section, "", {Poly, Corners});
  platform::SaveCalibrationPlace(ini, Section, Place);
  SaveSpread(ini, Spread, Poly);
}

} // namespace sorvane
