#pragma once
// Where an open device sends its notices: nowhere (CALLBACK_NULL), a window (posted message)
// or an event object (set). Built from the open call's flags and callback value.

#include "platform/mmsystem.h"

namespace platform::wave {

enum class TDirection { In, Out };

enum class TNotice { Open, Done, Close };

class TNotifier {
public:
  // Checks the callback part of the open flags. CALLBACK_FUNCTION and CALLBACK_THREAD are
  // refused with MMSYSERR_NOTSUPPORTED, other unknown kinds with MMSYSERR_INVALFLAG, a missing
  // window or event with MMSYSERR_INVALPARAM.
  static MMRESULT Make(DWORD flags, DWORD_PTR callback, TDirection direction, TNotifier& out);

  // Sends one notice; `header` is the returned buffer of a Done notice, else nullptr.
  void Send(TNotice notice, void* deviceHandle, WAVEHDR* header) const;

private:
  enum class TMode { None, Window, Event };
  TMode Mode = TMode::None;
  DWORD_PTR Target = 0;
  TDirection Direction = TDirection::In;
};

} // namespace platform::wave
