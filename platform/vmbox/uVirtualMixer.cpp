#include "platform/vmbox/uVirtualMixer.h"

#include "platform/src/uMixerDetails.h"
#include "platform/vmbox/uVirtualCard.h"

#include <cmath>
#include <cstring>

namespace platform::vmbox {
namespace {

constexpr double FullScale = 65535.0;

std::optional<DWORD> RefusedId(const TBoxMixerControls& c, TRefusedControl refused) {
  switch (refused) {
  case TRefusedControl::None: return std::nullopt;
  case TRefusedControl::MasterVolume: return c.MasterVolume;
  case TRefusedControl::MasterMute: return c.MasterMute;
  case TRefusedControl::WaveVolume: return c.WaveVolume;
  case TRefusedControl::WaveMute: return c.WaveMute;
  case TRefusedControl::RecordingVolume: return c.RecordingVolume;
  case TRefusedControl::RecordingSource: return c.RecordingSource;
  case TRefusedControl::LineVolume: return c.LineVolume;
  }
  return std::nullopt;
}

} // namespace

TVirtualMixer::TVirtualMixer(size_t box, TBoxMixerLayout layout, double outputLevel,
                             const double inputLevel[2], double volumeCurve,
                             TRefusedControl refused)
    : Box(box), Layout(std::move(layout)), Current(Layout.Defaults), CardOut(outputLevel),
      CardIn{inputLevel[0], inputLevel[1]},
      Curve(std::isfinite(volumeCurve) && volumeCurve > 0 ? volumeCurve : 1.0),
      Refused(RefusedId(Layout.Controls, refused)) {}

void TVirtualMixer::Remove() {
  std::lock_guard lock(Mutex); // after any write in progress has reached its box
  Removed = true;
}

std::vector<DWORD> TVirtualMixer::Values(const mixer::TControlNode& control) {
  return ValuesOf(control.Info.dwControlID);
}

TBackendResult TVirtualMixer::SetValues(const mixer::TControlNode& control,
                                        const std::vector<DWORD>& values) {
  const DWORD id = control.Info.dwControlID;
  if (Refused == id) {
    return {MMSYSERR_ERROR, "Virtual card: the write to \"" +
                                std::string(control.Info.szName, strnlen(control.Info.szName, sizeof control.Info.szName)) +
                                "\" was refused"};
  }
  std::lock_guard lock(Mutex);
  Write(id, values);
  return {};
}

std::vector<DWORD> TVirtualMixer::ValuesOf(DWORD controlId) {
  std::lock_guard lock(Mutex);
  const auto it = Current.find(controlId);
  return it == Current.end() ? std::vector<DWORD>{} : it->second;
}

MMRESULT TVirtualMixer::ChangeFromOutside(DWORD controlId, std::vector<DWORD> values) {
  const mixer::TControlNode* control = Layout.Topology.Control(controlId);
  if (!control) return MIXERR_INVALCONTROL;
  if (const MMRESULT result = mixer::CheckValues(*control, values)) return result;
  std::lock_guard lock(Mutex);
  Write(controlId, values);
  return MMSYSERR_NOERROR;
}

bool TVirtualMixer::Hold(DWORD controlId) {
  std::lock_guard lock(Mutex);
  const auto it = Current.find(controlId);
  if (it == Current.end()) return false;
  Held[controlId] = it->second;
  return true;
}

void TVirtualMixer::Release(DWORD controlId) {
  std::lock_guard lock(Mutex);
  Held.erase(controlId);
}

void TVirtualMixer::ReleaseAll() {
  std::lock_guard lock(Mutex);
  Held.clear();
}

void TVirtualMixer::Reset() {
  std::lock_guard lock(Mutex);
  Held.clear();
  for (const auto& [id, values] : Layout.Defaults) Store(id, values);
  ApplyLevels();
}

// ---- Values ----

void TVirtualMixer::Write(DWORD controlId, const std::vector<DWORD>& values) {
  Store(controlId, values);
  // The holder sees the change and puts its own value back at once.
  if (const auto held = Held.find(controlId); held != Held.end()) Store(controlId, held->second);
  ApplyLevels();
}

void TVirtualMixer::Store(DWORD controlId, const std::vector<DWORD>& values) {
  auto& current = Current[controlId];
  if (current == values) return; // nothing changed: no notice
  current = values;
  if (!Removed) AnnounceChange(controlId);
}

// ---- The sound ----

double TVirtualMixer::Gain(DWORD controlId, size_t channel) const {
  const auto& values = Current.at(controlId);
  return std::pow(values[std::min(channel, values.size() - 1)] / FullScale, Curve);
}

bool TVirtualMixer::On(DWORD controlId, size_t item) const {
  return Current.at(controlId).at(item) != 0;
}

void TVirtualMixer::ApplyLevels() {
  if (Removed) return;
  const auto& c = Layout.Controls;
  const bool muted = On(c.MasterMute, 0) || On(c.WaveMute, 0);
  const double out = muted ? 0.0 : CardOut * Gain(c.MasterVolume, 0) * Gain(c.WaveVolume, 0);
  double in[2];
  for (size_t ch = 0; ch < 2; ++ch) {
    const bool line = On(c.RecordingSource, c.LineItem);
    in[ch] = line ? CardIn[ch] * Gain(c.RecordingVolume, ch) * Gain(c.LineVolume, ch) : 0.0;
  }
  TVirtualCard::Instance().WithBox(Box, [&](TVirtualBox& box) {
    box.SetOutputLevel(out);
    box.SetInputLevel(0, in[0]);
    box.SetInputLevel(1, in[1]);
  });
}

// ---- Card levels ----

void TVirtualMixer::SetCardOutputLevel(double level) {
  std::lock_guard lock(Mutex);
  CardOut = level;
  ApplyLevels();
}

void TVirtualMixer::SetCardInputLevel(int channel, double level) {
  std::lock_guard lock(Mutex);
  CardIn[channel] = level;
  ApplyLevels();
}

double TVirtualMixer::CardOutputLevel() {
  std::lock_guard lock(Mutex);
  return CardOut;
}

double TVirtualMixer::CardInputLevel(int channel) {
  std::lock_guard lock(Mutex);
  return CardIn[channel];
}

} // namespace platform::vmbox
