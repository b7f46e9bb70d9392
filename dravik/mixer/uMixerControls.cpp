#include "dravik/mixer/uMixerControls.h"

#include <QObject>
#include <cstring>
#include <stdexcept>

#include "dravik/mixer/uMixerLog.h"
#include "platform/kernel.h"

namespace dravik {
namespace {

// The two probe patterns of a control type, written into zero-filled buffers: a mute unmuted
// then muted, a volume at 0 then at full scale, a selector with its first then its second item
// set, all on the first channel. False when the buffers are too small for the patterns.
bool WriteProbePatterns(uint32_t ControlType, std::array<TDetailsBuffer, 2>& Check) {
  switch (ControlType) {
  case MIXERCONTROL_CONTROLTYPE_MUTE:
    Check[1][0] = 1;
    return true;
  case MIXERCONTROL_CONTROLTYPE_VOLUME:
    Check[1][0] = 0xFFFF;
    return true;
  case MIXERCONTROL_CONTROLTYPE_MUX:
  case MIXERCONTROL_CONTROLTYPE_MIXER:
    if (Check[0].size() < 2) return false;
    Check[0][0] = 1;
    Check[1][1] = 1;
    return true;
  default:
    return true;
  }
}

} // namespace

TMixerControls::TMixerControls(QObject* AOwner, TLogEvent AOnLog)
    : TMMWinControl(std::move(AOnLog)) {
  if (AOwner) setParent(AOwner);
  TMixerControls::Init();
}

TMixerControls::~TMixerControls() { TMixerControls::Init(); }

void TMixerControls::Init() {
  for (auto i = static_cast<int32_t>(Controls.size()) - 1; i >= 0; --i) LeaveControl(i);
  Controls.clear();
  if (Active) {
    LastResult = mixerClose(Handle);
    if (LastResult == MMSYSERR_NOERROR) {
      Active = false;
    } else {
      LogFailure("Init: Can not Close: " + ErrorText() + ".");
    }
  }
  DeviceID = -1;
}

bool TMixerControls::CheckIndex(int32_t Index, const std::string& Caller) {
  if (Index >= 0 && static_cast<size_t>(Index) < Controls.size()) return true;
  LogError(Caller + ": Control index " + std::to_string(Index) + " is out of range.");
  return false;
}

MMRESULT TMixerControls::GetDetails(TCtrlData& Ctrl, TDetailsBuffer& Buffer) {
  Ctrl.Details.paDetails = Buffer.data();
  LastResult = mixerGetControlDetailsA(reinterpret_cast<HMIXEROBJ>(Handle), &Ctrl.Details,
                                       MIXER_OBJECTF_MIXER | MIXER_GETCONTROLDETAILSF_VALUE);
  return LastResult;
}

MMRESULT TMixerControls::SetDetails(TCtrlData& Ctrl, TDetailsBuffer& Buffer) {
  Ctrl.Details.paDetails = Buffer.data();
  LastResult = mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(Handle), &Ctrl.Details,
                                      MIXER_OBJECTF_MIXER | MIXER_SETCONTROLDETAILSF_VALUE);
  return LastResult;
}

bool TMixerControls::AddControlDetails(TCtrlData& Ctrl, const MIXERCONTROLA& Control,
                                       int32_t Channels) {
  const bool multiple = (Control.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) != 0;
  Ctrl.ControlType = Control.dwControlType;
  Ctrl.Channels = (Control.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : Channels;
  Ctrl.Items = multiple ? static_cast<int32_t>(Control.cMultipleItems) : 1;
  Ctrl.Details.cbStruct = sizeof(MIXERCONTROLDETAILS);
  Ctrl.Details.dwControlID = Control.dwControlID;
  Ctrl.Details.cChannels = static_cast<DWORD>(Ctrl.Channels);
  Ctrl.Details.cMultipleItems = multiple ? Control.cMultipleItems : 0;
  Ctrl.Details.cbDetails = sizeof(MIXERCONTROLDETAILS_UNSIGNED);
  // A control without a single value (no channels, no items) has nothing to probe or keep.
  if (Ctrl.Channels < 1 || Ctrl.Items < 1) return false;
  const size_t count = static_cast<size_t>(Ctrl.Channels) * static_cast<size_t>(Ctrl.Items);
  for (TDetailsBuffer* buffer : {&Ctrl.SavedDetails, &Ctrl.CurrentDetails, &Ctrl.QueryDetails,
                                 &Ctrl.CheckDetails[0], &Ctrl.CheckDetails[1]}) {
    buffer->assign(count, 0);
  }
  return WriteProbePatterns(Ctrl.ControlType, Ctrl.CheckDetails);
}

int32_t TMixerControls::AddControl(const MIXERCONTROLA& Control, int32_t Channels) {
  try {
    Controls.emplace_back();
    const auto index = static_cast<int32_t>(Controls.size() - 1);
    TCtrlData& ctrl = Controls.back();
    if (!AddControlDetails(ctrl, Control, Channels)) {
      LogError("AddControl: Exception.");
      return -1;
    }
    if (GetDetails(ctrl, ctrl.SavedDetails) != MMSYSERR_NOERROR) {
      LogFailure("AddControl: Get Saved Details: " + ErrorText() +
               ", Control info: " + ControlText(Control));
      return -1;
    }
    ctrl.CurrentDetails = ctrl.SavedDetails;
    ctrl.ControlName = std::string(Control.szName, strnlen(Control.szName, sizeof Control.szName));
    return index;
  } catch (...) {
    LogError("AddControl: Exception.");
    return -1;
  }
}

bool TMixerControls::IsCaptured(int32_t Index) {
  try {
    if (!CheckIndex(Index, "IsCaptured")) return false;
    TCtrlData& ctrl = Controls[Index];
    if (ctrl.Captured) return true;
    if (GetDetails(ctrl, ctrl.CurrentDetails) != MMSYSERR_NOERROR) {
      LogFailure("IsCaptured: Get Current Details: " + ErrorText());
      return false;
    }
    return ProbeControl(Index);
  } catch (...) {
    LogError("IsCaptured: Exception.");
    return false;
  }
}

// Writes both probe patterns in turn; another program that holds the control writes its own
// value back at once, so the device then differs from the pattern. Whatever the outcome, the
// live values read before probing are written back afterwards: a control that is not captured
// is never given back later, so a probe pattern left on it would replace the user's setting.
bool TMixerControls::ProbeControl(int32_t Index) {
  TProbe probe = TProbe::Free;
  for (size_t k = 0; k < 2 && probe == TProbe::Free; ++k) probe = ProbeOnce(Index, k);
  // Even a refused pattern may have reached some channels of the control before the refusal.
  if (static_cast<size_t>(Index) < Controls.size() &&
      SetDetails(Controls[Index], Controls[Index].CurrentDetails) != MMSYSERR_NOERROR) {
    LogFailure("IsCaptured: Set Current Details: " + ErrorText());
  }
  return probe == TProbe::Held;
}

TMixerControls::TProbe TMixerControls::ProbeOnce(int32_t Index, size_t Probe) {
  TCtrlData& ctrl = Controls[Index];
  if (SetDetails(ctrl, ctrl.CheckDetails[Probe]) != MMSYSERR_NOERROR) {
    LogFailure("IsCaptured: Set Check Details " + std::to_string(Probe) + ": " + ErrorText());
    return TProbe::Failed;
  }
  // Give the other program time to react; other messages (input, timers, change notices of
  // other controls) are served meanwhile.
  Sleep(10);
  platform::ProcessMessages();
  if (static_cast<size_t>(Index) >= Controls.size()) throw std::logic_error("controls released");
  TCtrlData& again = Controls[Index];
  if (GetDetails(again, again.QueryDetails) != MMSYSERR_NOERROR) {
    LogFailure("IsCaptured: Get Query Details: " + ErrorText());
    return TProbe::Failed;
  }
  return again.QueryDetails != again.CheckDetails[Probe] ? TProbe::Held : TProbe::Free;
}

bool TMixerControls::CaptureControl(int32_t Index) {
  try {
    if (!CheckIndex(Index, "CaptureControl")) return false;
    if (Controls[Index].Captured) return true;
    if (IsCaptured(Index)) {
      // The probe served the message queue: the list may have been emptied meanwhile.
      if (static_cast<size_t>(Index) < Controls.size()) Controls[Index].HeldElsewhere = true;
      LogError("CaptureControl: Captured by another process.");
      return false;
    }
    if (static_cast<size_t>(Index) >= Controls.size()) throw std::logic_error("controls released");
    TCtrlData& ctrl = Controls[Index];
    ctrl.HeldElsewhere = false;
    ctrl.Seized = false;
    ctrl.Captured = true;
    if (SetDetails(ctrl, ctrl.CurrentDetails) != MMSYSERR_NOERROR) {
      LogFailure("CaptureControl: Set Current Details: " + ErrorText());
      return false;
    }
    return true;
  } catch (...) {
    LogError("CaptureControl: Exception.");
    return false;
  }
}

bool TMixerControls::LeaveControl(int32_t Index) {
  try {
    if (!CheckIndex(Index, "LeaveControl")) return false;
    TCtrlData& ctrl = Controls[Index];
    if (!ctrl.Captured && !ctrl.Seized) return true;
    const bool seized = ctrl.Seized;
    ctrl.Captured = false;
    ctrl.Seized = false;
    if (SetDetails(ctrl, ctrl.SavedDetails) != MMSYSERR_NOERROR) {
      LogFailure("LeaveControl: Set Saved Details: " + ErrorText());
      return false;
    }
    // A program that still holds the control has put its own values back at once.
    if (seized && GetDetails(ctrl, ctrl.QueryDetails) == MMSYSERR_NOERROR &&
        ctrl.QueryDetails != ctrl.SavedDetails) {
      LogError("LeaveControl: \"" + ctrl.ControlName + "\" is held by another program; the "
               "setting it had before is not restored.");
    }
    return true;
  } catch (...) {
    LogError("LeaveControl: Exception.");
    return false;
  }
}

bool TMixerControls::SetValue(int32_t Index, int32_t Channel, int32_t Item, DWORD Value) {
  try {
    if (!CheckIndex(Index, "SetValue")) return false;
    TCtrlData& ctrl = Controls[Index];
    if (Channel < 0 || Channel >= ctrl.Channels) {
      LogError("SetValue: Channel index is out of range.");
      return false;
    }
    if (Item < 0 || Item >= ctrl.Items) {
      LogError("SetValue: Item index is out of range.");
      return false;
    }
    // A single-select selector keeps exactly one item set; a multiple-select one keeps the
    // items already set.
    if (ctrl.ControlType == MIXERCONTROL_CONTROLTYPE_MUX) {
      std::fill(ctrl.CurrentDetails.begin(), ctrl.CurrentDetails.end(), 0);
    }
    // Stored before writing, so the device's notice of this very write finds nothing to undo.
    ctrl.CurrentDetails.at(static_cast<size_t>(Channel) * ctrl.Items + Item) = Value;
    if (SetDetails(ctrl, ctrl.CurrentDetails) != MMSYSERR_NOERROR) {
      LogFailure("SetValue: Set Current Details: " + ErrorText());
      return false;
    }
    if (OnChange) OnChange(this);
    return true;
  } catch (...) {
    LogError("SetValue: Exception.");
    return false;
  }
}

std::string TMixerControls::ErrorText() const {
  switch (LastResult) {
  case MMSYSERR_NOERROR: return {};
  case MMSYSERR_BADDEVICEID: return "MMSYSERR_BADDEVICEID";
  case MMSYSERR_INVALHANDLE: return "MMSYSERR_INVALHANDLE";
  case MMSYSERR_NODRIVER: return "MMSYSERR_NODRIVER";
  case MMSYSERR_INVALFLAG: return "MMSYSERR_INVALFLAG";
  case MMSYSERR_INVALPARAM: return "MMSYSERR_INVALPARAM";
  case MIXERR_INVALLINE: return "MIXERR_INVALLINE";
  case MIXERR_INVALCONTROL: return "MIXERR_INVALCONTROL";
  case MIXERR_INVALVALUE: return "MIXERR_INVALVALUE";
  default: return "Unknown mixer error";
  }
}

std::string TMixerControls::NativeDetail() const {
  return Active ? mixerGetNativeError(reinterpret_cast<HMIXEROBJ>(Handle), MIXER_OBJECTF_HMIXER)
                : std::string{};
}

void TMixerControls::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MM_MIXM_CONTROL_CHANGE) ControlChanged(wParam, lParam);
}

// Another program or the user changed a control: a control the program holds gets the
// program's values back. Controls not held are ignored, so probes and setup writes cause no
// reaction.
void TMixerControls::ControlChanged(WPARAM Mixer, LPARAM ControlID) {
  try {
    if (Handle == nullptr || reinterpret_cast<HMIXER>(Mixer) != Handle) return;
    for (size_t i = 0; i < Controls.size(); ++i) {
      if (Controls[i].Captured && Controls[i].Details.dwControlID == static_cast<DWORD>(ControlID)) {
        WriteBack(i);
        return;
      }
    }
  } catch (...) {
    LogError("OnChange: Exception.");
  }
}

void TMixerControls::WriteBack(size_t Index) {
  TCtrlData& ctrl = Controls[Index];
  if (GetDetails(ctrl, ctrl.QueryDetails) != MMSYSERR_NOERROR) {
    LogFailure("OnChange: Get Query Details: " + ErrorText());
    return;
  }
  if (ctrl.QueryDetails == ctrl.CurrentDetails) return;
  if (SetDetails(ctrl, ctrl.CurrentDetails) != MMSYSERR_NOERROR) {
    LogFailure("OnChange: Set Current Details: " + ErrorText());
    return;
  }
  // A program that holds the control has put its own values back at once, as the capture probe
  // finds it: fighting it would never end and would drop every block, so it keeps the control.
  if (GetDetails(ctrl, ctrl.QueryDetails) == MMSYSERR_NOERROR &&
      ctrl.QueryDetails != ctrl.CurrentDetails) {
    ctrl.Captured = false;
    ctrl.Seized = true;
    LogError("OnChange: Captured by another process.");
  }
  if (OnChange) OnChange(this);
}

} // namespace dravik
