#include "platform/cards/uAlsaMixers.h"

#include "platform/cards/uPaBackend.h"

#include <cstdlib>

namespace platform::alsa {

std::string MixerDeviceFor(const std::string& waveName) {
  if (waveName == "pulse" || waveName == "default") return "default";
  const auto at = waveName.find("(hw:");
  if (at == std::string::npos) return {};
  const auto end = waveName.find_first_not_of("0123456789", at + 4);
  if (end == at + 4) return {};
  return "hw:" + waveName.substr(at + 4, end - (at + 4));
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

std::shared_ptr<mixer::TMixerDevice> TAlsaMixers::MixerOf(const mixer::TWaveObject& wave) {
  auto& backend = portaudio::TPaBackend::Instance();
  std::shared_ptr<portaudio::TPaDevice> device;
  if (wave.Stream) {
    device = backend.DeviceServing(wave.Stream);
  } else {
    const auto all = wave::AllDevices(wave.Direction);
    if (wave.Id < all.size()) device = std::dynamic_pointer_cast<portaudio::TPaDevice>(all[wave.Id]);
  }
  return device ? MixerForWave(device->Name()) : nullptr;
}

} // namespace platform::alsa
