#pragma once
// How far the virtual card's clock may move. The clock counts nanoseconds of card time; each
// device turns it into frames at its own rate, so devices at one rate always agree on how many
// frames a step holds.
//
// In fast mode the card runs as fast as the programs hand back buffers, and no faster:
// - a recording input whose queue is empty holds the clock (nothing is dropped on its own), and a
//   step never records more frames than the queued buffers can take;
// - while a program still holds prepared buffers of a device (it is expected to hand them back),
//   the card keeps a reserve of about 20 ms queued on that device, waiting up to a grace period
//   of wall time for the program before it goes on without it. A program that checks its
//   capture position against its queued buffers thus finds the same slack as in real time, and
//   playback has no gaps however slowly the program writes;
// - with nothing to record or play, the clock stands still.

#include "platform/src/uWaveStream.h"

#include <cstdint>
#include <vector>

namespace platform::vmbox {

constexpr uint64_t NsPerSecond = 1000000000ull;
// One step of the card: a few milliseconds of frames.
constexpr uint64_t StepNs = 4000000ull;
// Wall time that the fast card waits for a program that has fallen below the reserve: long
// enough for a busy window thread (a redraw, a sanitizer build, a loaded machine), short enough
// that a program which keeps buffers back for good is not stuck for long.
constexpr uint64_t GraceNs = 1000000000ull;

// Frames at `rate` from card time 0 to card time ns (rounded down).
uint64_t FramesAt(uint64_t ns, uint32_t rate);
// The frames of one step of the card at `rate`.
inline uint64_t FramesBetween(uint64_t t0, uint64_t t1, uint32_t rate) {
  return FramesAt(t1, rate) - FramesAt(t0, rate);
}
// The latest card time up to which a device at `rate`, starting at t0, uses at most `frames`.
uint64_t LatestTimeFor(uint64_t t0, uint32_t rate, uint64_t frames);
// The reserve kept queued on a device whose program holds buffers back.
uint64_t ReserveFrames(uint32_t rate);

struct TPaceInput {
  wave::TDemand Demand;
  bool Waived = false; // the grace period ran out; no reserve kept until the program queues again
};

enum class TPaceKind {
  Advance, // run the card up to EndNs
  Wait,    // nothing may move until a program does something
  Grace,   // wait for the programs of the devices in Low, at most the grace period
};

struct TPace {
  TPaceKind Kind = TPaceKind::Wait;
  uint64_t EndNs = 0;
  std::vector<size_t> Low; // indices into the inputs
};

// The fast card's next step from card time nowNs.
TPace PaceFast(uint64_t nowNs, const std::vector<TPaceInput>& devices);

} // namespace platform::vmbox
