#pragma once
// ALSA's failures in the mixer API's terms: the result code of a write the library refused (it
// answers with a negative error number) and the native detail that goes with it ("ALSA -16:
// Device or resource busy").

#include "platform/mmsystem.h"

#include <string>

namespace platform::alsa {

// The result code for the library's answer `error` (0 or a negative error number):
// MMSYSERR_NOERROR for 0, MMSYSERR_ERROR where no code fits.
MMRESULT WriteResult(int error);

// "ALSA <error>: <text>" (text from snd_strerror; null or empty leaves only the number); empty
// for an answer that is not an error.
std::string AlsaErrorDetail(int error, const char* text);

} // namespace platform::alsa
