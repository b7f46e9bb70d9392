#include "platform/device_choice.h"

#include "platform/mmsystem.h"

namespace platform {
namespace {

// A name call's answer, or "" when it fails.
std::string Answer(MMRESULT (*call)(UINT_PTR, std::string&), UINT id) {
  std::string name;
  return call(id, name) == MMSYSERR_NOERROR ? name : std::string();
}

// The selected input when it has `wanted` as its `Of` (the device's or the card's name), else
// the first that has; -1 for none, and for an empty `wanted`, which names nothing.
int FirstWith(std::string TDeviceNames::*Of, const std::string& wanted,
              const std::vector<TDeviceNames>& inputs, int currentInput) {
  if (wanted.empty()) return -1;
  const int count = static_cast<int>(inputs.size());
  if (currentInput >= 0 && currentInput < count && inputs[currentInput].*Of == wanted)
    return currentInput;
  for (int i = 0; i < count; ++i) {
    if (inputs[i].*Of == wanted) return i;
  }
  return -1;
}

} // namespace

bool DeviceNameMatches(const std::string& stored, const std::string& whole) {
  constexpr size_t Cut = MAXPNAMELEN - 1;
  if (stored == whole) return true;
  return stored.size() == Cut && whole.size() > Cut && whole.compare(0, Cut, stored) == 0;
}

TStoredDevice StoredDevice(const std::vector<std::string>& names, int position,
                           const std::string& name) {
  const bool inList = position >= 0 && position < static_cast<int>(names.size());
  const TStoredDevice atPosition{inList ? position : -1, false, name};
  if (name.empty() || (inList && DeviceNameMatches(name, names[position]))) return atPosition;
  int found = -1;
  for (int i = 0; i < static_cast<int>(names.size()); ++i) {
    if (!DeviceNameMatches(name, names[i])) continue;
    if (found >= 0) return atPosition; // the name does not tell which
    found = i;
  }
  if (found >= 0) return {found, false, name};
  return {atPosition.Entry, true, name};
}

TStoredDevice ReadStoredDevice(const TIniFile& ini, const std::string& section,
                               const std::string& positionKey, const std::string& nameKey,
                               const std::vector<std::string>& names, int current) {
  return StoredDevice(names, ini.ReadInteger(section, positionKey, current),
                      ini.ReadString(section, nameKey, ""));
}

std::string DeviceNotConnected(const std::string& kind, const std::string& stored,
                               const std::string& used) {
  std::string text = "The " + kind + " device \"" + stored +
                     "\" stored in the settings is not connected";
  return used.empty() ? text + "." : text + "; using \"" + used + "\".";
}

int InputBesideOutput(const TDeviceNames& output, const std::vector<TDeviceNames>& inputs,
                      int currentInput) {
  const int sameName = FirstWith(&TDeviceNames::Device, output.Device, inputs, currentInput);
  if (sameName >= 0) return sameName;
  return FirstWith(&TDeviceNames::Card, output.Card, inputs, currentInput);
}

int InputBesideOutput(UINT outputId, int currentInput) {
  const TDeviceNames output{Answer(waveOutGetDevName, outputId),
                            Answer(waveOutGetCardName, outputId)};
  std::vector<TDeviceNames> inputs(waveInGetNumDevs());
  for (UINT id = 0; id < inputs.size(); ++id)
    inputs[id] = {Answer(waveInGetDevName, id), Answer(waveInGetCardName, id)};
  return InputBesideOutput(output, inputs, currentInput);
}

} // namespace platform
