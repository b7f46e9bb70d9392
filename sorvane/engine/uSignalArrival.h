#pragma once
// Waits, at the start of a capture, for the test signal to reach the inputs and for the circuit
// to settle. The card plays and records from the same moment, but what it plays arrives only
// after its latency (a few to a few hundred milliseconds, by card and sound server): a block
// recorded before holds silence, one recorded as the signal begins holds the start-up transient
// of the circuit and of the inputs' AC coupling, and either gives a reading far from the truth.

#include <cstdint>

#include "sorvane/engine/uWaveControl.h"

namespace sorvane {

class TSignalArrival {
public:
  // A step between two samples of either input larger than this (about 1e-3 of full scale)
  // is the signal: noise and hum step by a few units, a DC offset not at all, while the test
  // signal, even the level check's tone at a low level, steps by hundreds.
  static constexpr int ArrivalStep = 32;
  // After the arrival the circuit settles: the inputs' coupling corners of a few hertz decay
  // with a time constant of some 50 ms, so four of them leave under 2 % of the step.
  static constexpr double SettleSeconds = 0.2;
  // A signal that has not arrived within this time will not: the frames are then passed on
  // as they are, so that a check on silence still sees it and says so.
  static constexpr double LongestWaitSeconds = 1.0;

  // Waits again, at `rate` frames per second (0: does not wait).
  void Reset(unsigned rate);
  // Whether `frame` comes after the signal has arrived and settled (or the wait ran out).
  bool Settled(const TStereoFrame& frame);

private:
  enum class TPhase : uint8_t { Waiting, Settling, Settled };
  TPhase Phase = TPhase::Settled;
  TStereoFrame Previous{0, 0};
  bool HasPrevious = false;
  int64_t Remaining = 0; // frames left to wait (Waiting) or to settle (Settling)
  int64_t SettleFrames = 0;
};

} // namespace sorvane
