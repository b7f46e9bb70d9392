#pragma once
// Carries what the card plays to the moment its inputs hear it: a queue of output frames read
// back a fixed number of frames later, and, when the output clock runs apart from the input
// clock by some parts per million, read at the output clock's pace by band-limited (windowed
// sinc) interpolation. With equal clocks the frames pass untouched.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::vmbox {

class TClockBridge {
public:
  // delay: input frames between playing a frame and hearing it (at least MinDelay(ppm)).
  TClockBridge(size_t delay, double ppm, double sampleRate);

  // The least delay that leaves room for the interpolation.
  static size_t MinDelay(double ppm);

  // Queues n output frames, scaled (nullptr: silence). Frames more than a second (at least 8192
  // frames) beyond what the input has reached are dropped, oldest first, as a card drops what it
  // cannot play.
  void Write(const double* out, size_t n, double scale);

  // The next n input-clock samples. Where the output has not been written yet the card plays
  // silence (an underrun), and frames written later follow after it.
  void Read(double* x, size_t n);

  // Output frames played while the input records the next inFrames frames.
  size_t OutputFramesFor(size_t inFrames) const;

  void Reset();

private:
  long double Position(uint64_t frame) const; // queue index that input frame `frame` hears
  void Pad(uint64_t end);                     // silence up to (not including) queue index end
  double At(int64_t index) const;             // 0 outside what is kept
  double Interpolate(long double pos) const;
  void Discard(uint64_t below);

  size_t Delay;
  long double Ratio; // output frames per input frame
  bool Resampling;
  size_t MaxWait;             // frames that may wait beyond the read position
  std::vector<double> Kernel; // (Phases + 1) rows of 2*HalfWidth weights
  std::vector<double> Queue;
  uint64_t QueueStart = 0; // queue index of Queue[0]
  uint64_t Written = 0;    // queue index after the newest frame
  uint64_t Recorded = 0;   // input frames read so far
  uint64_t Played = 0;     // output frames written so far
  long double Skip = 0;    // frames dropped on overflow
};

} // namespace platform::vmbox
