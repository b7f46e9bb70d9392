#include "platform/src/uMixerLines.h"

namespace platform::mixer {
namespace {

const TLineNode* FindLine(const TMixerTopology& topology, const MIXERLINEA& line, DWORD query,
                          MMRESULT& result) {
  result = MMSYSERR_NOERROR;
  switch (query) {
  case MIXER_GETLINEINFOF_DESTINATION: return topology.Destination(line.dwDestination);
  case MIXER_GETLINEINFOF_SOURCE: return topology.Source(line.dwDestination, line.dwSource);
  case MIXER_GETLINEINFOF_LINEID: return topology.LineById(line.dwLineID);
  case MIXER_GETLINEINFOF_COMPONENTTYPE: return topology.LineByComponent(line.dwComponentType);
  case MIXER_GETLINEINFOF_TARGETTYPE:
    return topology.LineByTarget(line.Target.dwType, line.Target.szPname);
  default: result = MMSYSERR_INVALFLAG; return nullptr;
  }
}

void CopyControls(const TLineNode& line, MIXERLINECONTROLSA& controls) {
  for (size_t i = 0; i < line.Controls.size(); ++i) controls.pamxctrl[i] = line.Controls[i].Info;
}

const TControlNode* FirstOfType(const TLineNode& line, DWORD controlType) {
  for (const auto& control : line.Controls) {
    if (control.Info.dwControlType == controlType) return &control;
  }
  return nullptr;
}

} // namespace

MMRESULT GetLineInfo(const TMixerTopology& topology, MIXERLINEA& line, DWORD query) {
  if (line.cbStruct != sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
  MMRESULT result;
  const TLineNode* found = FindLine(topology, line, query, result);
  if (result) return result;
  if (!found) return MIXERR_INVALLINE;
  line = found->Info;
  return MMSYSERR_NOERROR;
}

MMRESULT GetLineControls(const TMixerTopology& topology, MIXERLINECONTROLSA& controls,
                         DWORD query) {
  if (controls.cbStruct != sizeof(MIXERLINECONTROLSA)) return MMSYSERR_INVALPARAM;
  if (query > MIXER_GETLINECONTROLSF_ONEBYTYPE) return MMSYSERR_INVALFLAG;
  if (controls.cbmxctrl != sizeof(MIXERCONTROLA) || !controls.pamxctrl) return MMSYSERR_INVALPARAM;
  if (query == MIXER_GETLINECONTROLSF_ONEBYID) {
    const TLineNode* line = nullptr;
    const TControlNode* control = topology.Control(controls.dwControlID, &line);
    if (!control) return MIXERR_INVALCONTROL;
    if (controls.cControls != 1) return MMSYSERR_INVALPARAM;
    controls.dwLineID = line->Info.dwLineID;
    controls.pamxctrl[0] = control->Info;
    return MMSYSERR_NOERROR;
  }
  const TLineNode* line = topology.LineById(controls.dwLineID);
  if (!line) return MIXERR_INVALLINE;
  if (query == MIXER_GETLINECONTROLSF_ONEBYTYPE) {
    if (controls.cControls != 1) return MMSYSERR_INVALPARAM;
    const TControlNode* control = FirstOfType(*line, controls.dwControlType);
    if (!control) return MIXERR_INVALCONTROL;
    controls.pamxctrl[0] = control->Info;
    return MMSYSERR_NOERROR;
  }
  // All controls: the caller asks for exactly as many as the line has (at least one).
  if (controls.cControls == 0 || controls.cControls != line->Info.cControls) {
    return MMSYSERR_INVALPARAM;
  }
  CopyControls(*line, controls);
  return MMSYSERR_NOERROR;
}

} // namespace platform::mixer
