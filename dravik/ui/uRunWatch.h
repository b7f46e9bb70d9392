#pragma once
// Watches a run for a capture that delivers nothing. A Start shows "Stop" at once and then
// waits for the capture's buffers; a device that opens but never returns one (or a capture that
// never opened) would leave the window waiting for ever without a word. The watch counts the
// buffers the capture has had back and tells when that count has not moved for longer than the
// run's blocks can explain. Only time in which buffers are due counts: a calibration stops the
// capture between its steps, and a window busy with a long computation cannot see buffers that
// arrived meanwhile, so neither may read as a stalled device.

#include <cstdint>

namespace dravik {

// Seconds without a returned buffer after which a run counts as stalled: a second for the
// device to open and start, three blocks for the buffers queued ahead of the first one (the
// false buffer, a sound server's latency), and a second of margin.
double StalledCaptureSeconds(uint32_t BlockFrames, uint32_t SampleRate);

// When the window looks: the device's clock (which the virtual card's fast mode runs many
// times faster than real time) and real time, both in seconds.
struct TWatchTime {
  double Device = 0;
  double Real = 0;
};

class TRunWatch {
public:
  // A run starts: the count of returned buffers now, at this time.
  void Begin(uint64_t Buffers, TWatchTime Now);
  void End() { FWatching = false; }
  bool Watching() const { return FWatching; }
  // True once per run, when the count has stayed where it was for more than LimitSeconds on
  // both clocks since Begin, since it last moved or since the last look that did not count
  // (Counting false: no buffers due, or a look that came late); the watch then ends. Both
  // clocks must pass the limit: on a real card they run together, and a fast virtual card
  // must not read as stalled while the window merely lags its clock.
  bool Stalled(uint64_t Buffers, bool Counting, TWatchTime Now, double LimitSeconds);

private:
  bool FWatching = false;
  uint64_t FBuffers = 0;
  TWatchTime FLastMove;
};

} // namespace dravik
