#include "dravik/signal/uSignalIn.h"

#include <cmath>
#include <limits>
#include <utility>

namespace dravik {

uint32_t AmplitudeBlockFrames(uint32_t Rate, long double Frequency) {
  if (!std::isfinite(Frequency) || Frequency <= 0) return 0;
  // Whole periods in about half a second, rounded to nearest with ties to even.
  long double periods = std::nearbyint(Frequency * 0.5L);
  if (periods > std::numeric_limits<int32_t>::max()) return 0;
  if (periods <= 0) periods = 1;
  // The product is exact in 64 bits; the quotient is formed in extended precision.
  const uint64_t product = static_cast<uint64_t>(periods) * Rate;
  const long double frames = std::nearbyint(static_cast<long double>(product) / Frequency);
  if (frames < 1 || frames >= 4294967296.0L) return 0;
  return static_cast<uint32_t>(frames);
}

TSignalIn::TSignalIn(TLogEvent AOnLog, bool& Ok) : OnLog(std::move(AOnLog)) {
  Ok = false;
  bool deviceOk = false;
  WaveIn = std::make_unique<TWaveIn>(nullptr, OnLog, deviceOk);
  if (!deviceOk) return;
  BlockLength = WaveIn->BlockSize;
  Report("MixerIn: Creating ...", true);
  MixerIn = std::make_unique<TMixer>(nullptr, OnLog);
  // A control that another program holds spoils this device only: the chain is created all
  // the same, so that the user can choose another one.
  if (!MixerIn->SetWaveIn(WaveIn->DeviceID) && !ReportHeldControl()) return;
  Report("CalibrIn: Creating ...", true);
  CalibrIn = std::make_unique<TCalibrIn>();
  CalibrIn->OnLog = OnLog;
  // Blocks captured at the old level must not reach the consumers.
  MixerIn->OnChange = [this](void*) { Invalidate(); };
  Report("SignalIn: Created.", true);
  Ok = true;
}

TSignalIn::~TSignalIn() {
  // The mixer gives the user's settings back while the chain goes away; nothing is captured
  // any more that a change could invalidate.
  if (MixerIn) MixerIn->OnChange = nullptr;
  // The device closes while it is being freed: the close must neither move a calibration run
  // on (which would reopen a device that is going away) nor reach the window's handlers.
  if (WaveIn) {
    WaveIn->OnData = nullptr;
    WaveIn->OnStart = nullptr;
    WaveIn->OnStop = nullptr;
  }
  FreeAndReport(WaveIn, OnLog, "WaveIn destroyed.", "Can not destroy WaveIn.");
  FreeAndReport(MixerIn, OnLog, "MixerIn destroyed.", "Can not destroy MixerIn.");
  FreeAndReport(CalibrIn, OnLog, "CalibrIn destroyed.", "Can not destroy CalibrIn.");
}

void TSignalIn::Report(const std::string& Msg, bool IsInfo) const {
  if (OnLog) OnLog(Msg, IsInfo);
}

// ---- Pass-through operations ----

uint32_t TSignalIn::DeviceCount() const { return WaveIn ? WaveIn->DeviceCount() : 0; }

std::string TSignalIn::DeviceName(int32_t Device) {
  return WaveIn ? WaveIn->DeviceName(Device) : std::string();
}

uint32_t TSignalIn::GetDevice() const {
  return WaveIn ? static_cast<uint32_t>(WaveIn->DeviceID) : 0xFFFFFFFFu;
}

// A device whose mixer another program holds is tried again only once another device has been
// chosen in between: asking for it again finds the same control held and says so once more.
bool TSignalIn::SetDevice(int32_t Device) {
  if (!WaveIn || !MixerIn) return false;
  if ((Device < 0 || Device == WaveIn->DeviceID) && !MixerIn->Ready() &&
      !MixerIn->HeldControl().empty()) {
    return false;
  }
  if (Device >= 0) WaveIn->SelectDevice(Device);
  if (MixerIn->SetWaveIn(WaveIn->DeviceID)) return true;
  ReportHeldControl();
  return false;
}

bool TSignalIn::MixerReady() const { return MixerIn && MixerIn->Ready(); }

bool TSignalIn::ReportHeldControl() const {
  if (MixerIn->HeldControl().empty()) return false;
  Report("SignalIn: The mixer control \"" + MixerIn->HeldControl() +
             "\" is held by another program; choose another input device.", false);
  return true;
}

int32_t TSignalIn::SourceCount() const { return MixerIn ? MixerIn->SourceCount() : 0; }

std::string TSignalIn::SourceName(int32_t Index) const {
  return MixerIn ? MixerIn->SourceName(Index) : std::string();
}

int32_t TSignalIn::GetSource() const { return MixerIn ? MixerIn->CurrentSource : -1; }

void TSignalIn::SetSource(int32_t Index) {
  if (MixerIn) MixerIn->SetSource(Index);
}

uint32_t TSignalIn::GetSamplingRate() const { return WaveIn ? WaveIn->SampleRate() : 0; }

void TSignalIn::SetSamplingRate(uint32_t Rate) {
  if (WaveIn) WaveIn->SetSampleRate(Rate);
}

uint32_t TSignalIn::GetBits() const { return WaveIn ? WaveIn->Bits() : 0; }

void TSignalIn::SetBits(uint32_t Bits) {
  if (WaveIn) WaveIn->SetBits(Bits);
}

void TSignalIn::SetOnSaturation(TChannelEvent Handler) {
  if (WaveIn) WaveIn->OnOverload = std::move(Handler);
}

void TSignalIn::SetOnLowLevel(TChannelEvent Handler) {
  if (WaveIn) WaveIn->OnLowLevel = std::move(Handler);
}

void TSignalIn::Invalidate() {
  if (WaveIn) WaveIn->Invalidate();
}

int32_t TSignalIn::AddBlockConsumer(TBlockConsumer Handler, void* Data) {
  return CalibrIn ? CalibrIn->AddConsumer(std::move(Handler), Data) : -1;
}

void TSignalIn::SetOnBlock(TBlockEvent Handler) {
  if (CalibrIn) CalibrIn->OnBlock = std::move(Handler);
}

int32_t TSignalIn::GetAttIndex(int32_t Channel) const {
  return CalibrIn ? CalibrIn->GetAttIndex(Channel) : 0;
}

int32_t TSignalIn::GetStepCount() const { return CalibrIn ? CalibrIn->GetStepCount() : 0; }

void TSignalIn::SaveCalibration(platform::TIniFile& File) const {
  if (CalibrIn) CalibrIn->SaveToIni(File);
}

void TSignalIn::LoadCalibration(const platform::TIniFile& File) {
  if (CalibrIn) CalibrIn->LoadFromIni(File);
}

void TSignalIn::Stop() {
  if (WaveIn) WaveIn->Close();
}

// ---- Operations with logic of their own ----

// The only way the program moves an input step, so the calibration in use always matches the
// recording level.
void TSignalIn::SetAttenuation(int32_t Channel, int32_t Step) {
  if (!CalibrIn || !MixerIn) return;
  CalibrIn->SetAttIndex(Channel, Step);
  MixerIn->SetVolume(static_cast<uint32_t>(Channel), AttenuationLevel(Step));
}

void TSignalIn::SetOnStop(TNotifyEvent Handler) {
  OnStop = std::move(Handler);
  if (WaveIn) WaveIn->OnStop = OnStop;
}

void TSignalIn::SetOnFailed(TNotifyEvent Handler) {
  if (WaveIn) WaveIn->OnFailed = std::move(Handler);
}

void TSignalIn::StartMeasurement() {
  if (!WaveIn || !CalibrIn) return;
  WaveIn->SetBlockSize(BlockLength);
  WaveIn->OnData = [this](TDataMatrix& block) { return CalibrIn->Process(block); };
  WaveIn->OnStart = OnStart;
  WaveIn->OnStop = OnStop;
  WaveIn->Open();
}

void TSignalIn::SetAllAttenuations(int32_t Step) {
  for (int32_t c = 0; c < CalibrIn->GetChannelCount(); ++c) SetAttenuation(c, Step);
}

void TSignalIn::OpenForRun(uint32_t Frames, bool (TCalibrIn::*Handler)(TDataMatrix&),
                           void (TSignalIn::*NextStep)()) {
  WaveIn->SetBlockSize(Frames);
  WaveIn->OnData = [this, Handler](TDataMatrix& block) { return (*CalibrIn.*Handler)(block); };
  WaveIn->OnStart = OnStart;
  WaveIn->OnStop = [this, NextStep](void*) { (this->*NextStep)(); };
  WaveIn->Open();
}

void TSignalIn::EndRun() {
  if (OnStop) OnStop(this);
}

// A run that reported an error changes nothing: the table in force when the calibration began
// comes back, and the recording levels with it.
void TSignalIn::EndAmplitudeRun() {
  if (CalibrIn->AmplitudeRunFailed && CalibrIn->PutBackKeptTable()) {
    for (int32_t c = 0; c < CalibrIn->GetChannelCount(); ++c) SetAttenuation(c, GetAttIndex(c));
  }
  EndRun();
}

void TSignalIn::FollowShortenedTable() {
  const int32_t steps = GetStepCount();
  if (steps >= RunStepCount) return;
  RunStepCount = steps;
  for (int32_t c = 0; c < CalibrIn->GetChannelCount(); ++c) SetAttenuation(c, GetAttIndex(c));
}

void TSignalIn::StartOffsetRun() {
  if (!WaveIn || !CalibrIn) return;
  CalibrIn->BeginCalibration();
  SetAllAttenuations(0);
  OpenForRun(WaveIn->SampleRate() / 5, &TCalibrIn::OffsetBlock, &TSignalIn::OffsetRunStep);
}

// One block per step, all channels at the same step, steps in ascending order.
void TSignalIn::OffsetRunStep() {
  const int32_t step = GetAttIndex(0);
  if (step >= GetStepCount() - 1) {
    EndRun();
    return;
  }
  SetAllAttenuations(step + 1);
  WaveIn->Open();
}

bool TSignalIn::StartAmplitudeRun(long double Frequency) {
  if (!WaveIn || !CalibrIn) return false;
  const uint32_t frames = AmplitudeBlockFrames(WaveIn->SampleRate(), Frequency);
  if (frames == 0) {
    Report("SignalIn: Invalid frequency of the calibration signal.", false);
    return false;
  }
  SetAllAttenuations(0);
  CalibrIn->RefChannel = 0;
  CalibrIn->AmplitudeRunStopped = CalibrIn->AmplitudeRunFailed = false;
  RunStepCount = GetStepCount();
  OpenForRun(frames, &TCalibrIn::AmplitudeBlock, &TSignalIn::AmplitudeRunStep);
  return true;
}

// First phase: channel 0 at step 0 is the reference while the other channels climb the steps;
// second phase: channel 1 at step 0 is the reference while channel 0 climbs from step 1. Every
// factor is thereby tied to channel 0 at step 0.
void TSignalIn::AmplitudeRunStep() {
  FollowShortenedTable();
  const int32_t steps = GetStepCount();
  // Nothing to climb, nothing to calibrate against, or a channel without signal.
  if (steps <= 1 || CalibrIn->GetChannelCount() < 2 || CalibrIn->AmplitudeRunStopped) {
    EndAmplitudeRun();
    return;
  }
  if (CalibrIn->RefChannel != 0) {
    if (GetAttIndex(0) >= steps - 1) {
      EndAmplitudeRun();
      return;
    }
    SetAttenuation(0, GetAttIndex(0) + 1);
  } else if (GetAttIndex(1) < steps - 1) {
    for (int32_t c = 1; c < CalibrIn->GetChannelCount(); ++c) SetAttenuation(c, GetAttIndex(c) + 1);
  } else {
    CalibrIn->RefChannel = 1;
    SetAttenuation(1, 0);
    SetAttenuation(0, 1);
  }
  WaveIn->Open();
}

} // namespace dravik
