#include "platform/src/uMixerDetails.h"

#include <algorithm>

namespace platform::mixer {
namespace {

DWORD ClassOf(const TControlNode& control) {
  return control.Info.dwControlType & MIXERCONTROL_CT_CLASS_MASK;
}

bool SingleSelect(const TControlNode& control) {
  const DWORD type = control.Info.dwControlType;
  return type == MIXERCONTROL_CONTROLTYPE_MUX || type == MIXERCONTROL_CONTROLTYPE_SINGLESELECT;
}

// The caller may name one channel (the same value for all) or, for a control that is not
// uniform, every channel of the line; a MULTIPLE control is addressed with all its items.
MMRESULT CheckShape(const TControlNode& control, const MIXERCONTROLDETAILS& details,
                    size_t itemSize) {
  if (details.cChannels != 1 && details.cChannels != control.Channels) return MMSYSERR_INVALPARAM;
  const DWORD items = control.Multiple() ? control.Info.cMultipleItems : 0;
  if (details.cMultipleItems != items) return MMSYSERR_INVALPARAM;
  if (details.cbDetails != itemSize || !details.paDetails) return MMSYSERR_INVALPARAM;
  return MMSYSERR_NOERROR;
}

// The control named by a details record, after the record's own size.
MMRESULT FindControl(const TMixerDevice& device, const MIXERCONTROLDETAILS& details,
                     const TControlNode*& control) {
  if (details.cbStruct != sizeof(MIXERCONTROLDETAILS)) return MMSYSERR_INVALPARAM;
  control = device.Topology().Control(details.dwControlID);
  return control ? MMSYSERR_NOERROR : MIXERR_INVALCONTROL;
}

MMRESULT GetValues(TMixerDevice& device, const TControlNode& control,
                   MIXERCONTROLDETAILS& details) {
  if (const MMRESULT result = CheckShape(control, details, sizeof(MIXERCONTROLDETAILS_UNSIGNED))) {
    return result;
  }
  const std::vector<DWORD> values = device.Values(control);
  // One channel asked of a control kept per channel: the first channel answers.
  const size_t count = size_t{details.cChannels} * control.ItemCount();
  auto* out = static_cast<MIXERCONTROLDETAILS_UNSIGNED*>(details.paDetails);
  for (size_t i = 0; i < count; ++i) out[i].dwValue = values[i];
  return MMSYSERR_NOERROR;
}

MMRESULT GetListTexts(const TControlNode& control, MIXERCONTROLDETAILS& details) {
  if (!control.Multiple()) return MMSYSERR_INVALPARAM;
  if (const MMRESULT result = CheckShape(control, details, sizeof(MIXERCONTROLDETAILS_LISTTEXTA))) {
    return result;
  }
  auto* out = static_cast<MIXERCONTROLDETAILS_LISTTEXTA*>(details.paDetails);
  for (DWORD c = 0; c < details.cChannels; ++c) {
    std::copy(control.Items.begin(), control.Items.end(), out + size_t{c} * control.Items.size());
  }
  return MMSYSERR_NOERROR;
}

// Every value of the control from what the caller passed: one channel is copied to all.
std::vector<DWORD> FullValues(const TControlNode& control, const MIXERCONTROLDETAILS& details) {
  const size_t items = control.ItemCount();
  const auto* in = static_cast<const MIXERCONTROLDETAILS_UNSIGNED*>(details.paDetails);
  std::vector<DWORD> values(control.ValueCount());
  for (size_t c = 0; c < control.Channels; ++c) {
    const size_t from = details.cChannels == 1 ? 0 : c * items;
    for (size_t i = 0; i < items; ++i) values[c * items + i] = in[from + i].dwValue;
  }
  return values;
}

bool InBounds(const TControlNode& control, DWORD value) {
  const auto& bounds = control.Info.Bounds;
  const DWORD type = control.Info.dwControlType;
  const bool signedRange = type == MIXERCONTROL_CONTROLTYPE_SIGNED ||
                           type == MIXERCONTROL_CONTROLTYPE_DECIBELS ||
                           ClassOf(control) == MIXERCONTROL_CT_CLASS_SLIDER;
  if (signedRange) {
    const auto v = static_cast<LONG>(value);
    return v >= bounds.lMinimum && v <= bounds.lMaximum;
  }
  return value >= bounds.dwMinimum && value <= bounds.dwMaximum;
}

} // namespace

MMRESULT CheckValues(const TControlNode& control, std::vector<DWORD>& values) {
  if (values.size() != control.ValueCount()) return MMSYSERR_INVALPARAM;
  const DWORD kind = ClassOf(control);
  if (kind == MIXERCONTROL_CT_CLASS_METER) return MIXERR_INVALCONTROL;
  if (kind == MIXERCONTROL_CT_CLASS_SWITCH || kind == MIXERCONTROL_CT_CLASS_LIST) {
    for (DWORD& value : values) value = value != 0;
  } else if (!std::all_of(values.begin(), values.end(),
                          [&](DWORD v) { return InBounds(control, v); })) {
    return MIXERR_INVALVALUE;
  }
  if (SingleSelect(control)) {
    const size_t items = control.ItemCount();
    for (size_t from = 0; from < values.size(); from += items) {
      const auto on = std::count(values.begin() + from, values.begin() + from + items, 1u);
      if (on != 1) return MIXERR_INVALVALUE;
    }
  }
  return MMSYSERR_NOERROR;
}

MMRESULT GetDetails(TMixerDevice& device, MIXERCONTROLDETAILS& details, DWORD query) {
  if (query > MIXER_GETCONTROLDETAILSF_LISTTEXT) return MMSYSERR_INVALFLAG;
  const TControlNode* control = nullptr;
  if (const MMRESULT result = FindControl(device, details, control)) return result;
  return query == MIXER_GETCONTROLDETAILSF_VALUE ? GetValues(device, *control, details)
                                                 : GetListTexts(*control, details);
}

TBackendResult SetDetails(TMixerDevice& device, const MIXERCONTROLDETAILS& details,
                          DWORD query) {
  if (query > MIXER_SETCONTROLDETAILSF_CUSTOM) return MMSYSERR_INVALFLAG;
  const TControlNode* control = nullptr;
  if (const MMRESULT result = FindControl(device, details, control)) return result;
  // No back end offers custom controls, whose values only their own driver understands.
  if (query == MIXER_SETCONTROLDETAILSF_CUSTOM) return MMSYSERR_NOTSUPPORTED;
  if (const MMRESULT result = CheckShape(*control, details, sizeof(MIXERCONTROLDETAILS_UNSIGNED))) {
    return result;
  }
  std::vector<DWORD> values = FullValues(*control, details);
  if (const MMRESULT result = CheckValues(*control, values)) return result;
  return device.SetValues(*control, values);
}

} // namespace platform::mixer
