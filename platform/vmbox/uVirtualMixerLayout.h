#pragma once
// The mixer of a virtual box, laid out as a common sound card's:
//
//   destination "Speakers" (speakers, stereo, target: the box's output)
//     controls  "Master Volume" (per channel), "Master Mute" (uniform)
//     sources   "Wave" (wave output), "Line In" (line), "CD Audio" (compact disc),
//               each with a volume (per channel) and a mute (uniform)
//   destination "Recording Control" (wave input, stereo, target: the box's input)
//     controls  "Recording Volume" (per channel), "Recording Source" (uniform MUX, one item per
//               source in source order)
//     sources   "CD Audio" (compact disc), "Line In" (line), "Microphone" (microphone),
//               each with a volume (per channel)
//
// Defaults: master, wave, recording and recording line volumes at full scale (65535), every
// mute off, "Line In" selected for recording; the other volumes at 49152, as a user might have
// left them. At the defaults the box sounds exactly as it does without a mixer.

#include "platform/src/uMixerTopology.h"

#include <map>
#include <string>
#include <vector>

namespace platform::vmbox {

// The controls that act on the box's sound, by id.
struct TBoxMixerControls {
  DWORD MasterVolume = 0;
  DWORD MasterMute = 0;
  DWORD WaveVolume = 0;
  DWORD WaveMute = 0;
  DWORD RecordingVolume = 0;
  DWORD RecordingSource = 0; // the MUX
  DWORD LineVolume = 0;      // of the recording line the box's circuit is wired to
  DWORD LineItem = 0;        // that line's item of the MUX
};

struct TBoxMixerLayout {
  mixer::TMixerTopology Topology;
  TBoxMixerControls Controls;
  std::map<DWORD, std::vector<DWORD>> Defaults; // every control's values by id
};

// The id of the first control of `controlType` on the destination of `destinationType`, or on
// its first source of `sourceType` when that is not 0; 0xFFFFFFFF when there is none.
DWORD FindControlId(const mixer::TMixerTopology& topology, DWORD destinationType,
                    DWORD sourceType, DWORD controlType);

// The layout for a box of this name whose devices have these waveform device numbers.
TBoxMixerLayout BoxMixerLayout(const std::string& boxName, UINT waveInId, UINT waveOutId);

} // namespace platform::vmbox
