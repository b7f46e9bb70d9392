#include "platform/src/uWaveRegistry.h"

#include "platform/src/uHandleTable.h"

namespace platform::wave {
namespace {

// Never destroyed, so that a device thread still running at program exit finds it intact.
// Its keys start apart from other handle kinds.
detail::THandleTable<TOpenDevice>& Registry() {
  static auto* registry = new detail::THandleTable<TOpenDevice>(0x7A0000);
  return *registry;
}

} // namespace

void* NewWaveHandle() { return Registry().NewHandle(); }

void AddOpenDevice(void* handle, TOpenDevice device) { Registry().Put(handle, std::move(device)); }

TOpenDevice FindOpenDevice(void* handle, TDirection direction) {
  TOpenDevice open = Registry().Find(handle);
  if (!open || open.Stream->Direction() != direction) return {};
  return open;
}

void RemoveOpenDevice(void* handle) { Registry().Remove(handle); }

} // namespace platform::wave
