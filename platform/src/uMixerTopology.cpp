#include "platform/src/uMixerTopology.h"

#include <algorithm>
#include <cstring>

namespace platform::mixer {
namespace {

// Line ids: a destination's is 0xFFFF0000 + its index, a source's is its destination's index
// in the high half and its own in the low half, so no two lines of a mixer share one.
DWORD DestinationId(DWORD d) { return 0xFFFF0000u | d; }
DWORD SourceId(DWORD d, DWORD s) { return (d << 16) | s; }

void CompleteControls(TLineNode& line, DWORD& nextId) {
  line.Info.cControls = static_cast<DWORD>(line.Controls.size());
  for (auto& control : line.Controls) {
    control.Info.cbStruct = sizeof(MIXERCONTROLA);
    control.Info.dwControlID = nextId++;
    control.Channels = control.Uniform() ? 1 : line.Info.cChannels;
  }
}

void CompleteSelectorItems(TDestinationNode& destination) {
  for (auto& control : destination.Line.Controls) {
    if (control.ItemSources.empty()) continue;
    control.Items.clear();
    for (const DWORD s : control.ItemSources) {
      MIXERCONTROLDETAILS_LISTTEXTA item{};
      if (s < destination.Sources.size()) {
        const MIXERLINEA& source = destination.Sources[s].Info;
        item.dwParam1 = source.dwLineID;
        item.dwParam2 = source.dwComponentType;
        CopyName(item.szName, sizeof item.szName, source.szName);
      }
      control.Items.push_back(item);
    }
    control.Info.cMultipleItems = static_cast<DWORD>(control.Items.size());
    control.Info.Bounds.dwMaximum = control.Items.empty() ? 0 : control.Info.cMultipleItems - 1;
  }
}

template <class TVisit>
const TLineNode* FindLine(const std::vector<TDestinationNode>& destinations, TVisit matches) {
  for (const auto& destination : destinations) {
    if (matches(destination.Line)) return &destination.Line;
    for (const auto& source : destination.Sources) {
      if (matches(source)) return &source;
    }
  }
  return nullptr;
}

} // namespace

void TMixerTopology::SetName(const std::string& name) {
  Name = name;
  CopyName(Caps.szPname, sizeof Caps.szPname, name);
}

void CopyName(char* field, size_t size, const std::string& text) {
  if (size == 0) return;
  const size_t length = std::min(text.size(), size - 1);
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), length);
}

void TMixerTopology::Complete() {
  Caps.cDestinations = static_cast<DWORD>(Destinations.size());
  DWORD nextControlId = 1;
  for (DWORD d = 0; d < Destinations.size(); ++d) {
    auto& destination = Destinations[d];
    MIXERLINEA& line = destination.Line.Info;
    line.dwDestination = d;
    line.dwSource = 0;
    line.dwLineID = DestinationId(d);
    line.cConnections = static_cast<DWORD>(destination.Sources.size());
    CompleteControls(destination.Line, nextControlId);
    for (DWORD s = 0; s < destination.Sources.size(); ++s) {
      MIXERLINEA& source = destination.Sources[s].Info;
      source.dwDestination = d;
      source.dwSource = s;
      source.dwLineID = SourceId(d, s);
      source.fdwLine |= MIXERLINE_LINEF_SOURCE;
      source.cConnections = 0;
      CompleteControls(destination.Sources[s], nextControlId);
    }
    CompleteSelectorItems(destination);
  }
}

const TLineNode* TMixerTopology::Destination(DWORD destination) const {
  return destination < Destinations.size() ? &Destinations[destination].Line : nullptr;
}

const TLineNode* TMixerTopology::Source(DWORD destination, DWORD source) const {
  if (destination >= Destinations.size()) return nullptr;
  const auto& sources = Destinations[destination].Sources;
  return source < sources.size() ? &sources[source] : nullptr;
}

const TLineNode* TMixerTopology::LineById(DWORD lineId) const {
  return FindLine(Destinations, [&](const TLineNode& l) { return l.Info.dwLineID == lineId; });
}

const TLineNode* TMixerTopology::LineByComponent(DWORD componentType) const {
  return FindLine(Destinations,
                  [&](const TLineNode& l) { return l.Info.dwComponentType == componentType; });
}

const TLineNode* TMixerTopology::LineByTarget(DWORD targetType, const char* pname) const {
  return FindLine(Destinations, [&](const TLineNode& l) {
    return l.Info.Target.dwType == targetType &&
           std::strncmp(l.Info.Target.szPname, pname, MAXPNAMELEN) == 0;
  });
}

const TControlNode* TMixerTopology::Control(DWORD controlId, const TLineNode** line) const {
  const TControlNode* found = nullptr;
  const TLineNode* owner = FindLine(Destinations, [&](const TLineNode& l) {
    for (const auto& control : l.Controls) {
      if (control.Info.dwControlID == controlId) found = &control;
    }
    return found != nullptr;
  });
  if (line) *line = owner;
  return found;
}

std::vector<const TControlNode*> TMixerTopology::AllControls() const {
  std::vector<const TControlNode*> controls;
  FindLine(Destinations, [&](const TLineNode& l) {
    for (const auto& control : l.Controls) controls.push_back(&control);
    return false;
  });
  return controls;
}

// ---- Builders ----

TLineNode MakeLine(DWORD componentType, const std::string& shortName, const std::string& name,
                   DWORD channels, DWORD targetType) {
  TLineNode line;
  line.Info.cbStruct = sizeof(MIXERLINEA);
  line.Info.fdwLine = MIXERLINE_LINEF_ACTIVE;
  line.Info.dwComponentType = componentType;
  line.Info.cChannels = channels;
  CopyName(line.Info.szShortName, sizeof line.Info.szShortName, shortName);
  CopyName(line.Info.szName, sizeof line.Info.szName, name);
  line.Info.Target.dwType = targetType;
  line.Info.Target.dwDeviceID = 0xFFFFFFFFu; // no waveform device unless the back end says
  return line;
}

namespace {

TControlNode MakeControl(DWORD controlType, DWORD flags, const std::string& shortName,
                         const std::string& name) {
  TControlNode control;
  control.Info.cbStruct = sizeof(MIXERCONTROLA);
  control.Info.dwControlType = controlType;
  control.Info.fdwControl = flags;
  CopyName(control.Info.szShortName, sizeof control.Info.szShortName, shortName);
  CopyName(control.Info.szName, sizeof control.Info.szName, name);
  return control;
}

} // namespace

TControlNode MakeVolume(const std::string& shortName, const std::string& name, bool uniform) {
  TControlNode control = MakeControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                     uniform ? MIXERCONTROL_CONTROLF_UNIFORM : 0, shortName, name);
  control.Info.Bounds.dwMinimum = 0;
  control.Info.Bounds.dwMaximum = 0xFFFF;
  control.Info.Metrics.cSteps = 0xFFFF;
  return control;
}

TControlNode MakeSwitch(DWORD controlType, const std::string& shortName, const std::string& name) {
  TControlNode control =
      MakeControl(controlType, MIXERCONTROL_CONTROLF_UNIFORM, shortName, name);
  control.Info.Bounds.dwMinimum = 0;
  control.Info.Bounds.dwMaximum = 1;
  return control;
}

TControlNode MakeSelector(DWORD controlType, const std::string& shortName,
                          const std::string& name, const std::vector<DWORD>& sources) {
  TControlNode control =
      MakeControl(controlType, MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE,
                  shortName, name);
  control.ItemSources = sources;
  control.Info.cMultipleItems = static_cast<DWORD>(sources.size());
  return control;
}

} // namespace platform::mixer
