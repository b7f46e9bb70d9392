#pragma once
// Which mixer a call means: the MIXER_OBJECTF_* part of its flags says how to read the object
// value (a mixer device number or open mixer handle, a waveform device number or open waveform
// handle), and the mixer serving it is looked up.

#include "platform/src/uMixerBackend.h"
#include "platform/src/uMixerRegistry.h"

#include <memory>

namespace platform::mixer {

constexpr DWORD ObjectFlagsMask = 0xF0000000u;

// The mixer named by `object` under the object part of `flags`, present or gone. Result codes:
// MMSYSERR_INVALFLAG for an unknown object kind, MMSYSERR_BADDEVICEID for a device number
// outside its list, MMSYSERR_INVALHANDLE for a handle that is not open, MMSYSERR_NODRIVER when
// no mixer serves the waveform device.
MMRESULT FindMixer(const void* object, DWORD flags, std::shared_ptr<TMixerDevice>& mixer);

// The same, refusing a mixer that has gone away (MMSYSERR_NODRIVER).
MMRESULT FindPresentMixer(const void* object, DWORD flags, std::shared_ptr<TMixerDevice>& mixer);

// The open handle that `object` names under `flags` (MIXER_OBJECTF_HMIXER, or
// MIXER_OBJECTF_MIXER given a handle); empty for a device number or a waveform object.
TOpenMixer OpenMixerOf(const void* object, DWORD flags);

} // namespace platform::mixer
