#include "platform/calibration_place.h"

#include "platform/mmsystem.h"

namespace platform {
namespace {

std::string Devices(const TCalibrationPlace& place) {
  if (place.Input == place.Output) return "\"" + place.Input + "\"";
  return "\"" + place.Output + "\" (output) and \"" + place.Input + "\" (input)";
}

} // namespace

TCalibrationPlace PlaceOfDevices(unsigned inputId, unsigned outputId, unsigned rate) {
  TCalibrationPlace place;
  place.Rate = rate;
  if (waveInGetCardName(inputId, place.Input) != MMSYSERR_NOERROR) place.Input.clear();
  if (waveOutGetCardName(outputId, place.Output) != MMSYSERR_NOERROR) place.Output.clear();
  return place;
}

void SaveCalibrationPlace(TIniFile& ini, const std::string& section, const TCalibrationPlace& place) {
  ini.WriteString(section, "CalibratedInput", place.Input);
  ini.WriteString(section, "CalibratedOutput", place.Output);
  ini.WriteInteger(section, "CalibratedRate", static_cast<int>(place.Rate));
}

TCalibrationPlace LoadCalibrationPlace(const TIniFile& ini, const std::string& section) {
  TCalibrationPlace place;
  const int rate = ini.ReadInteger(section, "CalibratedRate", 0);
  if (rate <= 0) return place;
  place.Rate = static_cast<unsigned>(rate);
  place.Input = ini.ReadString(section, "CalibratedInput", "");
  place.Output = ini.ReadString(section, "CalibratedOutput", "");
  return place;
}

std::string CalibrationPlaceWarning(const TCalibrationPlace& made, const TCalibrationPlace& now) {
  if (!made.Known()) return {};
  if (made.Input == now.Input && made.Output == now.Output && made.Rate == now.Rate) return {};
  return "The calibration was made on " + Devices(made) + " at " + std::to_string(made.Rate) +
         " Hz, not on the card and rate in use: calibrate again for exact readings.";
}

} // namespace platform
