// Sorvane's readings of a box: its test signal, blocks of one signal period averaged as the
// hand-off averages them (with each block's spectrum gathered into the scatter beside the
// sum), its transform, its correction and its weighted impedance fit.
#include "bench/accuracy/uStudyPrograms.h"

#include "sorvane/analysis/uBinNoise.h"
#include "sorvane/analysis/uCalibrationFit.h"
#include "sorvane/analysis/uCalibrationSpread.h"
#include "sorvane/numeric/uFFT.h"
#include "sorvane/analysis/uImpedance.h"
#include "sorvane/engine/uTestSignal.h"

#include <cmath>
#include <cstdlib>

namespace study {

namespace {

constexpr double CalLoHz = 20, CalHiHz = 22000; // the window's calibration range
constexpr double Level = 0.7 * 0.9;             // where the level control settles
// The hand-offs of a calibration run: about four seconds on the shorted jig, as the guide asks.
// The hand-offs of the shorted jig a calibration averages: 12 (4 s), or STUDY_CALIBRATION
// hand-offs, to see what a calibration left running longer gives.
int CalibrationHandOffs() {
  const char* text = std::getenv("STUDY_CALIBRATION");
  const int n = text ? std::atoi(text) : 0;
  return n > 0 ? n : 12;
}

int BlockFrames(uint32_t fs) { return 2048 * static_cast<int>(fs / 48000); }
// The hand-off passes a block on at the first block that ends 300 ms or more after the last
// one: 8 blocks of 2048 frames at 48 kHz.
int BlocksPerHandOff(uint32_t fs) {
  return static_cast<int>(std::ceil(0.3 * fs / BlockFrames(fs)));
}

std::vector<double> Signal(int n, uint32_t fs, double lo, double hi) {
  const sorvane::TBinRange bins = sorvane::BinRangeOf(n, lo, hi, fs);
  std::vector<double> x(static_cast<size_t>(n));
  sorvane::GenerateTestSignal(x.data(), n, bins.Lo, bins.Hi, Level);
  return x;
}

// The packed spectra of `blocks` consecutive blocks averaged, from frame `first` on; with
// moments, each block is also added to them.
sorvane::TWaveData SummedSpectra(const TStereo& in, size_t first, int n, int blocks,
                                 sorvane::TSpectrumMoments* moments = nullptr) {
  sorvane::TWaveData wave, one;
  sorvane::SetWaveLength(wave, static_cast<size_t>(n));
  sorvane::SetWaveLength(one, static_cast<size_t>(n));
  if (moments) moments->Clear();
  for (int b = 0; b < blocks; ++b) {
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < 2; ++c) {
        one[c][i] = in[2 * (first + static_cast<size_t>(b * n + i)) + c];
        wave[c][i] += one[c][i] / blocks;
      }
    if (moments) moments->AddBlock(one[0], one[1]);
  }
  for (auto& channel : wave) sorvane::RealFFT(channel.data(), n, true);
  return wave;
}

sorvane::TComplexArray AsArray(const std::vector<double>& re, const std::vector<double>& im) {
  sorvane::TComplexArray a(re.size());
  for (size_t k = 0; k < a.size(); ++k) a[k] = {re[k], im[k]};
  return a;
}

sorvane::TComplexArray AsArray(const TSorvaneCalibration& cal) { return AsArray(cal.Re, cal.Im); }

std::vector<sorvane::TComplexArray> SpreadCurves(const TSorvaneCalibration& cal) {
  std::vector<sorvane::TComplexArray> curves;
  for (size_t g = 0; g < cal.SpreadRe.size(); ++g)
    curves.push_back(AsArray(cal.SpreadRe[g], cal.SpreadIm[g]));
  return curves;
}

void Correct(sorvane::TWaveData& wave, const TSorvaneCalibration& cal) {
  for (size_t k = 1; k < cal.Re.size(); ++k) {
    const sorvane::TComplexD z = sorvane::BinAt(wave[1].data(), static_cast<int>(k));
    sorvane::SetBin(wave[1].data(), static_cast<int>(k),
                    sorvane::CMul(z, sorvane::TComplexD{cal.Re[k], cal.Im[k]}));
  }
}

} // namespace

TRun SorvaneReadings(const TBoxConfig& box, uint32_t fs, int count,
                     const TSorvaneCalibration& calibration, TBand band) {
  const int n = BlockFrames(fs), perReading = BlocksPerHandOff(fs);
  const std::vector<double> period = Signal(n, fs, band.LoHz, band.HiHz);
  const size_t frames = static_cast<size_t>(n) * perReading * static_cast<size_t>(count);
  const TStereo in = Record(box, fs, period, SettleFrames(box, fs), frames);
  const sorvane::TBinRange bins = sorvane::BinRangeOf(n, band.LoHz, band.HiHz, fs);
  TRun run;
  for (int r = 0; r < count; ++r) {
    sorvane::TSpectrumMoments moments;
    sorvane::TWaveData wave = SummedSpectra(in, static_cast<size_t>(r * perReading * n), n,
                                            perReading, &moments);
    Correct(wave, calibration);
    const sorvane::TNoiseSpectrum noise = sorvane::NoiseSpectrumOf(moments, AsArray(calibration));
    const std::vector<sorvane::TLcrResult> groups = sorvane::SpreadResults(
        wave, AsArray(calibration), SpreadCurves(calibration), false, bins, box.Circuit.Rref, fs,
        noise);
    const sorvane::TLcrResult lcr =
        sorvane::ComputeImpedanceBins(wave, false, bins, box.Circuit.Rref, true, fs, noise);
    const sorvane::TCalibrationShare share = sorvane::CalibrationShare(lcr, groups);
    run.Readings.push_back({lcr.R, lcr.L, lcr.C, lcr.UR, lcr.L > 0 ? lcr.UL : lcr.UC, lcr.T,
                            share.UR, share.UValue});
  }
  run.BlocksPerReading = perReading;
  TBoxConfig quiet = box;
  quiet.Card.NoiseOn = false;
  const TStereo clean = Record(quiet, fs, period, SettleFrames(box, fs), static_cast<size_t>(n),
                               false);
  run.Sigma = MeasuredSigma(in, clean, static_cast<size_t>(n));
  run.Bound = CramerRao(clean, static_cast<size_t>(n), fs, box, run.Sigma, perReading);
  return run;
}

double SorvaneTrueTangent(const platform::vmbox::TCircuit& circuit, uint32_t fs, TBand band) {
  const int n = BlockFrames(fs);
  const sorvane::TBinRange bins = sorvane::BinRangeOf(n, band.LoHz, band.HiHz, fs);
  sorvane::TLcrResult model;
  model.R = circuit.R, model.L = circuit.L, model.C = circuit.C;
  double sum = 0;
  for (int k = bins.Lo; k <= bins.Hi; ++k)
    sum += circuit.R / std::fabs(sorvane::ModelReactance(model, 2 * M_PI * k * fs / n));
  return sum / (bins.Hi - bins.Lo + 1);
}

TSorvaneCalibration SorvaneCalibrate(const TBoxConfig& card, uint32_t fs) {
  TBoxConfig shorted = platform::vmbox::ShortedBox(card.Card);
  const int n = BlockFrames(fs), perReading = BlocksPerHandOff(fs);
  const std::vector<double> period = Signal(n, fs, CalLoHz, CalHiHz);
  const TStereo in = Record(shorted, fs, period, SettleFrames(shorted, fs),
                            static_cast<size_t>(n * perReading * CalibrationHandOffs()));
  // The ratio averaged over the run's hand-offs, as the program averages it.
  sorvane::TRatioAverage average;
  for (int h = 0, handOffs = CalibrationHandOffs(); h < handOffs; ++h) {
    const sorvane::TWaveData wave = SummedSpectra(in, static_cast<size_t>(h * perReading * n), n, perReading);
    average.Add(wave[0].data(), wave[1].data(), n / 2);
  }
  sorvane::TComplexArray ratio(static_cast<size_t>(n / 2));
  average.MeanInto(ratio);
  const sorvane::TBinRange bins = sorvane::BinRangeOf(n, CalLoHz, CalHiHz, fs);
  const int center = (bins.Lo + bins.Hi) / 2, half = center - bins.Lo;
  sorvane::TNormalMatrix normal{};
  sorvane::PrepareFit(normal, half);
  const double binHz = static_cast<double>(fs) / n;
  // As the program calibrates: the inputs' coupling corners, then the polynomials on the rest.
  sorvane::TCalibrationPolys poly = sorvane::IdentityCalibration();
  sorvane::TCouplingCorners corners{0, 0};
  sorvane::FitCalibration(normal, ratio, center, half, binHz, poly, corners);
  const sorvane::TCalibrationSpread spread =
      sorvane::FitSpread(average, normal, center, half, binHz, ratio.size());
  TSorvaneCalibration cal;
  const auto keep = [](const sorvane::TComplexArray& curve, std::vector<double>& re,
                       std::vector<double>& im) {
    for (const auto& z : curve) re.push_back(z.Re), im.push_back(z.Im);
  };
  sorvane::EvaluateCalibration(poly, corners, ratio, binHz);
  keep(ratio, cal.Re, cal.Im);
  for (const sorvane::TCalibrationCurve& group : spread) {
    sorvane::TComplexArray curve(ratio.size(), sorvane::COne);
    sorvane::EvaluateCalibration(group.Poly, group.Corners, curve, binHz);
    keep(curve, cal.SpreadRe.emplace_back(), cal.SpreadIm.emplace_back());
  }
  return cal;
}

} // namespace study
