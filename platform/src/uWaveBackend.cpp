#include "platform/src/uWaveBackend.h"

#include "platform/vmbox/uVirtualCard.h"
#ifdef PLATFORM_PORTAUDIO
#include "platform/cards/uPaBackend.h"
#endif

#include "platform/src/uBackendTable.h"

namespace platform::wave {
namespace {

// Real sound cards are listed first when a back end for them exists; the virtual measuring box
// comes last so that its device numbers follow the real ones.
constexpr detail::TBackendEntry<TWaveBackend> Backends[] = {
#ifdef PLATFORM_PORTAUDIO
    {"real sound cards", false, &portaudio::PortAudioBackend},
#endif
    {"virtual measuring box", true, &vmbox::VirtualCardBackend},
};

} // namespace

std::vector<std::shared_ptr<TWaveDevice>> AllDevices(TDirection direction) {
  std::vector<std::shared_ptr<TWaveDevice>> devices;
  detail::ForEachBackend(Backends, [&](TWaveBackend& backend) {
    for (auto& device : backend.Devices(direction)) devices.push_back(std::move(device));
    return false;
  });
  return devices;
}

} // namespace platform::wave
