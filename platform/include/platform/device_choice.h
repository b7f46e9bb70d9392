#pragma once
// Which devices to use: the one a settings file names, and the input that goes with an output.
// Both programs keep a device by its position in its list (the device identifier to open) and
// by its whole name. The position alone changes meaning when a card is plugged in or taken
// away; the name tells which device it was.

#include <string>
#include <vector>

#include "platform/inifile.h"
#include "platform/wintypes.h"

namespace platform {

// A stored name names a device when it is the device's whole name, or its first 31 characters
// alone, as the capabilities hold it and as earlier versions stored it.
bool DeviceNameMatches(const std::string& stored, const std::string& whole);

struct TStoredDevice {
  int Entry = -1;    // the entry to select; -1: keep the selection
  bool Gone = false; // a name was stored and no entry has it
  std::string Name;  // the stored name ("" when none was)
};

// The entry that a stored position and name choose among the listed names: the position when
// its entry has that name or no name is stored; otherwise the one entry with that name, when
// exactly one has it (the devices have changed places since the file was written); otherwise
// the position, when it is in the list.
TStoredDevice StoredDevice(const std::vector<std::string>& names, int position,
                           const std::string& name);
// The same for a position and a name read from `section` of a settings file; a missing
// position counts as `current`, a missing name as none.
TStoredDevice ReadStoredDevice(const TIniFile& ini, const std::string& section,
                               const std::string& positionKey, const std::string& nameKey,
                               const std::vector<std::string>& names, int current);

// The sentence for a stored device that is not in the list any more: `kind` is "input" or
// "output", `used` the name of the device selected instead (empty: none).
std::string DeviceNotConnected(const std::string& kind, const std::string& stored,
                               const std::string& used);

// A device's whole name and the name of its card (waveInGetCardName); empty when not known.
struct TDeviceNames {
  std::string Device, Card;
};

// The input that goes with an output, for a user who has just picked the output: the input
// of the same name (a box's two devices, and a card's "(hw:N,M)" pair, go by one name);
// failing that, an input on the output's card. The selected input wins among several that
// qualify, so that a choice the user made on the right box or card stays; otherwise the first
// in the list. -1 when no input goes with the output.
int InputBesideOutput(const TDeviceNames& output, const std::vector<TDeviceNames>& inputs,
                      int currentInput);
// The same for the platform's devices (the identifiers are the list positions).
int InputBesideOutput(UINT outputId, int currentInput);

} // namespace platform
