#pragma once
// What a failed wave or mixer call means to the person at the instrument and what to try, one
// sentence per result code. The programs put it after the failure's own text, so every log line
// and message keeps its beginning and ends with something a person can act on.

#include <string>

#include "platform/mmsystem.h"

namespace platform {

// One sentence ending in a full stop; empty for MMSYSERR_NOERROR. A code without an entry of its
// own gets the advice for a failure of unknown cause.
std::string ResultAdvice(MMRESULT code);

// The text followed by the code's advice ("Open: MMSYSERR_NODRIVER. The device ..."): a full
// stop closes a text that ends in neither one nor a blank. The text alone for MMSYSERR_NOERROR.
std::string WithAdvice(const std::string& text, MMRESULT code);

// A report's line followed by the native detail of its failure in brackets ("... press Start
// again. [PortAudio -9996: Invalid device]"), from waveInGetNativeError, waveOutGetNativeError
// or mixerGetNativeError; the line as it is where the detail is empty.
std::string WithNativeDetail(const std::string& line, const std::string& detail);

} // namespace platform
