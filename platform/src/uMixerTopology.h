#pragma once
// What a mixer device offers, as plain data: its destinations, the source lines connected to
// each, and the controls of every line, with the records that the API hands out already filled
// (ids, counts, names, targets, bounds). A back end builds it once; the front end answers every
// line and control query from it, so back ends never parse query records themselves.

#include "platform/mixer.h"

#include <string>
#include <vector>

namespace platform::mixer {

struct TControlNode {
  MIXERCONTROLA Info{};
  DWORD Channels = 1; // values per item kept by the device: 1 for a uniform control
  // A selector's items: the source lines (by index on its destination) that they route, and
  // their texts (dwParam1/2 = that line's id and component type, filled by Complete).
  std::vector<DWORD> ItemSources;
  std::vector<MIXERCONTROLDETAILS_LISTTEXTA> Items;

  bool Uniform() const { return Info.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM; }
  bool Multiple() const { return Info.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE; }
  DWORD ItemCount() const { return Multiple() ? Info.cMultipleItems : 1; }
  size_t ValueCount() const { return size_t{Channels} * ItemCount(); }
};

struct TLineNode {
  MIXERLINEA Info{};
  std::vector<TControlNode> Controls;
};

struct TDestinationNode {
  TLineNode Line;
  std::vector<TLineNode> Sources;
};

class TMixerTopology {
public:
  MIXERCAPSA Caps{};
  // The device's whole name; Caps.szPname holds as much of it as fits (MAXPNAMELEN - 1).
  std::string Name;
  std::vector<TDestinationNode> Destinations;

  // Names the device: the whole name, and its beginning in the capabilities.
  void SetName(const std::string& name);

  // Fills in what follows from the structure: cDestinations, dwDestination/dwSource, line ids
  // (unique), cConnections, cControls, control ids (unique, from 1, in order), the channels of
  // the controls' values, the selectors' item texts and the sizes of every record. Call once
  // after building.
  void Complete();

  const TLineNode* Destination(DWORD destination) const;
  const TLineNode* Source(DWORD destination, DWORD source) const;
  const TLineNode* LineById(DWORD lineId) const;
  // The first line, destinations before their sources, of this component type.
  const TLineNode* LineByComponent(DWORD componentType) const;
  // The first line whose target has this type and device name.
  const TLineNode* LineByTarget(DWORD targetType, const char* pname) const;
  // A control by id, with the line that carries it.
  const TControlNode* Control(DWORD controlId, const TLineNode** line = nullptr) const;

  std::vector<const TControlNode*> AllControls() const;
};

// Builders for back ends.
TLineNode MakeLine(DWORD componentType, const std::string& shortName, const std::string& name,
                   DWORD channels, DWORD targetType);
// A volume (0..65535) kept per channel, or uniform.
TControlNode MakeVolume(const std::string& shortName, const std::string& name, bool uniform);
// A uniform on/off switch of the given switch type (MUTE, ONOFF, ...).
TControlNode MakeSwitch(DWORD controlType, const std::string& shortName, const std::string& name);
// A uniform MUX or MIXER selector of a destination, one item per listed source index.
TControlNode MakeSelector(DWORD controlType, const std::string& shortName,
                          const std::string& name, const std::vector<DWORD>& sources);

// Copies text into a fixed field: cut short and always terminated.
void CopyName(char* field, size_t size, const std::string& text);

} // namespace platform::mixer
