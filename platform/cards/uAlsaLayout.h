#pragma once
// The lines and controls of an ALSA mixer as a mixer-API topology, and what each control acts
// on. Playback elements form the speakers destination: the master element ("Master", else the
// first playback element) gives its volume and mute, every other playback element is a source
// line with its own. Capture elements form the recording destination: each is a source line
// with its volume (and its capture switch as a mute); a capture source enumeration becomes the
// destination's selector, each of its items routing the source line of the same name (a line
// without controls where no element has that name).

#include "platform/cards/uAlsaLibrary.h"
#include "platform/src/uMixerTopology.h"

#include <map>
#include <string>
#include <vector>

namespace platform::alsa {

enum class TPart { PlaybackVolume, PlaybackMute, CaptureVolume, CaptureMute, CaptureSource };

// What a control of the topology acts on.
struct TBinding {
  snd_mixer_elem_t* Element = nullptr;
  TPart Part = TPart::PlaybackVolume;
};

struct TAlsaLayout {
  mixer::TMixerTopology Topology;
  std::map<DWORD, TBinding> Bindings; // by control id
};

// The layout of a loaded mixer named `name`. Call under the mixer's lock.
TAlsaLayout BuildLayout(const TAlsaApi& api, snd_mixer_t* handle, const std::string& name);

} // namespace platform::alsa
