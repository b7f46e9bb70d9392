#pragma once
// One-line descriptions of a mixer line and a mixer control, appended to the mixer objects'
// error reports so that a failure in the log names the line or control concerned with its kind
// and its counts. Pure functions: no state, no device.

#include <string>

#include "platform/mixer.h"

namespace dravik {

// "\"Name\": [TARGET] <COMPONENT> Ch= 2 Ctrls= 3"
std::string LineText(const MIXERLINEA& Line);

// "\"Name\" <TYPE> | MULTIPLE | Multi= 3 ID= 7"
std::string ControlText(const MIXERCONTROLA& Control);

} // namespace dravik
