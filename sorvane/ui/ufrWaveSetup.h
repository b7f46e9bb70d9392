#pragma once
// TfrWaveSetup: the choice of sampling rate, sound input and output device and the swap of the
// two input channels, with its section "WaveSetup" of the settings file. A device's position in
// its list is the device identifier to open; the lists show the devices' whole names. The file
// keeps each device's position and name: a stored name that no longer names the device at its
// position, but names exactly one other, selects that one (the devices have changed places).
// With no device of a kind the list stays empty and the frame says so in red; the window then
// refuses to start. A stored device that is not connected any more is said so in red as well,
// until the user picks a device of its kind. Picking an output selects the input that goes with
// it. The resolution (block length, uResolution.h) is kept as its factor over the standard
// block under the key "Resolution"; a file without it keeps the standard block.

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <functional>
#include <string>

#include "platform/inifile.h"

namespace sorvane {

class TfrWaveSetup : public QFrame {
  Q_OBJECT
public:
  explicit TfrWaveSetup(QWidget* parent = nullptr);

  int SamplingRate() const;
  // The factor of the block length over the standard one (1 by default).
  int ResolutionFactor() const;
  // The selected positions (device identifiers); -1 when the list is empty.
  int InputDevice() const { return cbDeviceIn->currentIndex(); }
  int OutputDevice() const { return cbDeviceOut->currentIndex(); }
  // Empty when both kinds of device exist; otherwise the text that says which is missing.
  std::string MissingDevices() const;

  void SetDevicesEnabled(bool enabled);
  void LoadSettings(const platform::TIniFile& ini);
  void SaveSettings(platform::TIniFile& ini) const;

  // The new sampling rate, when the user picks one; empty by default.
  std::function<void(int rate)> OnSamplingChange;
  // The new factor, when the user picks a resolution; empty by default.
  std::function<void(int factor)> OnResolutionChange;

  QLabel* lbSampling;
  QComboBox* cbSampling;
  QLabel* lbInput;
  QComboBox* cbDeviceIn;
  QLabel* lbOutput;
  QComboBox* cbDeviceOut;
  QCheckBox* cbSwap;
  QLabel* lbResolution;
  QComboBox* cbResolution; // the block lengths of the rate, the standard one first
  QFrame* BevelWS1;
  QFrame* BevelWS2;
  QLabel* lbNoDevice; // in red: the kinds of device missing, the stored devices not connected

private:
  void cbSamplingChange();
  void cbDeviceOutChange();
  void cbDeviceInChange();
  void FillDevices();
  void ShowDeviceProblems();
  // Lists the resolutions of the rate in force, keeping the factor chosen where it is offered.
  void FillResolutions(int factor);

  // Per kind (input, output): the sentence that says the stored device is not connected.
  std::string FNotConnected[2];
};

} // namespace sorvane
