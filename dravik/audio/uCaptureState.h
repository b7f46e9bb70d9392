#pragma once
// The states of the capture device (TWaveIn) and the one place where they change. Each state
// implies the Boolean fields that the device's code reads; no other combination of them exists.
//
//   state            Active DeviceOpen Probing Resync Stopping  waiting for
//   Idle               .        .        .       .       .
//   ProbeOpening       .        x        x       .       .      the open notice of a test open
//   ProbeClosing       .        .        x       .       .      its close notice
//   Opening            .        x        .       .       .      the open notice of a run
//   Running            x        x        .       .       .      filled buffers
//   Resynchronising    x        x        .       x       .      the last buffer back: restart
//   Stopping           x        x        .       .       x      the last buffer back: close
//   Closing            x        .        .       .       .      the close notice of a run
//
// A test open whose close fails leaves the device open in Opening, where no notice comes any
// more; destruction then closes it. A stop asked for during a restart wins over the restart, so
// Resync and Stopping are never both set.

#include <cstdint>

namespace dravik {

enum class TCaptureState : uint8_t {
  Idle,
  ProbeOpening,
  ProbeClosing,
  Opening,
  Running,
  Resynchronising,
  Stopping,
  Closing,
};

// What happens to the device, in the words of the device's own steps.
enum class TCaptureEvent : uint8_t {
  ProbeOpened,      // waveInOpen of a test open succeeded
  RunOpened,        // waveInOpen of a run succeeded
  OpenNoticed,      // the open notice of a run arrived
  ProbeCloseFailed, // the open notice of a test open could not close the device
  DeviceClosed,     // waveInClose succeeded
  CloseNoticed,     // the close notice arrived
  RestartNeeded,    // samples were lost, or a level changed (Invalidate)
  StopRequested,    // a stop with buffers still queued: the device was reset
  QueueBack,        // the last queued buffer is back (or destruction gave the queue up)
};

struct TCaptureFlags {
  bool Active;     // open and running
  bool DeviceOpen; // waveInOpen succeeded and waveInClose has not yet
  bool Probing;    // a test open is in progress
  bool Resync;     // a restart after lost data is pending
  bool Stopping;   // a stop is pending: buffers are still coming back
};

// The row of the table above.
TCaptureFlags FlagsOf(TCaptureState State);

// The state after `Event`. An event that does not belong to a state leaves it as it is; the
// device's handlers look at the state before they act.
TCaptureState NextCaptureState(TCaptureState State, TCaptureEvent Event);

// "Running", "Resynchronising", ...: for test and failure messages.
const char* CaptureStateName(TCaptureState State);

} // namespace dravik
