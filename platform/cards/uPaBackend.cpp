#include "platform/cards/uPaBackend.h"

#include "platform/cards/uPaLibrary.h"

#include <algorithm>
#include <chrono>

namespace platform::portaudio {
namespace {

// Measuring needs an unbroken stream more than a short delay: at least 100 ms of buffering
// (50 ms gave gaps on a loaded machine; more than 100 ms did not help there, it only made the
// round trip longer). The callback moves 10 ms at a time, so a program with a short queue is
// served steadily.
constexpr double MinLatency = 0.1;
constexpr auto WatchPeriod = std::chrono::milliseconds(250);

} // namespace

TPaBackend& TPaBackend::Instance() {
  static auto* backend = new TPaBackend; // never destroyed: library threads may outlive statics
  return *backend;
}

wave::TWaveBackend& PortAudioBackend() { return TPaBackend::Instance(); }

std::vector<std::shared_ptr<wave::TWaveDevice>> TPaBackend::Devices(wave::TDirection direction) {
  const auto& list = List(direction);
  return {list.begin(), list.end()};
}

const std::vector<std::shared_ptr<TPaDevice>>& TPaBackend::List(wave::TDirection direction) {
  std::call_once(Listed, [this] { Enumerate(); });
  return direction == wave::TDirection::In ? Inputs : Outputs;
}

void TPaBackend::Enumerate() {
  const TPaApi* api = PaApi();
  if (!api) return;
  std::lock_guard lock(PaLock());
  const PaDeviceIndex count = api->Pa_GetDeviceCount();
  for (PaDeviceIndex i = 0; i < count; ++i) {
    const PaDeviceInfo* info = api->Pa_GetDeviceInfo(i);
    if (!info || !info->name) continue;
    const PaHostApiInfo* host = api->Pa_GetHostApiInfo(info->hostApi);
    const bool alsa = host && host->type == paALSA;
    if (info->maxInputChannels > 0) {
      const double latency = std::max(MinLatency, info->defaultHighInputLatency);
      Inputs.push_back(std::make_shared<TPaDevice>(i, wave::TDirection::In, info->name,
                                                   info->maxInputChannels, latency, alsa));
    }
    if (info->maxOutputChannels > 0) {
      const double latency = std::max(MinLatency, info->defaultHighOutputLatency);
      Outputs.push_back(std::make_shared<TPaDevice>(i, wave::TDirection::Out, info->name,
                                                    info->maxOutputChannels, latency, alsa));
    }
  }
}

std::shared_ptr<TPaDevice> TPaBackend::DeviceServing(const wave::TWaveStream* stream) {
  for (const auto direction : {wave::TDirection::In, wave::TDirection::Out}) {
    for (const auto& device : List(direction)) {
      if (device->Serves(stream)) return device;
    }
  }
  return nullptr;
}

std::shared_ptr<TPaDevice> TPaBackend::DeviceOf(const mixer::TWaveObject& wave) {
  if (wave.Stream) return DeviceServing(wave.Stream);
  const auto all = wave::AllDevices(wave.Direction);
  return wave.Id < all.size() ? std::dynamic_pointer_cast<TPaDevice>(all[wave.Id]) : nullptr;
}

void TPaBackend::StartWatchdog() {
  std::call_once(Watching, [this] { Watchdog = std::thread([this] { Watch(); }); });
}

void TPaBackend::Watch() {
  for (;;) {
    std::this_thread::sleep_for(WatchPeriod);
    const uint64_t now = SteadyNs();
    for (const auto& device : Inputs) device->Check(now);
    for (const auto& device : Outputs) device->Check(now);
  }
}

} // namespace platform::portaudio
