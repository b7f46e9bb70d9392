#include "dravik/signal/uSignalOut.h"

#include <utility>

namespace dravik {

TSignalOut::TSignalOut(TLogEvent AOnLog, bool& Ok) : OnLog(std::move(AOnLog)) {
  Ok = false;
  bool deviceOk = false;
  WaveOut = std::make_unique<TWaveOut>(OnLog, deviceOk);
  if (!deviceOk) return;
  Report("MixerOut: Creating ...", true);
  WaveOut->OnLog = OnLog;
  MixerOut = std::make_unique<TMixer>(nullptr, OnLog);
  // A control that another program holds spoils this device only: the chain is created all
  // the same, so that the user can choose another one.
  Ok = MixerOut->SetWaveOut(WaveOut->DeviceID) || ReportHeldControl();
  if (Ok) Report("SignalOut: Created.", true);
}

bool TSignalOut::ReportHeldControl() const {
  if (MixerOut->HeldControl().empty()) return false;
  Report("SignalOut: The mixer control \"" + MixerOut->HeldControl() +
             "\" is held by another program; choose another output device.", false);
  return true;
}

bool TSignalOut::MixerReady() const { return MixerOut && MixerOut->Ready(); }

TSignalOut::~TSignalOut() {
  // Nobody is to be told about changes any more: the mixer gives the user's settings back
  // while the chain is going away.
  if (MixerOut) MixerOut->OnChange = nullptr;
  FreeAndReport(WaveOut, OnLog, "WaveOut destroyed.", "Can not destroy WaveOut.");
  FreeAndReport(MixerOut, OnLog, "MixerOut destroyed.", "Can not destroy MixerOut.");
}

void TSignalOut::Report(const std::string& Msg, bool IsInfo) const {
  if (OnLog) OnLog(Msg, IsInfo);
}

uint32_t TSignalOut::DeviceCount() const { return WaveOut ? WaveOut->DeviceCount() : 0; }

std::string TSignalOut::DeviceName(int32_t Device) {
  return WaveOut ? WaveOut->DeviceName(Device) : std::string();
}

int32_t TSignalOut::GetDevice() const { return WaveOut ? WaveOut->DeviceID : -1; }

// A device whose mixer another program holds is tried again only once another device has been
// chosen in between: asking for it again finds the same control held and says so once more.
bool TSignalOut::SetDevice(int32_t Device) {
  if (!WaveOut || !MixerOut) return false;
  if ((Device < 0 || Device == WaveOut->DeviceID) && !MixerOut->Ready() &&
      !MixerOut->HeldControl().empty()) {
    return false;
  }
  if (Device >= 0) WaveOut->SelectDevice(Device);
  if (MixerOut->SetWaveOut(WaveOut->DeviceID)) return true;
  ReportHeldControl();
  return false;
}

int32_t TSignalOut::SourceCount() const { return MixerOut ? MixerOut->SourceCount() : 0; }

std::string TSignalOut::SourceName(int32_t Index) const {
  return MixerOut ? MixerOut->SourceName(Index) : std::string();
}

int32_t TSignalOut::GetSource() const { return MixerOut ? MixerOut->CurrentSource : -1; }

void TSignalOut::SetSource(int32_t Index) {
  if (MixerOut) MixerOut->SetSource(Index);
}

uint32_t TSignalOut::GetSamplingRate() const { return WaveOut ? WaveOut->SampleRate() : 0; }

void TSignalOut::SetSamplingRate(uint32_t Rate) {
  if (WaveOut) WaveOut->SetSampleRate(Rate);
}

uint32_t TSignalOut::GetBits() const { return WaveOut ? WaveOut->Bits() : 0; }

void TSignalOut::SetBits(uint32_t Bits) {
  if (WaveOut) WaveOut->SetBits(static_cast<WORD>(Bits));
}

int32_t TSignalOut::ChannelCount() { return MixerOut ? MixerOut->ChannelCount() : 0; }

int32_t TSignalOut::GetAttenuation(int32_t Channel) {
  if (!MixerOut) return SilentStep;
  return AttenuationStep(MixerOut->GetVolume(static_cast<uint32_t>(Channel)));
}

void TSignalOut::SetAttenuation(int32_t Channel, int32_t Step) {
  if (MixerOut) MixerOut->SetVolume(static_cast<uint32_t>(Channel), AttenuationLevel(Step));
}

void TSignalOut::MultiSin(int32_t HighestTone, int32_t Step, uint32_t Period) {
  if (WaveOut) WaveOut->MultiSin(HighestTone, Step, Period);
}

void TSignalOut::Trapezium(long double RiseTime, long double FlatTime) {
  if (WaveOut) WaveOut->Trapezium(RiseTime, FlatTime);
}

int32_t TSignalOut::GetBufferFrames() const { return WaveOut ? WaveOut->BufferFrames() : 0; }

void TSignalOut::Stop() {
  if (WaveOut) WaveOut->Stop();
}

void TSignalOut::SetOnMixerChange(TNotifyEvent Handler) {
  if (MixerOut) MixerOut->OnChange = std::move(Handler);
}

void TSignalOut::SetOnFailed(TNotifyEvent Handler) {
  if (WaveOut) WaveOut->OnFailed = std::move(Handler);
}

} // namespace dravik
