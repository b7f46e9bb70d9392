#pragma once
// The texts of the waveform-audio result codes, kept beside the codes' meaning.

#include "platform/mmsystem.h"

namespace platform::wave {

// The text for a result code; nullptr for a code that has none.
const char* ErrorText(MMRESULT code);

// Copies the text for `code` into text[0..size-1], cut short and always terminated.
// MMSYSERR_BADERRNUM (and an empty text) for an unknown code; MMSYSERR_INVALPARAM without room.
MMRESULT CopyErrorText(MMRESULT code, LPSTR text, UINT size);

} // namespace platform::wave
