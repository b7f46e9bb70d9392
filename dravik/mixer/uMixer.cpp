#include "dravik/mixer/uMixer.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dravik/mixer/uMixerLog.h"

namespace dravik {
namespace {

constexpr DWORD FullScale = 0xFFFF;

// A name field up to its first NUL, at most `Limit` characters.
template <size_t N>
std::string FieldText(const char (&Field)[N], size_t Limit = N) {
  return std::string(Field, strnlen(Field, Limit < N ? Limit : N));
}

std::string Quoted(const std::string& Text) { return "\"" + Text + "\""; }

// Drops trailing zeros of a decimal fraction, and the separator when nothing follows it.
std::string TrimFraction(std::string Digits, char Separator) {
  if (Digits.find(Separator) == std::string::npos) return Digits;
  while (!Digits.empty() && Digits.back() == '0') Digits.pop_back();
  if (!Digits.empty() && Digits.back() == Separator) Digits.pop_back();
  return Digits;
}

// The general number format: the shortest text with up to 15 significant digits, in fixed
// notation from 0.00001 up, otherwise as mantissa and exponent ("1.5E-6"); the system's decimal
// separator.
std::string GeneralText(double Value) {
  if (Value == 0) return "0";
  const char separator = *std::localeconv()->decimal_point;
  char text[64];
  const double magnitude = std::fabs(Value);
  if (magnitude >= 1e-5 && magnitude < 1e15) {
    const int whole = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    std::snprintf(text, sizeof text, "%.*f", whole >= 15 ? 0 : 15 - whole, Value);
    return TrimFraction(text, separator);
  }
  std::snprintf(text, sizeof text, "%.14E", Value);
  std::string mantissa(text, std::strchr(text, 'E'));
  const int exponent = std::atoi(std::strchr(text, 'E') + 1);
  return TrimFraction(mantissa, separator) + "E" + std::to_string(exponent);
}

// The source lines that become the default source of a destination.
bool IsDefaultSource(DWORD DestinationType, DWORD SourceType) {
  if (DestinationType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS) {
    return SourceType == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
  }
  if (DestinationType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN) {
    return SourceType == MIXERLINE_COMPONENTTYPE_SRC_LINE ||
           SourceType == MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY;
  }
  return false;
}

HMIXEROBJ MixerObject(UINT_PTR Value) { return reinterpret_cast<HMIXEROBJ>(Value); }

} // namespace

TMixer::TMixer(QObject* AOwner, TLogEvent AOnLog) : TMixerControls(AOwner, std::move(AOnLog)) {
  TMixer::Init();
}

TMixer::~TMixer() { TMixer::Init(); }

void TMixer::Init() {
  Caps = {};
  SelectorIndex = -1;
  MasterVolumeIndex = -1;
  CurrentSource = -1;
  Sources.clear();
  MasterVolumes.clear();
  DeviceReady = false;
  FHeldControl.clear();
  TMixerControls::Init();
}

bool TMixer::SetWaveIn(int32_t WaveDeviceID) {
  Name = "MixerIn";
  UINT mixer = 0;
  LastResult = mixerGetID(MixerObject(static_cast<UINT>(WaveDeviceID)), &mixer,
                          MIXER_OBJECTF_WAVEIN);
  if (LastResult != MMSYSERR_NOERROR) {
    LogFailure("SetWaveIn " + std::to_string(WaveDeviceID) + ": GetMixID: " + ErrorText());
    return false;
  }
  return SetDevice(mixer, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
}

bool TMixer::SetWaveOut(int32_t WaveDeviceID) {
  Name = "MixerOut";
  UINT mixer = 0;
  LastResult = mixerGetID(MixerObject(static_cast<UINT>(WaveDeviceID)), &mixer,
                          MIXER_OBJECTF_WAVEOUT);
  if (LastResult != MMSYSERR_NOERROR) {
    LogFailure("SetWaveOut " + std::to_string(WaveDeviceID) + ": GetMixID: " + ErrorText());
    return false;
  }
  return SetDevice(mixer, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
}

// A binding that failed half-way is set up afresh when the same mixer is asked for again;
// only a completed setup makes a repeated request a no-op.
bool TMixer::SetDevice(UINT MixerID, DWORD DestinationType) {
  if (DeviceReady && static_cast<int32_t>(MixerID) == DeviceID) return true;
  std::string P = "Set device " + std::to_string(MixerID);
  Init();
  DeviceID = static_cast<int32_t>(MixerID);
  try {
    std::vector<MIXERCONTROLDETAILS_LISTTEXTA> items; // the selector's item names
    if (!OpenMixer(MixerID, P) || !FindDestination(DestinationType, P) ||
        !TakeDestinationControls(P, items) || !ListSources(MixerID, DestinationType, P, items)) {
      return false;
    }
    LogInfo(P + "Done.");
    DeviceReady = true;
    return true;
  } catch (...) {
    LogError(P + "Exception.");
    return false;
  }
}

bool TMixer::OpenMixer(UINT MixerID, std::string& P) {
  LastResult = mixerOpen(&Handle, MixerID, reinterpret_cast<DWORD_PTR>(WindowHandle()), 0,
                         CALLBACK_WINDOW);
  if (LastResult != MMSYSERR_NOERROR) {
    LogFailure(P + ": Open: " + ErrorText());
    return false;
  }
  Active = true;
  LastResult = mixerGetDevCapsA(MixerID, &Caps, sizeof Caps);
  if (LastResult != MMSYSERR_NOERROR) {
    LogFailure(P + ": Caps: " + ErrorText());
    return false;
  }
  P += " " + Quoted(WholeDeviceName(mixerGetDevName, MixerID, Caps.szPname));
  LogInfo(P + "...");
  P += ": ";
  if (Caps.cDestinations == 0) {
    LogError(P + "Destinations not found.");
    return false;
  }
  return true;
}

bool TMixer::FindDestination(DWORD DestinationType, const std::string& P) {
  Line = {};
  Line.cbStruct = sizeof Line;
  for (DWORD d = 0; d < Caps.cDestinations; ++d) {
    Line.dwDestination = d;
    Line.dwSource = 0;
    LastResult = mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(Handle), &Line,
                                   MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_DESTINATION);
    if (LastResult != MMSYSERR_NOERROR) {
      LogFailure(P + "DstLineInfo: Destination " + std::to_string(d) + ": " + ErrorText());
      return false;
    }
    if (Line.dwComponentType == DestinationType) return true;
  }
  LogError(P + "Required destination not found.");
  return false;
}

// Reads every control of a line into ControlBuffer.
bool TMixer::QueryControls(const MIXERLINEA& Of) {
  ControlBuffer.assign(Of.cControls, MIXERCONTROLA{});
  LineControls = {};
  LineControls.cbStruct = sizeof LineControls;
  LineControls.dwLineID = Of.dwLineID;
  LineControls.cControls = Of.cControls;
  LineControls.cbmxctrl = sizeof(MIXERCONTROLA);
  LineControls.pamxctrl = ControlBuffer.data();
  LastResult = mixerGetLineControlsA(reinterpret_cast<HMIXEROBJ>(Handle), &LineControls,
                                     MIXER_OBJECTF_MIXER | MIXER_GETLINECONTROLSF_ALL);
  return LastResult == MMSYSERR_NOERROR;
}

bool TMixer::TakeDestinationControls(const std::string& P,
                                     std::vector<MIXERCONTROLDETAILS_LISTTEXTA>& Items) {
  LineControls = {};
  if (Line.cControls == 0) return true;
  if (!QueryControls(Line)) {
    LogFailure(P + "DstCtrlsAll: " + LineText(Line) + ": " + ErrorText());
    return false;
  }
  bool muteTaken = false;
  const std::vector<MIXERCONTROLA> controls = ControlBuffer;
  for (const MIXERCONTROLA& control : controls) {
    bool ok = true;
    if (control.dwControlType == MIXERCONTROL_CONTROLTYPE_MUTE && !muteTaken) {
      muteTaken = true;
      ok = TakeDestinationMute(P, control);
    } else if (control.dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME &&
               MasterVolumeIndex < 0) {
      ok = TakeMasterVolume(P, control, Line.cChannels);
    } else if ((control.dwControlType == MIXERCONTROL_CONTROLTYPE_MUX ||
                control.dwControlType == MIXERCONTROL_CONTROLTYPE_MIXER) &&
               SelectorIndex < 0) {
      ok = TakeSelector(P, control, Line.cChannels, Items);
    }
    if (!ok) return false;
  }
  return true;
}

bool TMixer::TakeDestinationMute(const std::string& P, const MIXERCONTROLA& Control) {
  const int32_t index = AddControl(Control, 1);
  if (index < 0) return false;
  if (!TakeOver(index, P, Control)) return false;
  if (!SetValue(index, 0, 0, 0)) {
    LogError(P + "Can not set value for control: " + ControlText(Control) + ".");
    return false;
  }
  return true;
}

// Full scale on every channel of the master volume. A uniform volume has a single channel, and
// so a single level.
bool TMixer::TakeMasterVolume(const std::string& P, const MIXERCONTROLA& Control,
                              DWORD Channels) {
  MasterVolumeIndex = AddControl(Control, static_cast<int32_t>(Channels));
  if (MasterVolumeIndex < 0) return false;
  MasterVolumes.assign(static_cast<size_t>(Controls[MasterVolumeIndex].Channels), 0.0);
  if (!TakeOver(MasterVolumeIndex, P, Control)) return false;
  for (size_t c = 0; c < MasterVolumes.size(); ++c) {
    if (!SetValue(MasterVolumeIndex, static_cast<int32_t>(c), 0, FullScale)) {
      LogError(P + "Can not set volume for channel " + std::to_string(c) +
               " for control: " + ControlText(Control) + ".");
      return false;
    }
    MasterVolumes.at(c) = 1.0;
  }
  return true;
}

// Takes the selector over with the user's selection left in force until a source is routed.
bool TMixer::TakeSelector(const std::string& P, const MIXERCONTROLA& Control, DWORD Channels,
                          std::vector<MIXERCONTROLDETAILS_LISTTEXTA>& Items) {
  Items.assign(Control.cMultipleItems, MIXERCONTROLDETAILS_LISTTEXTA{});
  MIXERCONTROLDETAILS details{};
  details.cbStruct = sizeof details;
  details.dwControlID = Control.dwControlID;
  details.cChannels = 1;
  details.cMultipleItems = Control.cMultipleItems;
  details.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXTA);
  details.paDetails = Items.data();
  LastResult = mixerGetControlDetailsA(reinterpret_cast<HMIXEROBJ>(Handle), &details,
                                       MIXER_OBJECTF_MIXER | MIXER_GETCONTROLDETAILSF_LISTTEXT);
  if (LastResult != MMSYSERR_NOERROR) {
    LogFailure(P + "DstCtrlDetListText: " + ControlText(Control) + ": " + ErrorText());
    return false;
  }
  SelectorIndex = AddControl(Control, static_cast<int32_t>(Channels));
  if (SelectorIndex < 0) return false;
  return TakeOver(SelectorIndex, P, Control);
}

bool TMixer::TakeOver(int32_t Index, const std::string& P, const MIXERCONTROLA& Control) {
  if (CaptureControl(Index)) return true;
  LogError(P + ControlText(Control) + ": Can not capture control.");
  if (Index < static_cast<int32_t>(Controls.size()) && Controls[Index].HeldElsewhere) {
    FHeldControl = Controls[Index].ControlName;
  }
  return false;
}

bool TMixer::ListSources(UINT MixerID, DWORD DestinationType, const std::string& P,
                         const std::vector<MIXERCONTROLDETAILS_LISTTEXTA>& Items) {
  const MIXERLINEA destination = Line;
  Sources.assign(destination.cConnections, TSrcLineData{});
  for (DWORD s = 0; s < destination.cConnections; ++s) {
    Line.cbStruct = sizeof Line;
    Line.dwDestination = destination.dwDestination;
    Line.dwSource = s;
    // By device number, not handle: both name the same mixer.
    LastResult = mixerGetLineInfoA(MixerObject(MixerID), &Line,
                                   MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_SOURCE);
    if (LastResult != MMSYSERR_NOERROR) {
      LogFailure(P + "SrcLineInfo " + std::to_string(s) + ": " + ErrorText());
      return false;
    }
    TSrcLineData& source = Sources.at(s);
    source.ShortName = FieldText(Line.szShortName);
    for (size_t i = 0; SelectorIndex >= 0 && i < Items.size(); ++i) {
      if (Items[i].dwParam1 == Line.dwLineID) {
        source.SelectorItem = static_cast<int32_t>(i);
        break;
      }
    }
    const DWORD sourceType = Line.dwComponentType;
    if (Line.cControls > 0 && !TakeSourceControls(P, s)) return false;
    if (CurrentSource < 0 && IsDefaultSource(DestinationType, sourceType)) {
      SetSource(static_cast<int32_t>(s));
    }
  }
  return true;
}

// Mutes the source line and notes its volume; the volume is taken over only while the line is
// the routed source. The record is looked up anew after every capture, which serves the message
// queue.
bool TMixer::TakeSourceControls(const std::string& P, size_t S) {
  if (!QueryControls(Line)) {
    LogFailure(P + "SrcCtrlsAll: " + LineText(Line) + ": " + ErrorText());
    return false;
  }
  const std::vector<MIXERCONTROLA> controls = ControlBuffer;
  const auto channels = static_cast<int32_t>(Line.cChannels);
  for (const MIXERCONTROLA& control : controls) {
    if (control.dwControlType == MIXERCONTROL_CONTROLTYPE_MUTE && Sources.at(S).MuteIndex < 0) {
      const int32_t mute = AddControl(control, 1);
      Sources.at(S).MuteIndex = mute;
      if (mute < 0) return false;
      if (!TakeOver(mute, P, control)) return false;
      if (!SetValue(mute, 0, 0, 1)) {
        LogError(P + "Can not set value for control: " + ControlText(control) + ".");
        return false;
      }
    } else if (control.dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME &&
               Sources.at(S).VolumeIndex < 0) {
      const int32_t volume = AddControl(control, channels);
      Sources.at(S).VolumeIndex = volume;
      if (volume < 0) return false;
      // One level per value of the control: a uniform volume has a single one.
      Sources.at(S).Volumes.assign(static_cast<size_t>(Controls.at(volume).Channels), 0.0);
    }
  }
  return true;
}

std::string TMixer::SourceName(int32_t Index) const {
  if (Index < 0 || Index >= SourceCount()) return {};
  return Sources[Index].ShortName;
}

void TMixer::SetSource(int32_t Index) {
  if (Index == CurrentSource) return;
  std::string Q = "Set source " + std::to_string(Index);
  if (Sources.empty() || Index < 0 || Index >= SourceCount()) {
    LogError(Q + ": Source index is out of range.");
    return;
  }
  Q += " " + Quoted(Sources[Index].ShortName);
  try {
    RouteSource(Index, Q);
  } catch (...) {
    LogError(Q + ": Exeption.");
  }
}

// The old source is muted and its volume given back, the new one unmuted or selected and its
// volume taken over. A source that the selector has no item for cannot be routed; it is refused
// before anything changes, so the old source stays routed.
bool TMixer::RouteSource(int32_t Index, const std::string& Q) {
  if (SelectorIndex >= 0 && Sources.at(Index).SelectorItem < 0) {
    LogError(Q + ": Exeption.");
    return false;
  }
  const int32_t volume = Sources.at(Index).VolumeIndex;
  if (volume >= 0 && IsCaptured(volume)) return false;
  if (CheckSource() && !LeaveOldSource(Q)) return false;
  CurrentSource = Index;
  if (!SelectNewSource(Index, Q)) return false;
  if (volume < 0 || CaptureControl(volume)) {
    LogInfo(Q + ".");
    return true;
  }
  LogError(Q + ": Can not capture Volume.");
  return false;
}

bool TMixer::LeaveOldSource(const std::string& Q) {
  const TSrcLineData old = Sources.at(CurrentSource);
  if (old.VolumeIndex >= 0 && !LeaveControl(old.VolumeIndex)) {
    LogError(Q + ": Can not leave source Volume " + Quoted(old.ShortName) + ".");
    return false;
  }
  if (old.MuteIndex >= 0 && !SetValue(old.MuteIndex, 0, 0, 1)) {
    LogError(Q + ": Can not set source Mute " + Quoted(old.ShortName) + ".");
    return false;
  }
  return true;
}

bool TMixer::SelectNewSource(int32_t Index, const std::string& Q) {
  const TSrcLineData& source = Sources.at(Index);
  if (SelectorIndex < 0) {
    if (source.MuteIndex >= 0 && !SetValue(source.MuteIndex, 0, 0, 0)) {
      LogError(Q + ": Can not set line Mute.");
      return false;
    }
    return true;
  }
  if (!SetValue(SelectorIndex, 0, source.SelectorItem, 1)) {
    LogError(Q + ": Can not set lines Selector.");
    return false;
  }
  return true;
}

bool TMixer::CheckSource(const std::string& Caller) {
  if (CurrentSource >= 0 && CurrentSource < SourceCount()) return true;
  if (!Caller.empty()) LogError(Caller + ": Current source index is out of range.");
  return false;
}

bool TMixer::CheckChannel(int64_t Channel, const std::string& Caller) {
  if (!CheckSource(Caller)) return false;
  const auto count = static_cast<int64_t>(Sources[CurrentSource].Volumes.size());
  if (Channel >= 0 && Channel < count) return true;
  if (!Caller.empty()) LogError(Caller + ": Channel index is out of range.");
  return false;
}

int32_t TMixer::ChannelCount() {
  if (CheckSource()) return static_cast<int32_t>(Sources[CurrentSource].Volumes.size());
  if (MasterVolumeIndex >= 0) return static_cast<int32_t>(MasterVolumes.size());
  return 0;
}

void TMixer::SetVolume(uint32_t Channel, double Level) {
  if (!(Level >= 0)) Level = 0; // also a level that is not a number
  if (Level > 1) Level = 1;
  const auto raw = static_cast<DWORD>(std::nearbyint(Level * FullScale)); // ties to even
  const std::string V = "Set volume: Channel: " + std::to_string(Channel) +
                        ",  Value: " + GeneralText(Level);
  try {
    if (CheckChannel(Channel)) {
      const int32_t source = CurrentSource;
      if (SetValue(Sources[source].VolumeIndex, static_cast<int32_t>(Channel), 0, raw)) {
        Sources.at(source).Volumes.at(Channel) = Level;
        LogInfo(V + ".");
      } else {
        LogError(V + ": Can not set value for source channel.");
      }
    } else if (MasterVolumeIndex >= 0 && Channel < MasterVolumes.size()) {
      if (SetValue(MasterVolumeIndex, static_cast<int32_t>(Channel), 0, raw)) {
        MasterVolumes.at(Channel) = Level;
        LogInfo(V + ".");
      } else {
        LogError(V + ": Can not set value for master channel.");
      }
    } else {
      LogError(V + ": Volume control not found.");
    }
  } catch (...) {
    LogError(V + ": Exception.");
  }
}

double TMixer::GetVolume(uint32_t Channel) {
  if (CheckChannel(Channel)) return Sources[CurrentSource].Volumes[Channel];
  if (MasterVolumeIndex < 0 || Channel >= MasterVolumes.size()) {
    LogError("GetVolume: Volume control not found.");
    return 0;
  }
  return MasterVolumes[Channel];
}

} // namespace dravik
