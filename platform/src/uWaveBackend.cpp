#include "platform/src/uWaveBackend.h"

#include "platform/vmbox/uVirtualCard.h"
#ifdef PLATFORM_REAL_CARDS
#include "platform/portaudio/uPaBackend.h"
#endif

#include <cstdlib>
#include <cstring>

namespace platform::wave {
namespace {

struct TBackendEntry {
  const char* Name;
  bool Virtual;
  TWaveBackend& (*Instance)();
};

// Real sound cards are listed first when a back end for them exists; the virtual measuring box
// comes last so that its device numbers follow the real ones.
constexpr TBackendEntry Backends[] = {
#ifdef PLATFORM_REAL_CARDS
    {"real sound cards", false, &portaudio::PortAudioBackend},
#endif
    {"virtual measuring box", true, &vmbox::VirtualCardBackend},
};

bool VirtualOnly() {
  static const bool only = [] {
    const char* value = std::getenv("VMBOX_ONLY");
    return value && std::strcmp(value, "1") == 0;
  }();
  return only;
}

} // namespace

std::vector<std::shared_ptr<TWaveDevice>> AllDevices(TDirection direction) {
  std::vector<std::shared_ptr<TWaveDevice>> devices;
  for (const auto& entry : Backends) {
    if (VirtualOnly() && !entry.Virtual) continue;
    for (auto& device : entry.Instance().Devices(direction)) devices.push_back(std::move(device));
  }
  return devices;
}

} // namespace platform::wave
