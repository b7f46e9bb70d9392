#pragma once
// The signal path of one virtual box, sample by sample: the card's output level, the jig's
// circuit with the card's source impedance, each input's anti-alias filter, AC coupling, mixer
// level, gain, DC offset, noise and clipping, and the latency between output and input.
// Pure computation, no threads: the caller advances it in blocks of frames.

#include "platform/vmbox/uBoxConfig.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform::vmbox {

class TBoxSimulator {
public:
  TBoxSimulator(const TBoxConfig& config, double sampleRate);
  ~TBoxSimulator();
  TBoxSimulator(const TBoxSimulator&) = delete;
  TBoxSimulator& operator=(const TBoxSimulator&) = delete;

  // Advances the box by `frames` frames. outLeft: what the card plays on its left output channel
  // in full-scale units (nullptr = silence). inStereo receives `frames` interleaved (left, right)
  // input frames in full-scale units after levels, offsets, gains, channel responses, noise and
  // clipping at full scale (+-1); nullptr when nothing is recorded (the jig runs on, no noise is
  // drawn). Output and input run from one clock here; with a ClockPpm
  // other than 0 use the form below.
  void Process(const double* outLeft, size_t frames, double* inStereo);

  // The same with the output and input clocks apart: the card played `outFrames` output frames
  // while it recorded `inFrames` input frames. Output frames that the input has not reached yet
  // wait (up to a second); an input that runs ahead of the output hears silence, as a card does
  // after an output underrun.
  void Process(const double* outLeft, size_t outFrames, double* inStereo, size_t inFrames);

  // How many output frames the card plays while it records the next `inFrames` input frames,
  // given ClockPpm and the frames processed so far (the fractions carry over between calls).
  size_t OutputFramesFor(size_t inFrames) const;

  void SetOutputLevel(double level);             // 0..1, from the next frame on
  void SetInputLevel(int channel, double level); // 0..1, from the next frame on
  void SetShorted(bool shorted);                 // the switch: takes effect at the next block
  void Reset();                                  // clears all history (device reopened)

  double SampleRate() const;
  // Frames from a change at the output to its effect at the inputs (at least the delay of the
  // input's anti-alias filter).
  size_t LatencyFrames() const;
  // Length of the impulse responses that carry the circuit, chosen from its time constants.
  size_t FilterTaps() const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};

} // namespace platform::vmbox
