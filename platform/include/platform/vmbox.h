#pragma once
// The virtual measuring box as tests see it: one simulated sound card carrying several boxes
// (jigs), each offered as one stereo input and one stereo output device of the waveform API with
// the box's name. A box's output is heard only by its own input, through its circuit, and only
// while both are open at the same sampling rate (at different rates the input hears silence).
//
// The card runs in real time (paced by a steady clock) or fast: as fast as the programs hand
// back buffers, never dropping samples on its own, with the platform's time of day following the
// audio clock. The environment chooses at first use: VMBOX_SPEED=fast, VMBOX_CIRCUITS (the boxes),
// VMBOX_ONLY=1 (no real sound cards in the device lists).
//
// Box numbers count from 0 in the order of the configuration; calls with an unknown box number
// do nothing.

#include "platform/mixer.h"
#include "platform/mmsystem.h"
#include "platform/vmbox/uBoxConfig.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::vmbox {

enum class TSpeed { RealTime, Fast };
enum class TPort { Input, Output };

// ---- The card ----

// Builds a new card with these boxes at this speed and clears every fault and test setting.
// Devices still open on the old card vanish: their buffers come back, later calls answer
// MMSYSERR_NODRIVER, closing still works.
void Reinitialise(const std::vector<TBoxConfig>& boxes, TSpeed speed);
// The same with the boxes and speed that the environment asks for.
void ReinitialiseFromEnvironment();

TSpeed Speed();
size_t BoxCount();
// The whole name that a box's devices and mixer go by (TBoxConfig::DevicesName).
std::string BoxName(size_t box);
// The reference resistor of a box's jig, in ohms (0 for an unknown box).
double ReferenceResistance(size_t box);
// The circuit of a box's jig (a default circuit for an unknown box).
TCircuit BoxCircuit(size_t box);
// The waveform device number of a box's input or output (the virtual devices follow the real
// ones); WAVE_MAPPER for an unknown box.
UINT DeviceId(size_t box, TPort port);
// Seconds of audio the card has run since it was built.
double AudioSeconds();

// ---- The jig and the card's levels (0..1) ----

// The card's own levels, before the box's mixer: what the box plays and records is scaled by
// these and by its mixer's settings (platform/vmbox/uVirtualMixer.h); the mixer's defaults
// leave them as they are. OutputLevel / InputLevel read back what was set here (or configured);
// AppliedOutputLevel / AppliedInputLevel the levels in force after the mixer.
void SetShorted(size_t box, bool shorted);
void SetOutputLevel(size_t box, double level);
void SetInputLevel(size_t box, int channel, double level);
double OutputLevel(size_t box);
double InputLevel(size_t box, int channel);
double AppliedOutputLevel(size_t box);
double AppliedInputLevel(size_t box, int channel);

// ---- The boxes' mixers ----
// Every box has a mixer of the mixer API, laid out as platform/vmbox/uVirtualMixerLayout.h
// describes: a speakers destination (master volume and mute; sources wave, line in and CD,
// each with volume and mute) and a recording destination (volume and a MUX; sources CD, line
// in and microphone, each with a volume). The box's circuit is wired to the recording line in.
// Values are given as the mixer keeps them: channel by channel, items within a channel, one
// channel for a uniform control.

// The mixer device number of a box (0xFFFFFFFF for an unknown box).
UINT MixerId(size_t box);
// The id of the first control of `controlType` (MIXERCONTROL_CONTROLTYPE_*) on the box's
// destination of `destinationType` (MIXERLINE_COMPONENTTYPE_DST_*), or on that destination's
// first source of `sourceType` when it is not 0; 0xFFFFFFFF when there is none.
DWORD MixerControlId(size_t box, DWORD destinationType, DWORD sourceType, DWORD controlType);
// Every value of a control (empty for an unknown box or control).
std::vector<DWORD> MixerValues(size_t box, DWORD controlId);
// Another program writes a control; every open handle gets a change notice when a value
// changed. MIXERR_INVALCONTROL, MIXERR_INVALVALUE or MMSYSERR_INVALPARAM (wrong count) when the
// write is refused, MMSYSERR_BADDEVICEID for an unknown box.
MMRESULT ChangeMixerControl(size_t box, DWORD controlId, const std::vector<DWORD>& values);
// Another program holds a control at its present values: after every change by anyone else it
// writes them back at once, with a change notice of its own. A program that captures controls
// by writing probe values and reading them back finds the control held. False for an unknown
// box or control. Held controls are released by ReleaseMixerControl, ClearFaults, ResetMixers
// and Reinitialise. A program that has already taken a control over and writes its own value
// back on every notice fights the holder without end, as it would fight a real program.
bool HoldMixerControl(size_t box, DWORD controlId);
void ReleaseMixerControl(size_t box, DWORD controlId);
// Every mixer back at its defaults (with change notices for the controls that change), holds
// released.
void ResetMixers();

// ---- Faults and test settings (all cleared by Reinitialise and ClearFaults) ----

// The next `count` calls named `call` ("waveInOpen", "waveOutWrite", "mixerOpen",
// "mixerSetControlDetails", ...) return `code` and do nothing; count 0xFFFFFFFF: until cleared.
void FailCall(const std::string& call, MMRESULT code, unsigned count = 1);
void FailNextOpen(TPort port, MMRESULT code);
// The box's input throws away its next `frames` frames; its position still counts them.
void LoseSamples(size_t box, uint32_t frames);
// The device goes away while running: queued buffers come back, later calls answer
// MMSYSERR_NODRIVER (closing and unpreparing still work), and it can no longer be opened.
void Vanish(size_t box, TPort port);
// Finished buffers of the device come back this many milliseconds of card time late.
void SetReturnDelay(size_t box, TPort port, unsigned milliseconds);
// The highest sampling rate that the devices accept (192000 unless lowered; at least 8000).
void SetMaxSampleRate(uint32_t rate);
// Devices opened from now on start their position counters here (to test the wrap at 2^32).
void SetPositionStart(uint32_t start);
// The box's output reports WAVECAPS_SYNC and refuses an open without WAVE_ALLOWSYNC.
void SetSynchronousOutput(size_t box, bool synchronous);
void ClearFaults();

} // namespace platform::vmbox
