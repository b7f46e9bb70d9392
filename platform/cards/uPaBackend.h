#pragma once
// The real sound cards as a back end of the waveform API: one device per PortAudio device with
// input (or output) channels, in the library's order, named as the library names it. The
// library is loaded and the devices are listed once, at the first call that needs them; where
// the library or a sound server is missing the list is empty. A watchdog thread, started with
// the first open, finds streams that a device has stopped serving.

#include "platform/cards/uPaDevice.h"
#include "platform/src/uMixerBackend.h"
#include "platform/src/uWaveBackend.h"

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::portaudio {

class TPaBackend : public wave::TWaveBackend {
public:
  static TPaBackend& Instance();

  std::vector<std::shared_ptr<wave::TWaveDevice>> Devices(wave::TDirection direction) override;
  // The devices of one direction as this back end's own type.
  const std::vector<std::shared_ptr<TPaDevice>>& List(wave::TDirection direction);
  // The device that serves an open stream; nullptr when none of ours does.
  std::shared_ptr<TPaDevice> DeviceServing(const wave::TWaveStream* stream);
  // The device a mixer is asked about: the one serving its open stream, else the one of its
  // device number; nullptr when it is not one of ours.
  std::shared_ptr<TPaDevice> DeviceOf(const mixer::TWaveObject& wave);
  void StartWatchdog();

private:
  TPaBackend() = default;
  void Enumerate();
  void Watch();

  std::once_flag Listed;
  std::vector<std::shared_ptr<TPaDevice>> Inputs, Outputs;
  std::once_flag Watching;
  std::thread Watchdog; // never joined: the back end lives as long as the process
};

wave::TWaveBackend& PortAudioBackend();

} // namespace platform::portaudio
