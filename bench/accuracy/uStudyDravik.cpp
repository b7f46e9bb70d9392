// Dravik's readings of a box: its table, its block length, its analysis with a clock that runs
// with the audio.
#include "bench/accuracy/uStudyPrograms.h"

#include "dravik/audio/uTestSignals.h"
#include "dravik/measure/uLCRAnalysis.h"
#include "dravik/signal/uCalibrIn.h"
#include "platform/clock.h"
#include "platform/fixture.h"

namespace study {

namespace {

dravik::TDataMatrix BlockAt(const TStereo& in, size_t first, size_t n) {
  dravik::TDataMatrix block(2, dravik::TDataVector(n));
  for (size_t i = 0; i < n; ++i) {
    block[0][i] = in[2 * (first + i)];
    block[1][i] = in[2 * (first + i) + 1];
  }
  return block;
}

TReading ReadingOf(const dravik::TLCRFitResult& fit) {
  TReading r;
  r.R = static_cast<double>(fit.R);
  if (fit.Kind == dravik::TReactanceKind::Inductance) r.L = static_cast<double>(fit.Value);
  if (fit.Kind == dravik::TReactanceKind::Capacitance) r.C = static_cast<double>(fit.Value);
  if (fit.HasUncertainty) {
    r.UR = static_cast<double>(fit.UR);
    r.UX = static_cast<double>(fit.UValue);
  }
  return r;
}

dravik::TSignalTable MultiTone(uint32_t fs, uint32_t divisor) {
  dravik::TSignalTable table;
  dravik::MultiSinTable(fs, 1, 9, 1, divisor, table);
  return table;
}

} // namespace

TRun DravikReadings(const TBoxConfig& box, uint32_t fs, uint32_t divisor, int count,
                    dravik::TCalibrIn* calibration, const dravik::TInputResponse* response,
                    const platform::TFixture* fixture) {
  const dravik::TSignalTable table = MultiTone(fs, divisor);
  const size_t n = static_cast<size_t>(table.Frames);
  const std::vector<double> period(table.Signal[0].begin(), table.Signal[0].end());
  const double blockMs = 1000.0 * static_cast<double>(n) / fs;
  const size_t perReading = static_cast<size_t>(1000.0 / blockMs) + 2;
  const size_t blocks = 1 + perReading * static_cast<size_t>(count);
  const TStereo in = Record(box, fs, period, SettleFrames(box, fs), blocks * n);

  platform::TManualClock clock;
  dravik::TNoAnalysisOutput display;
  dravik::TLCRAnalysis analysis(display);
  analysis.SetRefResistance(box.Circuit.Rref);
  if (response) analysis.SetResponse(*response);
  if (fixture) analysis.SetFixture(*fixture);
  TRun run;
  double blockTotal = 0;
  for (size_t b = 0; b < blocks && static_cast<int>(run.Readings.size()) < count; ++b) {
    dravik::TDataMatrix block = BlockAt(in, b * n, n);
    if (calibration) calibration->Process(block);
    const platform::TDateTime before = analysis.LastResultTime();
    const int32_t accumulated = analysis.BlockCount() + 1;
    analysis.AnalyseBlock(block, fs, static_cast<unsigned>(n));
    clock.AdvanceMs(blockMs);
    if (analysis.LastResultTime() == before || b == 0) continue; // the first result is at once
    run.Readings.push_back(ReadingOf(analysis.LastFit()));
    blockTotal += accumulated;
  }
  run.BlocksPerReading = run.Readings.empty() ? 0 : blockTotal / run.Readings.size();
  TBoxConfig quiet = box;
  quiet.Card.NoiseOn = false;
  const TStereo clean = Record(quiet, fs, period, SettleFrames(box, fs), n, false);
  run.Sigma = MeasuredSigma(in, clean, n);
  run.Bound = CramerRao(clean, n, fs, box, run.Sigma, run.BlocksPerReading);
  return run;
}

void DravikFixtureStep(const TBoxConfig& box, uint32_t fs, int results, dravik::TCalibrIn& calibration,
                       const dravik::TInputResponse& response, platform::TFixture& fixture,
                       int step, double standardOhms) {
  const dravik::TSignalTable table = MultiTone(fs, 1024);
  const size_t n = static_cast<size_t>(table.Frames);
  const std::vector<double> period(table.Signal[0].begin(), table.Signal[0].end());
  const double blockMs = 1000.0 * static_cast<double>(n) / fs;
  const size_t blocks = 1 + (static_cast<size_t>(1000.0 / blockMs) + 2) * static_cast<size_t>(results + 1);
  const TStereo in = Record(box, fs, period, SettleFrames(box, fs), blocks * n);
  platform::TManualClock clock;
  dravik::TNoAnalysisOutput display;
  dravik::TLCRAnalysis analysis(display);
  analysis.SetRefResistance(box.Circuit.Rref);
  analysis.SetResponse(response);
  analysis.SetFixture(fixture);
  std::vector<platform::TFixtureComplex> sum(dravik::TLCRAnalysis::FrequencyCount);
  int seen = 0;
  for (size_t b = 0; b < blocks && seen < results + 1; ++b) {
    dravik::TDataMatrix block = BlockAt(in, b * n, n);
    calibration.Process(block);
    const platform::TDateTime before = analysis.LastResultTime();
    analysis.AnalyseBlock(block, fs, static_cast<unsigned>(n));
    clock.AdvanceMs(blockMs);
    if (analysis.LastResultTime() == before || b == 0) continue;
    // The first result may hold the inputs still settling, as in the window's step.
    if (++seen == 1) continue;
    for (size_t i = 0; i < sum.size(); ++i) {
      const dravik::TComplex& a = analysis.MeasuredAdmittances()[i];
      sum[i] += platform::TFixtureComplex(a.Re, a.Im) / static_cast<long double>(results);
    }
  }
  const platform::TCalibrationPlace place{"Virtual card", "Virtual card", fs};
  const auto kind = static_cast<platform::TFixtureStep>(step);
  if (kind == platform::TFixtureStep::Load)
    fixture.KeepLoad(place, static_cast<uint32_t>(n), sum, standardOhms, box.Circuit.Rref);
  else
    fixture.Keep(kind, place, static_cast<uint32_t>(n), sum);
}

void DravikCalibrate(const TBoxConfig& card, uint32_t fs, dravik::TCalibrIn& calibration) {
  const TBoxConfig shorted = platform::vmbox::ShortedBox(card.Card);
  const size_t settle = SettleFrames(shorted, fs);
  const size_t offsetFrames = fs / 5;
  const TStereo silent = Record(shorted, fs, {0.0}, settle, offsetFrames);
  dravik::TDataMatrix block = BlockAt(silent, 0, offsetFrames);
  calibration.OffsetBlock(block);
  dravik::TSignalTable trapezium;
  dravik::TrapeziumTable(fs, 1, 0.0001L, 0.001L, trapezium);
  const size_t period = static_cast<size_t>(trapezium.Frames);
  const size_t frames = period * (fs / 2 / period);
  const std::vector<double> table(trapezium.Signal[0].begin(), trapezium.Signal[0].end());
  const TStereo played = Record(shorted, fs, table, settle, frames);
  block = BlockAt(played, 0, frames);
  calibration.RefChannel = 0;
  calibration.AmplitudeBlock(block);
}

dravik::TInputResponse DravikResponse(const TBoxConfig& card, uint32_t fs,
                                      dravik::TCalibrIn& calibration) {
  const TBoxConfig shorted = platform::vmbox::ShortedBox(card.Card);
  const dravik::TSignalTable table = MultiTone(fs, 1024);
  const size_t n = static_cast<size_t>(table.Frames);
  const std::vector<double> period(table.Signal[0].begin(), table.Signal[0].end());
  dravik::TResponseMeter meter;
  meter.Start(fs, static_cast<unsigned>(n));
  const TStereo in = Record(shorted, fs, period, SettleFrames(shorted, fs),
                            static_cast<size_t>(meter.BlocksNeeded()) * n);
  for (size_t b = 0; b < static_cast<size_t>(meter.BlocksNeeded()); ++b) {
    dravik::TDataMatrix block = BlockAt(in, b * n, n);
    calibration.Process(block);
    meter.AddBlock(block);
  }
  dravik::TInputResponse response;
  meter.Result(response);
  return response;
}

} // namespace study
