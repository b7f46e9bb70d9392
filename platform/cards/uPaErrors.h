#pragma once
// PortAudio's failures in the waveform API's terms: the result code a failed open gives the
// program, and the native detail that goes with it ("PortAudio -9996: Invalid device"; for a
// failure of the host interface below, what that interface said as well).

#include "platform/mmsystem.h"

#include <portaudio.h>

#include <string>

namespace platform::portaudio {

// The result code of an open that failed with `error`; MMSYSERR_ERROR where no code fits.
MMRESULT OpenResult(PaError error);

// "PortAudio <error>: <text>", followed for paUnanticipatedHostError by the host interface's
// own code and text in parentheses when `host` has them; empty for paNoError. `text` is the
// library's text for the error (Pa_GetErrorText); null or empty leaves only the code.
std::string PaErrorDetail(PaError error, const char* text, const PaHostErrorInfo* host);

// The same with the library's own texts (Pa_GetErrorText, Pa_GetLastHostErrorInfo). Call under
// PaLock(), right after the failing call: the host's information is the library's last.
std::string PaErrorDetail(PaError error);

} // namespace platform::portaudio
