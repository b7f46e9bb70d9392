#include "platform/src/uMixerRegistry.h"

#include "platform/messages.h"
#include "platform/src/uHandleTable.h"

namespace platform::mixer {
namespace {

// Never destroyed, so that a back-end thread still running at program exit finds it intact.
// Its keys start apart from device numbers and other handle kinds; notices go out in the order
// the handles were opened.
detail::THandleTable<TOpenMixer>& Registry() {
  static auto* registry = new detail::THandleTable<TOpenMixer>(0x3C000000);
  return *registry;
}

} // namespace

HMIXER AddOpenMixer(TOpenMixer mixer) {
  return static_cast<HMIXER>(Registry().Add(std::move(mixer)));
}

TOpenMixer FindOpenMixer(const void* handle) { return Registry().Find(handle); }

bool RemoveOpenMixer(HMIXER handle) { return static_cast<bool>(Registry().Remove(handle)); }

void TMixerDevice::AnnounceChange(DWORD controlId) const {
  Registry().ForEach([&](void* handle, const TOpenMixer& open) {
    if (open.Device.get() != this || !open.Window) return;
    // A window that has gone away receives nothing; the mixer carries on regardless.
    PostMessage(open.Window, MM_MIXM_CONTROL_CHANGE, reinterpret_cast<WPARAM>(handle),
                static_cast<LPARAM>(controlId));
  });
}

} // namespace platform::mixer
