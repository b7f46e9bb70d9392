#include "platform/src/uMixerBackend.h"

#include "platform/vmbox/uVirtualMixers.h"
#ifdef PLATFORM_ALSA
#include "platform/cards/uAlsaMixers.h"
#endif
#ifdef PLATFORM_PORTAUDIO
#include "platform/cards/uPaSoftMixer.h"
#endif

#include "platform/src/uBackendTable.h"

namespace platform::mixer {
namespace {

// Real sound cards are listed first when a back end for them exists; the virtual measuring box
// comes last, as in the waveform device lists.
constexpr detail::TBackendEntry<TMixerBackend> Backends[] = {
#ifdef PLATFORM_ALSA
    {"sound-card mixers", false, &alsa::AlsaMixerBackend},
#endif
#ifdef PLATFORM_PORTAUDIO
    {"software mixers of real devices", false, &portaudio::SoftMixerBackend},
#endif
    {"virtual measuring box", true, &vmbox::VirtualMixerBackend},
};

template <class TVisit>
void ForEachBackend(TVisit visit) {
  detail::ForEachBackend(Backends, visit);
}

} // namespace

std::vector<std::shared_ptr<TMixerDevice>> AllMixers() {
  std::vector<std::shared_ptr<TMixerDevice>> mixers;
  ForEachBackend([&](TMixerBackend& backend) {
    for (auto& mixer : backend.Mixers()) mixers.push_back(std::move(mixer));
    return false;
  });
  return mixers;
}

std::shared_ptr<TMixerDevice> MixerOfWave(const TWaveObject& wave) {
  std::shared_ptr<TMixerDevice> mixer;
  ForEachBackend([&](TMixerBackend& backend) {
    mixer = backend.MixerOf(wave);
    return mixer != nullptr;
  });
  return mixer;
}

UINT MixerNumber(const TMixerDevice& device) {
  const auto mixers = AllMixers();
  for (size_t i = 0; i < mixers.size(); ++i) {
    if (mixers[i].get() == &device) return static_cast<UINT>(i);
  }
  return 0xFFFFFFFFu;
}

} // namespace platform::mixer
