#include "platform/vmbox/uVirtualMixerLayout.h"

namespace platform::vmbox {
namespace {

using mixer::MakeLine;
using mixer::MakeSelector;
using mixer::MakeSwitch;
using mixer::MakeVolume;
using mixer::TControlNode;
using mixer::TDestinationNode;
using mixer::TLineNode;

constexpr DWORD FullScale = 0xFFFF;
constexpr DWORD UserVolume = 0xC000;
constexpr DWORD LineSource = 1; // "Line In" among the recording sources

void Target(TLineNode& line, UINT deviceId, const std::string& name) {
  line.Info.Target.dwDeviceID = deviceId;
  line.Info.Target.wMid = 0xFFFF;
  line.Info.Target.wPid = line.Info.Target.dwType == MIXERLINE_TARGETTYPE_WAVEIN ? 1 : 2;
  line.Info.Target.vDriverVersion = 0x0100;
  mixer::CopyName(line.Info.Target.szPname, sizeof line.Info.Target.szPname, name);
}

TLineNode PlaybackSource(DWORD type, const std::string& name, const std::string& controlPrefix) {
  TLineNode line = MakeLine(type, name, name, 2, MIXERLINE_TARGETTYPE_UNDEFINED);
  line.Controls.push_back(MakeVolume(controlPrefix + " Volume", controlPrefix + " Volume", false));
  line.Controls.push_back(MakeSwitch(MIXERCONTROL_CONTROLTYPE_MUTE, controlPrefix + " Mute",
                                     controlPrefix + " Mute"));
  return line;
}

TLineNode RecordingSource(DWORD type, const std::string& name, const std::string& shortVolume,
                          const std::string& volume) {
  TLineNode line = MakeLine(type, name, name, 2, MIXERLINE_TARGETTYPE_UNDEFINED);
  line.Controls.push_back(MakeVolume(shortVolume, volume, false));
  return line;
}

TDestinationNode Speakers(const std::string& boxName, UINT waveOutId) {
  TDestinationNode speakers;
  speakers.Line = MakeLine(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", "Speakers", 2,
                           MIXERLINE_TARGETTYPE_WAVEOUT);
  Target(speakers.Line, waveOutId, boxName);
  speakers.Line.Controls = {
      MakeVolume("Master Volume", "Master Volume", false),
      MakeSwitch(MIXERCONTROL_CONTROLTYPE_MUTE, "Master Mute", "Master Mute")};
  TLineNode wave = PlaybackSource(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave", "Wave");
  wave.Info.Target.dwType = MIXERLINE_TARGETTYPE_WAVEOUT;
  Target(wave, waveOutId, boxName);
  speakers.Sources = {wave,
                      PlaybackSource(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", "Line In"),
                      PlaybackSource(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio", "CD")};
  return speakers;
}

TDestinationNode Recording(const std::string& boxName, UINT waveInId) {
  TDestinationNode recording;
  recording.Line = MakeLine(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", "Recording Control",
                            2, MIXERLINE_TARGETTYPE_WAVEIN);
  Target(recording.Line, waveInId, boxName);
  recording.Line.Controls = {
      MakeVolume("Recording Vol", "Recording Volume", false),
      MakeSelector(MIXERCONTROL_CONTROLTYPE_MUX, "Recording Src", "Recording Source", {0, 1, 2})};
  recording.Sources = {
      RecordingSource(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio", "CD Volume",
                      "CD Volume"),
      RecordingSource(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", "Line In Volume",
                      "Line In Volume"),
      RecordingSource(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", "Mic Volume",
                      "Microphone Volume")};
  return recording;
}

std::vector<DWORD> DefaultOf(const TControlNode& control, bool full) {
  std::vector<DWORD> values(control.ValueCount(), 0);
  if (control.Info.dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME) {
    std::fill(values.begin(), values.end(), full ? FullScale : UserVolume);
  }
  return values;
}

TBoxMixerControls ControlsOf(const mixer::TMixerTopology& topology) {
  const auto& speakers = topology.Destinations[0];
  const auto& recording = topology.Destinations[1];
  TBoxMixerControls c;
  c.MasterVolume = speakers.Line.Controls[0].Info.dwControlID;
  c.MasterMute = speakers.Line.Controls[1].Info.dwControlID;
  c.WaveVolume = speakers.Sources[0].Controls[0].Info.dwControlID;
  c.WaveMute = speakers.Sources[0].Controls[1].Info.dwControlID;
  c.RecordingVolume = recording.Line.Controls[0].Info.dwControlID;
  c.RecordingSource = recording.Line.Controls[1].Info.dwControlID;
  c.LineVolume = recording.Sources[LineSource].Controls[0].Info.dwControlID;
  c.LineItem = LineSource;
  return c;
}

} // namespace

DWORD FindControlId(const mixer::TMixerTopology& topology, DWORD destinationType,
                    DWORD sourceType, DWORD controlType) {
  for (const auto& destination : topology.Destinations) {
    if (destination.Line.Info.dwComponentType != destinationType) continue;
    const TLineNode* line = sourceType == 0 ? &destination.Line : nullptr;
    for (size_t s = 0; !line && s < destination.Sources.size(); ++s) {
      if (destination.Sources[s].Info.dwComponentType == sourceType) line = &destination.Sources[s];
    }
    if (!line) return 0xFFFFFFFFu;
    for (const auto& control : line->Controls) {
      if (control.Info.dwControlType == controlType) return control.Info.dwControlID;
    }
    return 0xFFFFFFFFu;
  }
  return 0xFFFFFFFFu;
}

TBoxMixerLayout BoxMixerLayout(const std::string& boxName, UINT waveInId, UINT waveOutId) {
  TBoxMixerLayout layout;
  auto& topology = layout.Topology;
  topology.Caps.wMid = 0xFFFF; // no manufacturer registration
  topology.Caps.wPid = 3;
  topology.Caps.vDriverVersion = 0x0100;
  topology.SetName(boxName);
  topology.Destinations = {Speakers(boxName, waveOutId), Recording(boxName, waveInId)};
  topology.Complete();
  layout.Controls = ControlsOf(topology);
  const auto& c = layout.Controls;
  for (const auto* control : topology.AllControls()) {
    const DWORD id = control->Info.dwControlID;
    const bool full = id == c.MasterVolume || id == c.WaveVolume || id == c.RecordingVolume ||
                      id == c.LineVolume;
    layout.Defaults[id] = DefaultOf(*control, full);
  }
  layout.Defaults[c.RecordingSource][c.LineItem] = 1;
  return layout;
}

} // namespace platform::vmbox
