#include "dravik/audio/uCaptureState.h"

namespace dravik {

TCaptureFlags FlagsOf(TCaptureState State) {
  using S = TCaptureState;
  switch (State) {
  case S::Idle: return {false, false, false, false, false};
  case S::ProbeOpening: return {false, true, true, false, false};
  case S::ProbeClosing: return {false, false, true, false, false};
  case S::Opening: return {false, true, false, false, false};
  case S::Running: return {true, true, false, false, false};
  case S::Resynchronising: return {true, true, false, true, false};
  case S::Stopping: return {true, true, false, false, true};
  case S::Closing: return {true, false, false, false, false};
  }
  return {};
}

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

const char* CaptureStateName(TCaptureState State) {
  using S = TCaptureState;
  switch (State) {
  case S::Idle: return "Idle";
  case S::ProbeOpening: return "ProbeOpening";
  case S::ProbeClosing: return "ProbeClosing";
  case S::Opening: return "Opening";
  case S::Running: return "Running";
  case S::Resynchronising: return "Resynchronising";
  case S::Stopping: return "Stopping";
  case S::Closing: return "Closing";
  }
  return "?";
}

} // namespace dravik
