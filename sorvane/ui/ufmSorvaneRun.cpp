// TForm1's run control: start and stop, the two calibration steps, the output level, the modes
// and graph options, and the drawing of each block with the request for the next one.

#include <QAbstractButton>
#include <cmath>

#include "sorvane/analysis/uImpedance.h"
#include "platform/advice.h"
#include "platform/gui/uChartView.h"
#include "sorvane/analysis/uMeasuredCurve.h"
#include "sorvane/ui/uExportBar.h"
#include "sorvane/ui/uLcrCurves.h"
#include "sorvane/ui/uResolution.h"
#include "sorvane/ui/uSorvaneChart.h"
#include "sorvane/ui/ufmSorvane.h"
#include "sorvane/ui/ufrSpRange.h"
#include "sorvane/ui/ufrValues.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

constexpr double ToneHz = 440;
constexpr double CalibrationLoHz = 20, CalibrationHiHz = 22000;
constexpr double TopHz = 22000;

QString FromText(const std::string& text) {
  QString t = QString::fromStdString(text);
  t.replace("\r\n", "\n");
  return t;
}

// Phase in degrees within (-180, 180].
double PhaseDegrees(double re, double im) {
  const double deg = std::atan2(im, re) * 180 / M_PI;
  return deg <= -180 ? deg + 360 : deg;
}

} // namespace

// The range selector keeps the steps of the standard block whatever the resolution.
void TForm1::SamplingChanged(int /*rate*/) {
  FBlockLen = BlockLengthOf(frWaveSetup1->SamplingRate(), frWaveSetup1->ResolutionFactor());
  frSpRange1->SetFullRange(FullRangeLo(), FullRangeHi());
}

// The range chosen stays: only the bins get finer or coarser, and a finer grid lets the range
// reach down to its own first bin (a woofer's resonance lies below the standard grid's 23 Hz).
void TForm1::ResolutionChanged() {
  FBlockLen = BlockLengthOf(frWaveSetup1->SamplingRate(), frWaveSetup1->ResolutionFactor());
  const double lo = FRangeLo, hi = FRangeHi;
  frSpRange1->SetFullRange(FullRangeLo(), FullRangeHi());
  if (hi > lo) frSpRange1->SetRange(lo, hi);
}

// The standard grid's first bin, in whole hertz as the range has always shown it; a longer
// block's first bin, at 1 Hz at least.
double TForm1::FullRangeLo() const {
  const int r = frWaveSetup1->SamplingRate();
  const int standard = StandardBlockLength(r);
  if (FBlockLen <= standard) return std::max(1, r / standard);
  return std::max(1.0, static_cast<double>(r) / FBlockLen);
}

double TForm1::FullRangeHi() const {
  const int r = frWaveSetup1->SamplingRate();
  const int standard = StandardBlockLength(r);
  return std::min(static_cast<double>(std::max(1, r / standard)) * (standard / 2 - 1), TopHz);
}

// The LCR result of another range no longer holds.
void TForm1::RangeChanged(double lo, double hi) {
  ClearResults();
  FWaveOut->SetSignal(FBlockLen, FLevel, lo, hi);
  FRangeLo = lo;
  FRangeHi = hi;
}

void TForm1::SetModeItem(int item) {
  if (QAbstractButton* button = rgModeItems->button(item)) button->setChecked(true);
  rgModeClick();
}

void TForm1::rgModeClick() {
  const int i = ModeItem();
  gbCalibration->setVisible(i == 0);
  gbGraph->setVisible(i != 0);
  gbLCR->setVisible(i == 2);
  SeriesChart->SetLegendVisible(i == 2);
  pnRref->setVisible(i == 1 || i == 2);
  lbCalibration->clear();
  if (i == 0) lbCalibrationPlace->setVisible(false);
  ClearResults(); // a result of another mode, or from before a calibration, no longer holds
  pnFixture->setVisible(i == 1 || i == 2);
  if (i > 0) {
    ApplyGraphOptions();
    frSpRange1->setVisible(true);
    FLastMode = i;
  } else {
    FSignalIn->Averaging = false;
    SetDrawAllPoints(true);
    frSpRange1->setVisible(false);
  }
}

void TForm1::ApplyGraphOptions() {
  FSignalIn->Averaging = true;
  cbModPhClick();
  cbDrawAllClick();
  cbLeftForAllClick();
  cbLogFClick();
}

void TForm1::cbModPhClick() {
  FShowModPhase = cbModPh->isChecked();
  if (FShowModPhase) SeriesChart->SetTitles("Module", "Phase", {"Module", "Phase", "|Zx|", "Phase Zx"});
  else SeriesChart->SetTitles("Re", "Im", {"Re", "Im", "R", "L/C"});
  ShowUnits();
}

// Impedances in ohms, phases in degrees; the transfer ratio, the spectra of the level check and
// the channel ratio of the calibration fit have no unit.
void TForm1::ShowUnits() {
  const int mode = ModeItem();
  const QString value = mode == 1 || mode == 2 ? "Ohm" : "";
  const QString second = FShowModPhase && FDrawStyle != 3 ? "°" : value;
  SeriesChart->SetUnits(value, second);
}

void TForm1::cbLCRCurveChange() {
  if (DrawsBinCurve()) SeriesChart->SetCurveAxis(true, cbLCRCurve->currentText(), "");
}

bool TForm1::DrawsBinCurve() const { return ModeItem() == 2 && FDrawStyle == 2 && !FShowModPhase; }

// L(f) when the fit found an inductance (or, without one, when most bins are inductive).
QList<QPointF> TForm1::BinCurve(const std::array<QList<QPointF>, 4>& points) {
  const TLcrResult& fit = FSignalIn->LastLcr();
  int inductiveBins = 0;
  for (const QPointF& p : points[1]) inductiveBins += p.y() > 0 ? 1 : -1;
  const bool inductive = fit.L > 0 || (!(fit.C > 0) && inductiveBins >= 0);
  const TBinCurve curve =
      LcrCurve(static_cast<TLcrCurve>(cbLCRCurve->currentIndex()), points[0], points[1], inductive);
  SeriesChart->SetCurveAxis(true, curve.Quantity, curve.Unit);
  return curve.Points;
}

void TForm1::cbDrawAllClick() { SetDrawAllPoints(cbDrawAll->isChecked()); }
void TForm1::cbLeftForAllClick() { SetLeftAxisForAll(cbLeftForAll->isChecked()); }
// The range bar follows the chart's frequency scale.
void TForm1::cbLogFClick() {
  SeriesChart->SetBottomLog(cbLogF->isChecked());
  frSpRange1->SetLogarithmic(cbLogF->isChecked());
}

void TForm1::SetDrawAllPoints(bool flag) { SeriesChart->SetDrawAllPoints(flag); }
void TForm1::SetLeftAxisForAll(bool flag) { SeriesChart->SetLeftForAll(flag); }

void TForm1::ChartClickAxis(bool rightAxis) {
  SeriesChart->SetLeftGrid(!rightAxis);
  SeriesChart->SetRightGrid(rightAxis);
}

void TForm1::ClearSeries() {
  SeriesChart->Clear();
  AwaitingPaint = {};
}

void TForm1::btnStartStopClick() {
  if (FRunning) {
    FSignalIn->Stop();
    FWaveOut->Stop();
    FRunning = false;
    btnStartStop->setText("Start");
    ShowSaturation(false);
    if (FFixtureStep) {
      // Stopped by the user before the step had its blocks: nothing is kept.
      FFixtureStep.reset();
      ShowFixtureStatus("Stopped before the step had measured: the fixture stays as it was.", true);
      frSpRange1->SetRange(FUserLo, FUserHi);
    }
    if (ModeItem() == 0 && !SeriesChart->LeftLog()) {
      if (FSignalIn->CalibrationFitted()) FSignalIn->Place = PlaceInUse();
      // The calibration fit had been started with "Continue": back to the last measuring mode.
      SetModeItem(FLastMode);
      SeriesChart->SetLeftLog(false);
      ApplyGraphOptions();
    }
    AfterStartStop();
    return;
  }
  const std::string missing = frWaveSetup1->MissingDevices();
  if (!missing.empty()) {
    ShowError(missing + "\r\nMeasuring is not possible.");
    AfterStartStop();
    return;
  }
  // A stop completes on the device threads: the settings below take effect only on idle devices.
  AwaitDevicesIdle();
  FWaveOut->SetDeviceID(static_cast<UINT>(frWaveSetup1->OutputDevice()));
  FSignalIn->SetDeviceID(static_cast<UINT>(frWaveSetup1->InputDevice()));
  FSignalIn->SetSampleRate(static_cast<DWORD>(frWaveSetup1->SamplingRate()));
  FWaveOut->SetSampleRate(FSignalIn->SampleRate());
  FSignalIn->SetBlockLength(FBlockLen);
  const int mode = ModeItem();
  if (mode > 0) {
    FWaveOut->SetSignal(FBlockLen, FLevel, frSpRange1->RangeMin(), frSpRange1->RangeMax());
    FSignalIn->StartMeasurement();
    FDrawStyle = mode == 2 ? 2 : 1;
    SeriesChart->SetLeftLog(false);
    ShowCalibrationPlace();
    if (!FFixtureStep) WarnOfFixture();
  } else {
    FLevel = 1;
    FWaveOut->SetSignal(FBlockLen, 1, ToneHz, ToneHz);
    FSignalIn->StartLevelCheck([this](const std::string& text) { ShowCalibrationStatus(text); },
                               ToneHz);
    FDrawStyle = 3;
    ClearSeries();
    SeriesChart->SetLeftLog(true);
    SeriesChart->SetBottomLog(true);
    SetLeftAxisForAll(true);
  }
  if (FWaveOut->Start() && FSignalIn->Start()) {
    btnStartStop->setText("Stop");
    FRunning = true;
  } else {
    FSignalIn->Stop();
    FWaveOut->Stop();
  }
  AfterStartStop();
}

// The run ends as Stop ends it, before a block of silence (or of nothing) can reach the
// calibration; the message follows once the device thread that reported the loss has gone on.
// A device goes away when it is unplugged or its sound server ends, which the last sentence says.
void TForm1::DeviceLost(const std::string& text) {
  if (!FRunning) return;
  btnStartStopClick();
  const std::string message =
      platform::WithAdvice(text + "\r\nMeasuring has stopped.", MMSYSERR_NODRIVER);
  QMetaObject::invokeMethod(this, [this, message] { ShowError(message); }, Qt::QueuedConnection);
}

void TForm1::AfterStartStop() {
  frWaveSetup1->SetDevicesEnabled(!FRunning);
  rgMode->setEnabled(!FRunning);
  EnableFixtureSteps(!FRunning);
  btnCalibration->setVisible(FRunning);
}

// "Continue" after a level check that did not hear its tone, or heard it unlike on the two
// inputs, ends the run instead: the status says what is wrong, the calibration in force stays.
void TForm1::btnCalibrationClick() {
  const std::string refusal = FSignalIn->LevelCheckRefusal();
  if (!refusal.empty()) {
    FSignalIn->PutBackSaturation();
    btnStartStopClick();
    ShowCalibrationStatus(refusal);
    return;
  }
  ClearSeries();
  FWaveOut->SetSignal(FBlockLen, FLevel, CalibrationLoHz, CalibrationHiHz);
  FSignalIn->StartCalibration(CalibrationLoHz, CalibrationHiHz);
  SeriesChart->SetLeftLog(false);
  SeriesChart->SetBottomLog(false);
  FDrawStyle = 2;
  SetLeftAxisForAll(false);
  btnCalibration->setVisible(false);
  FSignalIn->Averaging = true;
}

void TForm1::AdjustLevel(double factor) {
  if (FLevel * factor > 1) {
    if (FLevel == 1) return;
    FLevel = 1;
  } else {
    FLevel = std::min(FLevel * factor, 1.0);
  }
  if (ModeItem() == 0) FWaveOut->SetSignal(FBlockLen, FLevel, CalibrationLoHz, CalibrationHiHz);
  else FWaveOut->SetSignal(FBlockLen, FLevel, FRangeLo, FRangeHi);
}

void TForm1::ShowSaturation(bool flag) { lbSaturation->setVisible(flag); }

platform::TCalibrationPlace TForm1::PlaceInUse() const {
  return platform::PlaceOfDevices(static_cast<unsigned>(frWaveSetup1->InputDevice()),
                                  static_cast<unsigned>(frWaveSetup1->OutputDevice()),
                                  static_cast<unsigned>(frWaveSetup1->SamplingRate()));
}

// A calibration corrects the inputs it was measured on, at its rate: measuring on others works,
// and the label says what it costs until the user calibrates again.
void TForm1::ShowCalibrationPlace() {
  const std::string warning = platform::CalibrationPlaceWarning(FSignalIn->Place, PlaceInUse());
  lbCalibrationPlace->setText(QString::fromStdString(warning));
  lbCalibrationPlace->setVisible(!warning.empty());
}

void TForm1::ShowCalibrationStatus(const std::string& text) { lbCalibration->setText(FromText(text)); }

void TForm1::ShowLCRResult(const std::string& text) { memLCRRes->setPlainText(FromText(text)); }

void TForm1::BlockReady(TWaveData& block) {
  const int mode = ModeItem();
  const bool swap = frWaveSetup1->cbSwap->isChecked();
  const std::vector<double> variances = ExportVariances(block, swap);
  if (mode == 1 || mode == 2) {
    if (FFixtureStep) FixtureBlock(block, swap);
    FSignalIn->ComputeImpedance(block, swap, FRangeLo, FRangeHi, frRref->Value(), mode == 2,
                                [this](const std::string& text) { ShowLCRResult(text); });
    if (mode == 2) ShowMeter();
  } else if (mode == 3) {
    FSignalIn->ComputeTransfer(block, swap, FRangeLo, FRangeHi);
  }
  DrawBlock(block);
  TakeExportCurve(block, variances);
}

// The curve for "Export...": the bins' variances are read before the impedance or the transfer
// ratio replaces the spectra (ExportVariances), the curve itself after (TakeExportCurve).
TBinRange TForm1::ExportBins(int n) const {
  return BinRangeOf(n, FRangeLo, FRangeHi, FSignalIn->SampleRate());
}

std::vector<double> TForm1::ExportVariances(const TWaveData& block, bool swap) const {
  const int n = static_cast<int>(block[0].size());
  if (ModeItem() == 0 || n < 4) return {};
  return RatioVariances(block, FSignalIn->Noise, swap, ExportBins(n), ModeItem() == 3);
}

void TForm1::TakeExportCurve(const TWaveData& block, const std::vector<double>& variances) {
  const int n = static_cast<int>(block[0].size());
  if (ModeItem() == 0 || n < 4) return ExportBar->ClearCurve();
  const bool transfer = ModeItem() == 3;
  const double rref = frRref->Value();
  ExportBar->TakeCurve(CurveOfBins(block, ExportBins(n), static_cast<double>(FSignalIn->SampleRate()) / n, variances,
                                   transfer ? 1 : rref),
                       transfer ? TCurveKind::Transfer : TCurveKind::Impedance, rref);
}

// A block longer than the standard one draws its curves with the points per octave chosen for
// the export (tens of thousands of bins would crowd the chart, most of them in the top octave);
// the standard block, and the level check's spectra, keep every bin.
bool TForm1::ThinsTheChart(bool calibrating) const {
  return !calibrating && FDrawStyle != 3 && ExportBar->PerOctave() > 0 &&
         FBlockLen > StandardBlockLength(frWaveSetup1->SamplingRate());
}

QList<QPointF> ThinnedPoints(const QList<QPointF>& points, int perOctave) {
  std::vector<TCurvePoint> curve;
  curve.reserve(static_cast<size_t>(points.size()));
  for (const QPointF& p : points) curve.push_back({p.x(), {p.y(), 0}, 0});
  QList<QPointF> thinned;
  for (const TCurvePoint& p : ThinPerOctave(std::move(curve), perOctave)) thinned.append(QPointF(p.F, p.Value.Re));
  return thinned;
}

void TForm1::DrawBlock(const TWaveData& block) {
  ClearSeries();
  FPendingDraws = 0;
  const int n = static_cast<int>(block[0].size());
  if (n < 4 || block[1].size() != block[0].size()) return;
  const double fs = FSignalIn->SampleRate();
  const double df = fs / n;
  const bool calibrating = ModeItem() == 0;
  const TBinRange bins = BinRangeOf(n, calibrating ? CalibrationLoHz : FRangeLo,
                                    calibrating ? CalibrationHiHz : FRangeHi, fs);
  std::array<QList<QPointF>, 4> points;
  const auto bin = [&](int c, int k) { return std::pair(block[c][2 * k], block[c][2 * k + 1]); };
  if (FDrawStyle == 1 || FDrawStyle == 2) {
    const int channels = FDrawStyle == 2 ? 2 : 1;
    for (int c = 0; c < channels; ++c) {
      FPendingDraws += 2;
      for (int k = bins.Lo; k <= bins.Hi; ++k) {
        const auto [re, im] = bin(c, k);
        const double a = FShowModPhase ? std::hypot(re, im) : re;
        const double b = FShowModPhase ? PhaseDegrees(re, im) : im;
        points[2 * c].append({k * df, a});
        points[2 * c + 1].append({k * df, b});
      }
    }
  } else if (FDrawStyle == 3) {
    for (int c = 0; c < 2; ++c) {
      FPendingDraws += 1;
      for (int k = bins.Lo; k <= bins.Hi; ++k) {
        const auto [re, im] = bin(c, k);
        points[c].append({k * df, std::hypot(re, im)});
      }
    }
  }
  if (DrawsBinCurve()) points[3] = BinCurve(points);
  else SeriesChart->SetCurveAxis(false, QString(), QString());
  if (ThinsTheChart(calibrating))
    for (auto& series : points) series = ThinnedPoints(series, ExportBar->PerOctave());
  ShowUnits();
  // Only series with points paint; an empty one (no L or C to show) must not hold the next block.
  FPendingDraws = 0;
  for (int i = 0; i < 4; ++i) {
    SeriesChart->SetPoints(i, points[i]);
    AwaitingPaint[i] = !points[i].isEmpty();
    FPendingDraws += AwaitingPaint[i] ? 1 : 0;
  }
  SeriesChart->Rescale();
  Chart->viewport()->update();
}

// The chart has painted: every series filled for this block has been drawn.
void TForm1::ChartPainted() {
  for (int i = 0; i < 4; ++i) {
    if (!AwaitingPaint[i]) continue;
    AwaitingPaint[i] = false;
    SeriesDrawn();
  }
}

void TForm1::SeriesDrawn() {
  if (FPendingDraws <= 0) return;
  if (--FPendingDraws == 0) FSignalIn->RequestNext();
}

} // namespace sorvane
