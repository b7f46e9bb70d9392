#pragma once
// Where a calibration was measured: the sound cards of its input and output devices and the
// rate. A calibration corrects the inputs of one card at one rate; measured with others it
// corrects the wrong inputs, so the programs keep its place beside it in the settings file and
// say so, until the user calibrates again, when the cards or the rate in use are others. The
// devices of one card share its calibration: the jig is shorted and opened on the same inputs.

#include <string>

#include "platform/inifile.h"

namespace platform {

// On the shorted jig both inputs record one voltage, and a working card's two line inputs then
// differ by a dB or two at most (gains of 0.9 and 1.1, a ratio of 1.22, are still a card). A
// larger ratio means the inputs do not see the same voltage: the terminals are not shorted, or
// the input is on another device. A resistor within 30 % of Rref cannot be told from a card.
inline constexpr double LargestInputMismatch = 1.3;

struct TCalibrationPlace {
  std::string Input, Output;
  unsigned Rate = 0; // 0: not known (a file of an earlier version, or no calibration yet)

  bool Known() const { return Rate > 0; }
  bool operator==(const TCalibrationPlace&) const = default;
};

// The place of the devices in use (waveInGetCardName, waveOutGetCardName; a device whose card
// cannot be named gives an empty name).
TCalibrationPlace PlaceOfDevices(unsigned inputId, unsigned outputId, unsigned rate);

// Keys "CalibratedInput", "CalibratedOutput" and "CalibratedRate" of `section`.
void SaveCalibrationPlace(TIniFile& ini, const std::string& section, const TCalibrationPlace& place);
// A place whose rate is missing or not a positive number is not known.
TCalibrationPlace LoadCalibrationPlace(const TIniFile& ini, const std::string& section);

// "" when a calibration made at `made` applies to measuring at `now` (or where it was made is
// not known); otherwise the sentence that says where it was made and what to do.
std::string CalibrationPlaceWarning(const TCalibrationPlace& made, const TCalibrationPlace& now);

} // namespace platform
