#pragma once
// The open devices by handle, in a handle table: a closed, stale or made-up handle is found
// missing and never dereferenced.

#include "platform/src/uWaveBackend.h"
#include "platform/src/uWaveStream.h"

#include <memory>

namespace platform::wave {

struct TOpenDevice {
  std::shared_ptr<TWaveStream> Stream;
  std::shared_ptr<TWaveDevice> Device;
  explicit operator bool() const { return Stream != nullptr; }
};

void* NewWaveHandle();
void AddOpenDevice(void* handle, TOpenDevice device);
// The device behind a handle of the given direction; empty when there is none.
TOpenDevice FindOpenDevice(void* handle, TDirection direction);
void RemoveOpenDevice(void* handle);

} // namespace platform::wave
