#include "platform/src/uMixerRegistry.h"

#include "platform/messages.h"

#include <map>
#include <mutex>

namespace platform::mixer {
namespace {

struct TRegistry {
  std::mutex Mutex;
  std::map<uintptr_t, TOpenMixer> Mixers; // in the order opened: notices go out in that order
  // Keys look like aligned addresses, start apart from device numbers and other handle kinds.
  uintptr_t NextKey = 0x3C000000;
};

// Never destroyed, so that a back-end thread still running at program exit finds it intact.
TRegistry& Registry() {
  static auto* registry = new TRegistry;
  return *registry;
}

} // namespace

HMIXER AddOpenMixer(TOpenMixer mixer) {
  auto& registry = Registry();
  std::lock_guard lock(registry.Mutex);
  const uintptr_t key = registry.NextKey;
  registry.NextKey += 16;
  registry.Mixers[key] = std::move(mixer);
  return reinterpret_cast<HMIXER>(key);
}

TOpenMixer FindOpenMixer(const void* handle) {
  auto& registry = Registry();
  std::lock_guard lock(registry.Mutex);
  const auto it = registry.Mixers.find(reinterpret_cast<uintptr_t>(handle));
  return it == registry.Mixers.end() ? TOpenMixer{} : it->second;
}

bool RemoveOpenMixer(HMIXER handle) {
  auto& registry = Registry();
  std::lock_guard lock(registry.Mutex);
  return registry.Mixers.erase(reinterpret_cast<uintptr_t>(handle)) > 0;
}

void TMixerDevice::AnnounceChange(DWORD controlId) const {
  auto& registry = Registry();
  std::lock_guard lock(registry.Mutex);
  for (const auto& [key, open] : registry.Mixers) {
    if (open.Device.get() != this || !open.Window) continue;
    // A window that has gone away receives nothing; the mixer carries on regardless.
    PostMessage(open.Window, MM_MIXM_CONTROL_CHANGE, static_cast<WPARAM>(key),
                static_cast<LPARAM>(controlId));
  }
}

} // namespace platform::mixer
