#include "dravik/audio/uCaptureState.h"

#include <cstddef>
#include <iterator>

namespace dravik {

namespace {

struct TStateRow {
  const char* Name;
  TCaptureFlags Flags; // Active, DeviceOpen, Probing, Resync, Stopping
};

// The header's table, in the order of TCaptureState.
constexpr TStateRow Rows[] = {
    {"Idle", {false, false, false, false, false}},
    {"ProbeOpening", {false, true, true, false, false}},
    {"ProbeClosing", {false, false, true, false, false}},
    {"Opening", {false, true, false, false, false}},
    {"Running", {true, true, false, false, false}},
    {"Resynchronising", {true, true, false, true, false}},
    {"Stopping", {true, true, false, false, true}},
    {"Closing", {true, false, false, false, false}},
};
static_assert(std::size(Rows) == static_cast<size_t>(TCaptureState::Closing) + 1,
              "one row per state");

const TStateRow& RowOf(TCaptureState State) { return Rows[static_cast<size_t>(State)]; }

} // namespace

TCaptureFlags FlagsOf(TCaptureState State) { return RowOf(State).Flags; }

const char* CaptureStateName(TCaptureState State) { return RowOf(State).Name; }

TCaptureState NextCaptureState(TCaptureState State, TCaptureEvent Event) {
  using S = TCaptureState;
  using E = TCaptureEvent;
  switch (Event) {
  case E::ProbeOpened:
    // A test open nested in the wait of another one takes over the wait.
    if (State == S::Idle || State == S::ProbeClosing) return S::ProbeOpening;
    break;
  case E::RunOpened:
    // Idle() holds while a test open waits for its close notice, so a run may open then.
    if (State == S::Idle || State == S::ProbeClosing) return S::Opening;
    break;
  case E::OpenNoticed:
    if (State == S::Opening) return S::Running;
    break;
  case E::ProbeCloseFailed:
    if (State == S::ProbeOpening) return S::Opening;
    break;
  case E::DeviceClosed:
    if (State == S::ProbeOpening) return S::ProbeClosing;
    if (State == S::Opening) return S::Idle;
    if (State == S::Running || State == S::Resynchronising) return S::Closing;
    break;
  case E::CloseNoticed:
    if (State == S::ProbeClosing || State == S::Closing) return S::Idle;
    break;
  case E::RestartNeeded:
    if (State == S::Running) return S::Resynchronising;
    break;
  case E::StopRequested:
    if (State == S::Running || State == S::Resynchronising) return S::Stopping;
    break;
  case E::QueueBack:
    if (State == S::Resynchronising || State == S::Stopping) return S::Running;
    break;
  }
  return State;
}

} // namespace dravik
