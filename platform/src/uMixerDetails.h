#pragma once
// Control values and item texts (mixerGetControlDetailsA, mixerSetControlDetails): the checks
// of the details record against the control, the conversion between what the caller passes
// (one channel or all) and what the device keeps (every channel of a control that is not
// uniform), and the checks of the values themselves.

#include "platform/src/uMixerBackend.h"

#include <vector>

namespace platform::mixer {

// `query` is the MIXER_GETCONTROLDETAILSF_* part of the flags. The record pointer has been
// checked for null.
MMRESULT GetDetails(TMixerDevice& device, MIXERCONTROLDETAILS& details, DWORD query);
// `query` is the MIXER_SETCONTROLDETAILSF_* part of the flags.
// A write the device refuses comes back with its native detail.
TBackendResult SetDetails(TMixerDevice& device, const MIXERCONTROLDETAILS& details, DWORD query);

// Checks a full set of values (control.ValueCount()) and brings Booleans to 0 or 1: a nonzero
// switch or item value means "on". MIXERR_INVALVALUE for a value outside the control's bounds or
// a single-select control without exactly one item on in each channel; MMSYSERR_INVALPARAM for
// the wrong count. Meters are read-only (MIXERR_INVALCONTROL).
MMRESULT CheckValues(const TControlNode& control, std::vector<DWORD>& values);

} // namespace platform::mixer
