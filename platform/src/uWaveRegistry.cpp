#include "platform/src/uWaveRegistry.h"

#include <mutex>
#include <unordered_map>

namespace platform::wave {
namespace {

struct TRegistry {
  std::mutex Mutex;
  std::unordered_map<uintptr_t, TOpenDevice> Devices;
  // Keys look like aligned addresses, start apart from other handle kinds, and skip 0 and -1.
  uintptr_t NextKey = 0x7A0000;
};

// Never destroyed, so that a device thread still running at program exit finds it intact.
TRegistry& Registry() {
  static auto* registry = new TRegistry;
  return *registry;
}

} // namespace

void* NewWaveHandle() {
  auto& registry = Registry();
  std::lock_guard lock(registry.Mutex);
  const uintptr_t key = registry.NextKey;
  registry.NextKey += 16;
  return reinterpret_cast<void*>(key);
}

void AddOpenDevice(void* handle, TOpenDevice device) {
  auto& registry = Registry();
  std::lock_guard lock(registry.Mutex);
  registry.Devices[reinterpret_cast<uintptr_t>(handle)] = std::move(device);
}

TOpenDevice FindOpenDevice(void* handle, TDirection direction) {
  auto& registry = Registry();
  std::lock_guard lock(registry.Mutex);
  const auto it = registry.Devices.find(reinterpret_cast<uintptr_t>(handle));
  if (it == registry.Devices.end() || it->second.Stream->Direction() != direction) return {};
  return it->second;
}

void RemoveOpenDevice(void* handle) {
  auto& registry = Registry();
  std::lock_guard lock(registry.Mutex);
  registry.Devices.erase(reinterpret_cast<uintptr_t>(handle));
}

} // namespace platform::wave
