#pragma once
// What the calibration tests of both programs share: the cards whose inputs differ as much as
// working cards' do (a calibration on the shorted jig must pass on each), and the calibration
// section of a settings file, to see that a refused calibration left it byte for byte.

#include <string>

#include "platform/vmbox.h"

namespace calibrationcheck {

struct TWorkingCard {
  const char* Name;
  double Gain[2], CornerHz[2];

  // The card model with these inputs, its noise on.
  void ApplyTo(platform::vmbox::TCardModel& card) const {
    card.Matched = false;
    card.NoiseOn = true;
    for (int i = 0; i < 2; ++i) card.Gain[i] = Gain[i], card.HighPassHz[i] = CornerHz[i];
  }
};

inline const TWorkingCard WorkingCards[] = {
    {"gains 0.9 / 1.1", {0.9, 1.1}, {3.2, 3.6}},
    {"gains 1.1 / 0.9", {1.1, 0.9}, {3.2, 3.6}},
    {"corners 1 / 10 Hz", {1.0, 0.985}, {1, 10}},
    {"corners 10 / 1 Hz", {1.0, 0.985}, {10, 1}},
};

// The text of the file's "[Calibration]" section, up to the next section.
inline std::string CalibrationSection(const std::string& file) {
  const size_t from = file.find("[Calibration]");
  if (from == std::string::npos) return {};
  const size_t to = file.find("\n[", from + 1);
  return file.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

} // namespace calibrationcheck
