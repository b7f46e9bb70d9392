#pragma once
// Result codes forced on named waveform-audio calls, for tests of the programs' failure paths.
// A forced call returns its code at once and changes nothing.

#include "platform/mmsystem.h"

#include <string>

namespace platform::wave {

constexpr unsigned ForeverCount = 0xFFFFFFFFu;

// The next `count` calls of `call` (e.g. "waveInOpen") return `code`; ForeverCount: until
// cleared.
void ForceResult(const std::string& call, MMRESULT code, unsigned count);
void ClearForcedResults();
// The forced code for this call (consumed), or MMSYSERR_NOERROR.
MMRESULT TakeForcedResult(const char* call);

} // namespace platform::wave
