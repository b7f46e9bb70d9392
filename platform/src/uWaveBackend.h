#pragma once
// What a back end offers to the waveform-audio front end, and the one table that lists the back
// ends. Device numbers run through the table in order: real sound cards first, the virtual
// measuring box last (it is always present).
//
// The front end has already checked, before it calls a device: the device number, the flags,
// the callback, and that the format is self-consistent PCM (tag 1, nBlockAlign and
// nAvgBytesPerSec derived from channels, bits and rate). CheckFormat only decides whether the
// device can work with it.

#include "platform/mmsystem.h"
#include "platform/src/uNativeDetail.h"
#include "platform/src/uWaveNotifier.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::wave {

class TWaveStream;

class TWaveDevice {
public:
  virtual ~TWaveDevice() = default;
  virtual bool Present() const = 0; // false once the device has gone away
  virtual std::string Name() const = 0; // whole; the capabilities hold its beginning
  // The sound card the device is on, shared by its devices; the device's name where none is
  // known.
  virtual std::string CardName() const { return Name(); }
  virtual DWORD Formats() const = 0; // WAVE_FORMAT_* bits
  virtual WORD Channels() const = 0;
  virtual DWORD Support() const = 0; // WAVECAPS_* bits (playback)
  virtual MMRESULT CheckFormat(const WAVEFORMATEX& format) const = 0;
  // The device starts serving an opened stream (MMSYSERR_ALLOCATED when it serves another);
  // a failure of the back end's library comes with its native detail.
  virtual TBackendResult Attach(const std::shared_ptr<TWaveStream>& stream) = 0;
  virtual void Detach(const TWaveStream& stream) = 0;

  // The native detail of the device's last open (empty after a success), which the front end
  // notes: a failed open leaves no handle to keep it.
  TNativeDetail LastOpen;
};

class TWaveBackend {
public:
  virtual ~TWaveBackend() = default;
  virtual std::vector<std::shared_ptr<TWaveDevice>> Devices(TDirection direction) = 0;
};

// The devices of every back end in table order (only the virtual ones when VMBOX_ONLY=1).
std::vector<std::shared_ptr<TWaveDevice>> AllDevices(TDirection direction);

} // namespace platform::wave
