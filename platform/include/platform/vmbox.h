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
std::string BoxName(size_t box);
// The waveform device number of a box's input or output (the virtual devices follow the real
// ones); WAVE_MAPPER for an unknown box.
UINT DeviceId(size_t box, TPort port);
// Seconds of audio the card has run since it was built.
double AudioSeconds();

// ---- The jig and the mixer levels (0..1) ----

void SetShorted(size_t box, bool shorted);
void SetOutputLevel(size_t box, double level);
void SetInputLevel(size_t box, int channel, double level);
double OutputLevel(size_t box);
double InputLevel(size_t box, int channel);

// ---- Faults and test settings (all cleared by Reinitialise and ClearFaults) ----

// The next `count` calls named `call` ("waveInOpen", "waveOutWrite", ...) return `code` and do
// nothing; count 0xFFFFFFFF: until cleared.
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
