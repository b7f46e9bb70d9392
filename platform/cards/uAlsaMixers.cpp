#include "platform/cards/uAlsaMixers.h"

#ifdef PLATFORM_PORTAUDIO
#include "platform/cards/uPaBackend.h"
#endif
#include "platform/src/uCardAddress.h"

#include <cstdlib>

namespace platform::alsa {

std::string MixerDeviceFor(const std::string& waveName) {
  if (waveName == "pulse" || waveName == "default") return "default";
  return wave::AlsaCardAddress(waveName);
}

TAlsaMixers& TAlsaMixers::Instance() {
  static auto* mixers = new TAlsaMixers; // never destroyed: handles may outlive statics
  return *mixers;
}

mixer::TMixerBackend& AlsaMixerBackend() { return TAlsaMixers::Instance(); }

const std::vector<std::shared_ptr<TAlsaMixer>>& TAlsaMixers::List() {
  std::call_once(Listed, [this] {
    const TAlsaApi* api = AlsaApi();
    if (!api) return;
    if (auto mixer = TAlsaMixer::Open(*api, "default", "Default")) Found.push_back(mixer);
    for (int card = -1; api->snd_card_next(&card) == 0 && card >= 0;) {
      char* name = nullptr;
      std::string caption = "hw:" + std::to_string(card);
      if (api->snd_card_get_name(card, &name) == 0 && name) {
        caption = name;
        std::free(name);
      }
      if (auto mixer = TAlsaMixer::Open(*api, "hw:" + std::to_string(card), caption)) {
        Found.push_back(mixer);
      }
    }
  });
  return Found;
}

std::vector<std::shared_ptr<mixer::TMixerDevice>> TAlsaMixers::Mixers() {
  const auto& list = List();
  return {list.begin(), list.end()};
}

std::shared_ptr<TAlsaMixer> TAlsaMixers::MixerForWave(const std::string& waveName) {
  const std::string device = MixerDeviceFor(waveName);
  if (device.empty()) return nullptr;
  for (const auto& mixer : List()) {
    if (mixer->Device() == device) return mixer;
  }
  return nullptr;
}

// The real waveform devices are the sound library's; without it no device has a card's mixer.
std::shared_ptr<mixer::TMixerDevice> TAlsaMixers::MixerOf(
    [[maybe_unused]] const mixer::TWaveObject& wave) {
#ifdef PLATFORM_PORTAUDIO
  const auto device = portaudio::TPaBackend::Instance().DeviceOf(wave);
  return device ? MixerForWave(device->Name()) : nullptr;
#else
  return nullptr;
#endif
}

} // namespace platform::alsa
