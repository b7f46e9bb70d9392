#pragma once
// Software mixers for the real devices that no sound-card mixer serves, so that a program that
// sets its levels through a mixer still runs on them. One mixer per library device (serving its
// input and its output): a speakers destination with master volume and mute and a recording
// destination with a volume, each with one source line ("Wave", "Line In") to route. The values
// are applied to the samples as linear gains value / 65535 (0 while muted).

#include "platform/cards/uPaDevice.h"
#include "platform/src/uMixerBackend.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::portaudio {

class TPaSoftMixer : public mixer::TMixerDevice {
public:
  // The mixer of the library device `index`, acting on these of its waveform devices.
  TPaSoftMixer(PaDeviceIndex index, const std::string& name,
               std::vector<std::shared_ptr<TPaDevice>> devices);

  bool Present() const override { return true; }
  const mixer::TMixerTopology& Topology() const override { return Layout; }
  std::vector<DWORD> Values(const mixer::TControlNode& control) override;
  TBackendResult SetValues(const mixer::TControlNode& control,
                           const std::vector<DWORD>& values) override;

  PaDeviceIndex Index() const { return DeviceIndex; }

private:
  void ApplyGains();

  const PaDeviceIndex DeviceIndex;
  const std::vector<std::shared_ptr<TPaDevice>> Devices;
  mixer::TMixerTopology Layout;
  DWORD MasterVolume = 0, MasterMute = 0, RecordingVolume = 0;
  std::mutex Mutex;
  std::map<DWORD, std::vector<DWORD>> Current;
};

class TPaSoftMixers : public mixer::TMixerBackend {
public:
  static TPaSoftMixers& Instance();
  std::vector<std::shared_ptr<mixer::TMixerDevice>> Mixers() override;
  std::shared_ptr<mixer::TMixerDevice> MixerOf(const mixer::TWaveObject& wave) override;

private:
  TPaSoftMixers() = default;
  const std::vector<std::shared_ptr<TPaSoftMixer>>& List();

  std::once_flag Listed;
  std::vector<std::shared_ptr<TPaSoftMixer>> Found;
};

mixer::TMixerBackend& SoftMixerBackend();

} // namespace platform::portaudio
