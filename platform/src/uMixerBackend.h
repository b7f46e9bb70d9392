#pragma once
// What a back end offers to the mixer front end, and the one table that lists the back ends.
// Mixer device numbers run through the table in order: real sound cards first, the virtual
// measuring box last (its mixers follow the real ones, as its waveform devices do).
//
// The front end has already checked, before it calls a device: the mixer object and flags, the
// record sizes, the control id (the node passed belongs to the device's own topology), the
// channel and item counts, and the values (every value of the control, within its bounds,
// Booleans 0 or 1, one item per channel of a single-select control). Values and SetValues then
// only deal with the normal case.

#include "platform/mixer.h"
#include "platform/src/uMixerTopology.h"
#include "platform/src/uNativeDetail.h"
#include "platform/src/uWaveNotifier.h"

#include <memory>
#include <vector>

namespace platform::wave {
class TWaveStream;
}

namespace platform::mixer {

// A waveform device as a mixer call names it: by its number in the list of its direction, or
// by the stream behind an open handle.
struct TWaveObject {
  wave::TDirection Direction = wave::TDirection::In;
  UINT Id = 0xFFFFFFFFu;
  const wave::TWaveStream* Stream = nullptr;
};

class TMixerDevice {
public:
  virtual ~TMixerDevice() = default;
  virtual bool Present() const = 0; // false once the device has gone away
  // The device's lines and controls; fixed for its life.
  virtual const TMixerTopology& Topology() const = 0;
  // Every value of a control: Channels x items, channel by channel.
  virtual std::vector<DWORD> Values(const TControlNode& control) = 0;
  // Stores every value of a control; announces the change when a value changed. A write the
  // device refuses answers with its result code (and its library's detail); the values it does
  // hold afterwards are what Values reads.
  virtual TBackendResult SetValues(const TControlNode& control,
                                   const std::vector<DWORD>& values) = 0;

  // The native detail of the last call that named this device (by number, by waveform device
  // or through any of its handles), which the front end notes.
  TNativeDetail LastCall;

protected:
  // Posts MM_MIXM_CONTROL_CHANGE for the control to every open handle of this device that has a
  // window callback. Called under the device's own lock, so notices leave in change order.
  void AnnounceChange(DWORD controlId) const;
};

class TMixerBackend {
public:
  virtual ~TMixerBackend() = default;
  virtual std::vector<std::shared_ptr<TMixerDevice>> Mixers() = 0;
  // The mixer of this back end that serves a waveform device; nullptr when none does.
  virtual std::shared_ptr<TMixerDevice> MixerOf(const TWaveObject& wave) = 0;
};

// The mixers of every back end in table order (only the virtual ones when VMBOX_ONLY=1).
std::vector<std::shared_ptr<TMixerDevice>> AllMixers();
// The mixer that serves a waveform device, from whichever back end has it; nullptr for none.
std::shared_ptr<TMixerDevice> MixerOfWave(const TWaveObject& wave);
// The device number of a mixer; 0xFFFFFFFF when it is no longer listed.
UINT MixerNumber(const TMixerDevice& device);

} // namespace platform::mixer
