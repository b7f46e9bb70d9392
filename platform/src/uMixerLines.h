#pragma once
// Line and control queries (mixerGetLineInfoA, mixerGetLineControlsA), answered from a mixer's
// topology. The record pointer has been checked for null; sizes and query flags are checked
// here.

#include "platform/src/uMixerTopology.h"

namespace platform::mixer {

// `query` is the MIXER_GETLINEINFOF_* part of the flags.
MMRESULT GetLineInfo(const TMixerTopology& topology, MIXERLINEA& line, DWORD query);
// `query` is the MIXER_GETLINECONTROLSF_* part of the flags.
MMRESULT GetLineControls(const TMixerTopology& topology, MIXERLINECONTROLSA& controls,
                         DWORD query);

} // namespace platform::mixer
