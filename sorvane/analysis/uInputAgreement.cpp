#include "sorvane/analysis/uInputAgreement.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sorvane {
namespace {

double Median(std::vector<double>& values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

} // namespace

const char* const NoToneText =
    "No tone heard: pick the same box or card as output and input, check the cables and turn "
    "the output up, then Start again.";
const char* const InputsDifferText =
    "The two inputs differ by more than a sound card could: short the terminals and pick the "
    "same box or card as output and input.";

std::string LevelCheckFault(const std::array<bool, 2>& heard, const std::array<double, 2>& quality,
                            const std::array<TComplexD, 2>& tone) {
  for (int c = 0; c < 2; ++c) {
    if (!heard[c] || !(quality[c] >= MinToneQuality)) return NoToneText;
  }
  const double ratio = std::sqrt(CSqrAbs(tone[0]) / CSqrAbs(tone[1]));
  constexpr double Mismatch = platform::LargestInputMismatch;
  if (!(ratio <= Mismatch && ratio >= 1 / Mismatch)) return InputsDifferText;
  return {};
}

bool InputsAgree(const std::vector<TComplexD>& ratio, int lo, int hi) {
  lo = std::max(lo, 1);
  hi = std::min(hi, static_cast<int>(ratio.size()) - 1);
  if (hi < lo) return true; // nothing to judge by: the fit decides alone
  std::vector<double> gains, phases;
  for (int k = lo; k <= hi; ++k) {
    const TComplexD& r = ratio[static_cast<size_t>(k)];
    gains.push_back(std::fabs(0.5 * std::log(CSqrAbs(r))));
    phases.push_back(std::fabs(std::atan2(r.Im, r.Re)));
  }
  const double gain = Median(gains), phase = Median(phases);
  return gain <= std::log(platform::LargestInputMismatch) && phase <= LargestInputPhase;
}

bool CalibrationLooksLikeACard(const TCalibrationPolys& poly, const TCouplingCorners& corners) {
  // The bins of a 2048-point block at 48 kHz: the grid the calibration is used on most.
  constexpr double BinHz = 48000.0 / 2048, TopHz = 12000;
  TComplexArray curve(static_cast<size_t>(TopHz / BinHz) + 1);
  EvaluateCalibration(poly, corners, curve, BinHz);
  return InputsAgree(curve, static_cast<int>(std::ceil(AgreementLoHz / BinHz)),
                     static_cast<int>(curve.size()) - 1);
}

} // namespace sorvane
