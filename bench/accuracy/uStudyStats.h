#pragma once
// Spread and bias of a set of readings of one quantity, against the truth and the bound.

#include "bench/accuracy/uStudyPrograms.h"

#include <string>

namespace study {

enum class TQuantity { R, L, C };
const char* QuantityName(TQuantity q);
const char* QuantityUnit(TQuantity q);

struct TStats {
  double Truth = 0;
  double Mean = 0;
  double Spread = 0; // standard deviation of the readings
  double Bound = 0;  // Cramér-Rao standard deviation
  double Uncertainty = 0; // rms of the uncertainties the readings showed (0: none shown)
  double Within3U = 0;    // share of the readings within three of their own uncertainties
  double CalUncertainty = 0; // rms of the calibration's shares the readings showed (Sorvane)
  double Bias() const { return (Mean - Truth) / Truth; }
  double RelSpread() const { return Spread / Truth; }
  double RelBound() const { return Bound / Truth; }
  double Ratio() const { return Bound > 0 ? Spread / Bound : 0; }
  double UncertaintyRatio() const { return Bound > 0 ? Uncertainty / Bound : 0; }
  // The larger of the bias and the spread, relative.
  double Error() const;
};

TStats StatsOf(const TRun& run, TQuantity q, double truth);

// Engineering text of a value with its unit ("4.7 mH").
std::string Eng(double value, const char* unit);
// "1.2e-04" style, or "-" for 0.
std::string Sci(double value);

} // namespace study
