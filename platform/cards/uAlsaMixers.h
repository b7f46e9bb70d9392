#pragma once
// The ALSA mixers as a back end of the mixer API: the "default" mixer first (the one the sound
// server offers), then one per sound card ("hw:N"), each where it opens and has elements. They
// are listed once, at first use. A real waveform device is served by the mixer of the card
// that its name carries ("... (hw:N,M)"); the sound server's devices ("pulse", "default") by
// the default mixer; other devices by none (they get a software mixer, uPaSoftMixer.h).

#include "platform/cards/uAlsaMixer.h"
#include "platform/src/uMixerBackend.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::alsa {

// The ALSA mixer device that serves a waveform device of this name; empty for none.
std::string MixerDeviceFor(const std::string& waveName);

class TAlsaMixers : public mixer::TMixerBackend {
public:
  static TAlsaMixers& Instance();

  std::vector<std::shared_ptr<mixer::TMixerDevice>> Mixers() override;
  std::shared_ptr<mixer::TMixerDevice> MixerOf(const mixer::TWaveObject& wave) override;
  // The mixer for a waveform device of this name; nullptr when none serves it.
  std::shared_ptr<TAlsaMixer> MixerForWave(const std::string& waveName);

private:
  TAlsaMixers() = default;
  const std::vector<std::shared_ptr<TAlsaMixer>>& List();

  std::once_flag Listed;
  std::vector<std::shared_ptr<TAlsaMixer>> Found;
};

mixer::TMixerBackend& AlsaMixerBackend();

} // namespace platform::alsa
