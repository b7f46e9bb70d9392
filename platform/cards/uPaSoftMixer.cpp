#include "platform/cards/uPaSoftMixer.h"

#ifdef PLATFORM_ALSA
#include "platform/cards/uAlsaMixers.h"
#endif
#include "platform/cards/uPaBackend.h"

namespace platform::portaudio {
namespace {

using mixer::MakeLine;
using mixer::MakeSwitch;
using mixer::MakeVolume;

constexpr DWORD FullScale = 0xFFFF;

mixer::TMixerTopology SoftLayout(const std::string& name) {
  mixer::TMixerTopology topology;
  topology.Caps.wMid = 0xFFFF; // no manufacturer registration
  topology.Caps.wPid = 5;
  topology.Caps.vDriverVersion = 0x0100;
  topology.SetName(name);
  mixer::TDestinationNode speakers, recording;
  speakers.Line = MakeLine(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", "Speakers", 2,
                           MIXERLINE_TARGETTYPE_WAVEOUT);
  speakers.Line.Controls = {MakeVolume("Master Volume", "Master Volume", false),
                            MakeSwitch(MIXERCONTROL_CONTROLTYPE_MUTE, "Master Mute", "Master Mute")};
  speakers.Sources = {MakeLine(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave", "Wave", 2,
                               MIXERLINE_TARGETTYPE_WAVEOUT)};
  recording.Line = MakeLine(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", "Recording Control",
                            2, MIXERLINE_TARGETTYPE_WAVEIN);
  recording.Line.Controls = {MakeVolume("Recording Vol", "Recording Volume", false)};
  recording.Sources = {MakeLine(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", "Line In", 2,
                                MIXERLINE_TARGETTYPE_UNDEFINED)};
  topology.Destinations = {speakers, recording};
  topology.Complete();
  return topology;
}

// A device whose sound card's own mixer serves it needs no software mixer.
bool ServedByCardMixer([[maybe_unused]] const TPaDevice& device) {
#ifdef PLATFORM_ALSA
  return alsa::TAlsaMixers::Instance().MixerForWave(device.Name()) != nullptr;
#else
  return false;
#endif
}

} // namespace

TPaSoftMixer::TPaSoftMixer(PaDeviceIndex index, const std::string& name,
                           std::vector<std::shared_ptr<TPaDevice>> devices)
    : DeviceIndex(index), Devices(std::move(devices)), Layout(SoftLayout(name)) {
  const auto& speakers = Layout.Destinations[0].Line.Controls;
  MasterVolume = speakers[0].Info.dwControlID;
  MasterMute = speakers[1].Info.dwControlID;
  RecordingVolume = Layout.Destinations[1].Line.Controls[0].Info.dwControlID;
  Current[MasterVolume] = {FullScale, FullScale};
  Current[MasterMute] = {0};
  Current[RecordingVolume] = {FullScale, FullScale};
}

std::vector<DWORD> TPaSoftMixer::Values(const mixer::TControlNode& control) {
  std::lock_guard lock(Mutex);
  return Current.at(control.Info.dwControlID);
}

// Gains applied to the samples: nothing can refuse them.
TBackendResult TPaSoftMixer::SetValues(const mixer::TControlNode& control,
                                       const std::vector<DWORD>& values) {
  std::lock_guard lock(Mutex);
  auto& current = Current.at(control.Info.dwControlID);
  if (current == values) return {};
  current = values;
  ApplyGains();
  AnnounceChange(control.Info.dwControlID);
  return {};
}

void TPaSoftMixer::ApplyGains() {
  const bool muted = Current[MasterMute][0] != 0;
  for (const auto& device : Devices) {
    const bool in = device->Direction() == wave::TDirection::In;
    const auto& volume = Current[in ? RecordingVolume : MasterVolume];
    for (int c = 0; c < 2; ++c) {
      device->SetGain(c, !in && muted ? 0.0 : volume[static_cast<size_t>(c)] / double{FullScale});
    }
  }
}

// ---- The back end ----

TPaSoftMixers& TPaSoftMixers::Instance() {
  static auto* mixers = new TPaSoftMixers; // never destroyed: handles may outlive statics
  return *mixers;
}

mixer::TMixerBackend& SoftMixerBackend() { return TPaSoftMixers::Instance(); }

const std::vector<std::shared_ptr<TPaSoftMixer>>& TPaSoftMixers::List() {
  std::call_once(Listed, [this] {
    std::map<PaDeviceIndex, std::vector<std::shared_ptr<TPaDevice>>> byIndex;
    std::map<PaDeviceIndex, std::string> names;
    for (const auto direction : {wave::TDirection::In, wave::TDirection::Out}) {
      for (const auto& device : TPaBackend::Instance().List(direction)) {
        if (ServedByCardMixer(*device)) continue;
        byIndex[device->Index()].push_back(device);
        names[device->Index()] = device->Name();
      }
    }
    for (auto& [index, devices] : byIndex) {
      Found.push_back(std::make_shared<TPaSoftMixer>(index, names[index], std::move(devices)));
    }
  });
  return Found;
}

std::vector<std::shared_ptr<mixer::TMixerDevice>> TPaSoftMixers::Mixers() {
  const auto& list = List();
  return {list.begin(), list.end()};
}

std::shared_ptr<mixer::TMixerDevice> TPaSoftMixers::MixerOf(const mixer::TWaveObject& wave) {
  const auto device = TPaBackend::Instance().DeviceOf(wave);
  if (!device) return nullptr;
  for (const auto& mixer : List()) {
    if (mixer->Index() == device->Index()) return mixer;
  }
  return nullptr;
}

} // namespace platform::portaudio
