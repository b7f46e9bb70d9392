#pragma once
// The open mixer handles. A handle is a number from a counter that never repeats, far above
// any mixer device number (MIXER_OBJECTF_MIXER accepts both): a closed, stale or made-up handle
// is found missing and never dereferenced. Any number of handles may be open on one mixer.

#include "platform/src/uMixerBackend.h"

#include <memory>

namespace platform::mixer {

struct TOpenMixer {
  std::shared_ptr<TMixerDevice> Device;
  HWND Window = nullptr; // receives change notices; nullptr for CALLBACK_NULL
  // The native detail of the last call made through this handle (shared by the copies that
  // FindOpenMixer hands out).
  std::shared_ptr<TNativeDetail> LastCall = std::make_shared<TNativeDetail>();
  explicit operator bool() const { return Device != nullptr; }
};

HMIXER AddOpenMixer(TOpenMixer mixer);
// The mixer behind a handle; empty when there is none.
TOpenMixer FindOpenMixer(const void* handle);
// false when the handle was not open.
bool RemoveOpenMixer(HMIXER handle);

} // namespace platform::mixer
