#include "platform/src/uWaveNotifier.h"

#include "platform/kernel.h"
#include "platform/messages.h"

namespace platform::wave {
namespace {

UINT MessageFor(TNotice notice, TDirection direction) {
  const bool in = direction == TDirection::In;
  switch (notice) {
  case TNotice::Open: return in ? MM_WIM_OPEN : MM_WOM_OPEN;
  case TNotice::Done: return in ? MM_WIM_DATA : MM_WOM_DONE;
  case TNotice::Close: return in ? MM_WIM_CLOSE : MM_WOM_CLOSE;
  }
  return 0;
}

} // namespace

MMRESULT TNotifier::Make(DWORD flags, DWORD_PTR callback, TDirection direction, TNotifier& out) {
  out = TNotifier{};
  out.Direction = direction;
  out.Target = callback;
  switch (flags & CALLBACK_TYPEMASK) {
  case CALLBACK_NULL: return MMSYSERR_NOERROR;
  case CALLBACK_WINDOW: out.Mode = TMode::Window; break;
  case CALLBACK_EVENT: out.Mode = TMode::Event; break;
  case CALLBACK_FUNCTION:
  case CALLBACK_THREAD: return MMSYSERR_NOTSUPPORTED;
  default: return MMSYSERR_INVALFLAG;
  }
  return callback ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
}

void TNotifier::Send(TNotice notice, void* deviceHandle, WAVEHDR* header) const {
  switch (Mode) {
  case TMode::None: return;
  case TMode::Window:
    // A window that has gone away receives nothing; the driver carries on regardless.
    PostMessage(reinterpret_cast<HWND>(Target), MessageFor(notice, Direction),
                reinterpret_cast<WPARAM>(deviceHandle), reinterpret_cast<LPARAM>(header));
    return;
  case TMode::Event: SetEvent(reinterpret_cast<HANDLE>(Target)); return;
  }
}

} // namespace platform::wave
