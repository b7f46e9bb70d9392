// Running the instrument: the run mode, the four meanings of Start, the measurement run, the
// calibration sequence (offset run, then amplitude run), the capture indications, and the level
// handlers that keep the signal within the usable range by moving attenuator steps.

#include "dravik/ui/uDravik.h"

#include "dravik/ui/uRadioGroup.h"
#include "platform/clock.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace dravik {
namespace {

constexpr int32_t OtherChannel(int32_t Channel) { return Channel == 0 ? 1 : 0; }
// Only the output's left channel drives the measuring circuit; the right one is left alone.
constexpr int32_t DrivingOutput = 0;

// The trapezium of the amplitude run.
constexpr long double RiseTime = 0.0001L;
constexpr long double FlatTime = 0.001L;
// How often a Start clicked during a stop looks whether the devices have closed.
constexpr int IdlePollMs = 5;

// Ends the run in progress, as its Stop button does, once the notice being handled is done: a
// device that failed, or a capture that ended unasked, leaves nothing to run, and the window
// must not go on waiting for blocks or showing a run that no longer exists.
void EndRunLater(TfmLCR* Window) {
  QTimer::singleShot(0, Window, [Window] {
    if (Window->RunInProgress())
      Window->btnStopMeasurementClick();
    else if (Window->CalibrationInProgress())
      Window->btnStopCalibrationClick();
    else
      return;
    // A capture that is already closed sends no close notice to end the indications.
    if (Window->SignalIn && !Window->SignalIn->WaveIn->Active) Window->OnStop();
  });
}

// The highest step of a channel that saturated in this run; -1 for none (or another channel).
int32_t SaturatedStep(const std::array<int32_t, 2>& Steps, int32_t Channel) {
  return Channel == 0 || Channel == 1 ? Steps[static_cast<size_t>(Channel)] : -1;
}

void NoteSaturation(std::array<int32_t, 2>& Steps, int32_t Channel, int32_t Step) {
  if (Channel == 0 || Channel == 1)
    Steps[static_cast<size_t>(Channel)] = std::max(Steps[static_cast<size_t>(Channel)], Step);
}

void EndRunOnDeviceFailure(TfmLCR* Window) {
  Window->SignalIn->SetOnFailed([Window](void*) { EndRunLater(Window); });
  Window->SignalOut->SetOnFailed([Window](void*) { EndRunLater(Window); });
}

} // namespace

void TfmLCR::rgRunModeClick() {
  const int mode = rgRunMode->ItemIndex();
  if (mode != 0 && mode != 1) return;
  const bool calibration = mode == 0;
  SetStartClick(calibration ? &TfmLCR::btnStartCalibrationClick
                            : &TfmLCR::btnStartMeasurementClick);
  Circuit->SetCalibrationMode(calibration);
  ClearResults();
  lblR->setVisible(!calibration);
  lblZ->setVisible(!calibration);
  lblReadout->setVisible(!calibration);
  for (QWidget* meter : std::initializer_list<QWidget*>{cbTestFrequency, cbEquivalent, lblMeter})
    meter->setVisible(!calibration);
}

void TfmLCR::OnStart() {
  QPalette led = shLED->palette();
  led.setColor(QPalette::Window, Qt::red);
  shLED->setPalette(led);
  btnStart->setText("Stop");
  rgRunMode->setEnabled(false);
  EnableFixtureSteps(false);
  cbIn->setEnabled(false);
  cbOut->setEnabled(false);
  // Every step of a calibration's run opens the capture anew.
  if (CalibrationInProgress()) ShowCalibrationProgress();
  // A stop that came while the devices were still opening found nothing to stop; the capture
  // (and the playback that started before it) must not run on unwanted.
  if (!RunInProgress() && !CalibrationInProgress()) StopChains();
}

void TfmLCR::OnStop() {
  QPalette led = shLED->palette();
  led.setColor(QPalette::Window, palette().color(QPalette::Button));
  shLED->setPalette(led);
  btnStart->setText("Start");
  rgRunMode->setEnabled(true);
  EnableFixtureSteps(true);
  cbIn->setEnabled(true);
  cbOut->setEnabled(true);
  // A measurement's capture ends only when asked to, unless the device failed.
  if (RunInProgress()) EndRunLater(this);
}

void TfmLCR::StopChains() {
  if (SignalIn) SignalIn->Stop();
  if (SignalOut) SignalOut->Stop();
}

// A stop completes only when both devices have closed; a run started before then would find
// them busy, and their close notices would end it or move it on. The start waits for them and
// is given up when another Start or Stop has been clicked meanwhile. True while waiting.
bool TfmLCR::StartWhenIdle(TClickHandler Start) {
  StopChains();
  if (SignalIn->Idle() && SignalOut->Idle()) {
    FPendingStart = nullptr;
    return false;
  }
  FPendingStart = Start;
  QTimer::singleShot(IdlePollMs, this, [this, Start] {
    if (FPendingStart == Start && StillStarts(Start)) (this->*Start)();
  });
  return true;
}

namespace {
double NowSeconds() { return platform::Now() * 86400.0; }

std::string SecondsText(double Seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", Seconds);
  return text;
}

// A capture that is opening or running owes the window buffers; between a calibration's steps
// it is stopped on purpose and owes none.
bool CaptureDueBuffers(TCaptureState State) {
  return State == TCaptureState::Opening || State == TCaptureState::Running ||
         State == TCaptureState::Resynchronising;
}

// The watch looks four times a second; a look that comes later than this found the window busy
// (a long computation), and buffers returned meanwhile may still wait in its queue.
constexpr qint64 LateLookMs = 1000;
} // namespace

TWatchTime TfmLCR::RunWatchTime() const {
  return {NowSeconds(), static_cast<double>(FRunWatchClock.elapsed()) / 1000.0};
}

void TfmLCR::WatchRun() {
  FRunWatchClock.start();
  FRunWatch.Begin(SignalIn->WaveIn->ReturnedBuffers(), RunWatchTime());
  FLastRunWatchLookMs = 0;
  RunWatchTimer->start();
}

void TfmLCR::CheckRunWatch() {
  if (!SignalIn || !SignalIn->WaveIn || (!RunInProgress() && !CalibrationInProgress())) {
    FRunWatch.End();
    RunWatchTimer->stop();
    return;
  }
  const TWaveIn& in = *SignalIn->WaveIn;
  const double limit = StalledCaptureSeconds(in.BlockSize, in.SampleRate());
  const qint64 lookMs = FRunWatchClock.elapsed();
  const bool inTime = lookMs - FLastRunWatchLookMs <= LateLookMs;
  FLastRunWatchLookMs = lookMs;
  const bool counting = inTime && CaptureDueBuffers(in.State());
  if (!FRunWatch.Stalled(in.ReturnedBuffers(), counting, RunWatchTime(), limit)) return;
  RunWatchTimer->stop();
  AddMessage("No data from the input device for " + SecondsText(limit) +
                 " s: the run is stopped. Check that no other program holds the device and that "
                 "its sound server runs, then Start again.",
             false);
  EndRunLater(this);
}

void TfmLCR::SetAllOutputAttenuations(int32_t Step) {
  for (int32_t c = 0; c < SignalOut->ChannelCount(); ++c) SignalOut->SetAttenuation(c, Step);
}

// ---- Measurement ----

void TfmLCR::btnStartMeasurementClick() {
  if (!SignalIn || !SignalOut) return;
  if (StartWhenIdle(&TfmLCR::btnStartMeasurementClick)) return;
  EndRunOnDeviceFailure(this);
  ForgetSaturations();
  cbBitsSamplingChange(); // the format the lists show, as for a calibration
  AddMessage("Start measurement...", true);
  SetAllOutputAttenuations(0);
  // Both devices run at the lower of their two rates.
  if (SignalIn->GetSamplingRate() < SignalOut->GetSamplingRate())
    SignalOut->SetSamplingRate(SignalIn->GetSamplingRate());
  if (SignalOut->GetSamplingRate() < SignalIn->GetSamplingRate())
    SignalIn->SetSamplingRate(SignalOut->GetSamplingRate());
  SignalOut->MultiSin(HighestTone, ToneStep, TonePeriod);
  // Each block holds exactly one period of the test signal.
  SignalIn->BlockLength = static_cast<uint32_t>(SignalOut->GetBufferFrames());
  UseResponseCalibration();
  WarnOfCalibrationPlace();
  WarnOfFixture();
  SignalIn->SetOnSaturation([this](int32_t Channel) { return HandleSaturation(Channel); });
  SignalIn->SetOnLowLevel([this](int32_t Channel) { return HandleLowLevel(Channel); });
  Analysis.ResetBlockCount();
  FChart.SetBottomAxis(true, "Hz");
  FChart.SetTitle(TSeriesId::Series1, "Re(Z) Ohm ");
  FChart.SetTitle(TSeriesId::Series2, "Im(Z) Ohm ");
  SetStartClick(&TfmLCR::btnStopMeasurementClick);
  SignalIn->SetAttenuation(0, 0);
  SignalIn->SetAttenuation(1, 0);
  SignalIn->StartMeasurement();
  WatchRun();
}

void TfmLCR::btnStopMeasurementClick() {
  FPendingStart = nullptr;
  if (FFixtureStep) {
    FFixtureStep.reset();
    AddMessage("Fixture step aborted.", false);
  }
  StopChains();
  SetStartClick(&TfmLCR::btnStartMeasurementClick);
  AddMessage("Stop measurement.", true);
}

// ---- Calibration ----

void TfmLCR::btnStartCalibrationClick() {
  if (!SignalIn || !SignalOut) return;
  if (StartWhenIdle(&TfmLCR::btnStartCalibrationClick)) return;
  EndRunOnDeviceFailure(this);
  ForgetSaturations();
  cbBitsSamplingChange();
  FCalibrationRun = TCalibrationRun::Offset;
  AddMessage("Offset calibration...", true);
  SignalIn->SetOnStop([this](void*) { OnStopOffSetCalibr(); });
  SignalIn->SetOnSaturation([this](int32_t Channel) { return LowerOutputLevel(Channel); });
  SignalIn->SetOnLowLevel(nullptr);
  SignalIn->SetOnBlock([this](const TDataMatrix& Block) {
    if (SignalIn) Analysis.ShowWaveforms(Block, SignalIn->GetSamplingRate());
  });
  FChart.SetBottomAxis(false, "ms");
  FChart.SetTitle(TSeriesId::Series1, "Channel 1");
  FChart.SetTitle(TSeriesId::Series2, "Channel 2");
  FChart.SetTitle(TSeriesId::Series3, " ");
  SignalIn->StartOffsetRun();
  SetStartClick(&TfmLCR::btnStopCalibrationClick);
  WatchRun();
}

void TfmLCR::OnStopOffSetCalibr() {
  if (!SignalIn || !SignalOut) return;
  AddMessage("Amplitude calibration...", true);
  FCalibrationRun = TCalibrationRun::Amplitude;
  SetAllOutputAttenuations(0);
  SignalOut->Trapezium(RiseTime, FlatTime);
  SignalIn->SetOnStop([this](void*) { OnStopAmplitudeCalibr(); });
  const int32_t frames = SignalOut->GetBufferFrames();
  const long double frequency =
      frames > 0 ? static_cast<long double>(SignalOut->GetSamplingRate()) / frames : 0.0L;
  SignalIn->StartAmplitudeRun(frequency);
}

void TfmLCR::OnStopAmplitudeCalibr() {
  StopChains();
  // The run has said what went wrong; the mode stays, so that Start calibrates again.
  if (SignalIn && SignalIn->CalibrIn && SignalIn->CalibrIn->AmplitudeRunFailed) {
    FinishCalibration(false);
    return;
  }
  AddMessage("Response calibration...", true);
  ContinueCalibrationWhenIdle(&TfmLCR::StartResponseRun);
}

// The end of every calibration that was not aborted: the indications go back to idle; a good
// one switches to Measurement and says so, a failed one keeps the mode.
void TfmLCR::FinishCalibration(bool Done) {
  if (SignalIn) SignalIn->SetOnStop([this](void*) { OnStop(); });
  OnStop();
  SetStartClick(&TfmLCR::btnStartCalibrationClick);
  if (!Done) {
    ShowCalibrationEnd("Calibration failed.");
    AddMessage("Calibration failed.", false);
    return;
  }
  if (SignalIn && SignalIn->CalibrIn) SignalIn->CalibrIn->Place = PlaceInUse();
  rgRunMode->SetItemIndex(1);
  rgRunModeClick();
  ShowCalibrationEnd("Calibration done.", 100);
  AddMessage("Calibration done.", true);
}

void TfmLCR::ShowCalibrationProgress() {
  if (!SignalIn || !SignalIn->CalibrIn) return;
  const int32_t steps = SignalIn->GetStepCount();
  TCalibrationProgress progress;
  switch (FCalibrationRun) {
  case TCalibrationRun::Offset: progress = OffsetProgress(SignalIn->GetAttIndex(0), steps); break;
  case TCalibrationRun::Amplitude: {
    const int32_t reference = SignalIn->CalibrIn->RefChannel;
    progress = AmplitudeProgress(reference, SignalIn->GetAttIndex(OtherChannel(reference)), steps);
    break;
  }
  case TCalibrationRun::Response:
    progress = ResponseProgress(FResponseMeter.Blocks(), FResponseMeter.BlocksNeeded());
    break;
  }
  lblProgress->setText(QString::fromStdString(ProgressText(progress)));
  pbCalibration->setValue(ProgressPercent(progress));
}

void TfmLCR::ShowCalibrationEnd(const std::string& Text, int Percent) {
  lblProgress->setText(QString::fromStdString(Text));
  if (Percent >= 0) pbCalibration->setValue(Percent);
}

void TfmLCR::ClearResults() {
  Circuit->ShowNoResult();
  lblReadout->clear();
  lblMeter->clear();
}

// The next step of a calibration needs both devices closed; it is given up when the
// calibration was aborted meanwhile.
void TfmLCR::ContinueCalibrationWhenIdle(TClickHandler Next) {
  if (!SignalIn || !SignalOut || !CalibrationInProgress()) return;
  if (SignalIn->Idle() && SignalOut->Idle()) {
    (this->*Next)();
    return;
  }
  QTimer::singleShot(IdlePollMs, this, [this, Next] { ContinueCalibrationWhenIdle(Next); });
}

// Closing the device must not advance the run, so the stop handler goes back first.
void TfmLCR::btnStopCalibrationClick() {
  FPendingStart = nullptr;
  FResponseRun = false;
  if (SignalIn) SignalIn->SetOnStop([this](void*) { OnStop(); });
  StopChains();
  SetStartClick(&TfmLCR::btnStartCalibrationClick);
  ShowCalibrationEnd("Calibration aborted.");
  AddMessage("Calibration aborted.", false);
}

// ---- Levels ----

// A channel's output step moves only through the mixer, whose change notice makes the capture
// drop the blocks in flight.
void TfmLCR::RaiseOutputAttenuation(int32_t Channel) {
  SignalOut->SetAttenuation(Channel, SignalOut->GetAttenuation(Channel) + 1);
}

void TfmLCR::LowerOutputAttenuation(int32_t Channel) {
  SignalOut->SetAttenuation(Channel, SignalOut->GetAttenuation(Channel) - 1);
}

void TfmLCR::ForgetSaturations() {
  FSaturatedInput.fill(-1);
  FSaturatedOutput.fill(-1);
}

bool TfmLCR::InputMayRise(int32_t Channel) const {
  return SignalIn->GetAttIndex(Channel) - 1 > SaturatedStep(FSaturatedInput, Channel);
}

bool TfmLCR::OutputMayRise(int32_t Channel) const {
  return SignalOut->GetAttenuation(Channel) - 1 > SaturatedStep(FSaturatedOutput, Channel);
}

// Whichever input saturates, the level that drives the circuit comes down.
bool TfmLCR::LowerOutputLevel(int32_t Channel) {
  AddMessage("Saturation. Channel: " + std::to_string(Channel), false);
  if (!SignalOut) return true;
  NoteSaturation(FSaturatedOutput, DrivingOutput, SignalOut->GetAttenuation(DrivingOutput));
  RaiseOutputAttenuation(DrivingOutput);
  return true;
}

bool TfmLCR::HandleSaturation(int32_t Channel) {
  AddMessage("Saturation. Channel: " + std::to_string(Channel), false);
  if (!SignalIn) return true;
  const int32_t step = SignalIn->GetAttIndex(Channel);
  NoteSaturation(FSaturatedInput, Channel, step);
  if (step < SignalIn->GetStepCount() - 1) SignalIn->SetAttenuation(Channel, step + 1);
  else LowerOutputLevel(Channel);
  return true;
}

// Nothing is reported: a low level that cannot be raised leaves the block to the analysis. A
// level that saturated in this run counts as one that cannot be raised to.
bool TfmLCR::HandleLowLevel(int32_t Channel) {
  if (!SignalIn || !SignalOut) return false;
  const int32_t step = SignalIn->GetAttIndex(Channel);
  if (step > 0) {
    if (!InputMayRise(Channel)) return false;
    SignalIn->SetAttenuation(Channel, step - 1);
    return true;
  }
  const int32_t other = OtherChannel(Channel);
  if (SignalOut->GetAttenuation(other) > SignalOut->GetAttenuation(Channel)) {
    if (!OutputMayRise(other)) return false;
    LowerOutputAttenuation(other);
    return true;
  }
  if (SignalOut->GetAttenuation(Channel) > 0) {
    if (!OutputMayRise(Channel)) return false;
    LowerOutputAttenuation(Channel);
    return true;
  }
  return false;
}

// A calibration corrects the inputs it was measured on, at its rate: measuring on others
// works, and the log says what it costs.
platform::TCalibrationPlace TfmLCR::PlaceInUse() const {
  if (!SignalIn || !SignalOut) return {};
  return platform::PlaceOfDevices(SignalIn->GetDevice(), static_cast<unsigned>(SignalOut->GetDevice()),
                                  SignalIn->GetSamplingRate());
}

void TfmLCR::WarnOfCalibrationPlace() {
  if (!SignalIn || !SignalIn->CalibrIn) return;
  const std::string warning = platform::CalibrationPlaceWarning(SignalIn->CalibrIn->Place, PlaceInUse());
  if (!warning.empty()) AddMessage(warning, false);
}

} // namespace dravik
