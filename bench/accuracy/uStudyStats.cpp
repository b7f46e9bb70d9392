#include "bench/accuracy/uStudyStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace study {

const char* QuantityName(TQuantity q) { return q == TQuantity::R ? "R" : q == TQuantity::L ? "L" : "C"; }
const char* QuantityUnit(TQuantity q) { return q == TQuantity::R ? "Ohm" : q == TQuantity::L ? "H" : "F"; }

double TStats::Error() const {
  return std::max(std::fabs(Bias()), RelSpread());
}

TStats StatsOf(const TRun& run, TQuantity q, double truth) {
  TStats s;
  s.Truth = truth;
  s.Bound = q == TQuantity::R ? run.Bound.R : run.Bound.X;
  const auto value = [q](const TReading& r) { return q == TQuantity::R ? r.R : q == TQuantity::L ? r.L : r.C; };
  const double n = static_cast<double>(run.Readings.size());
  if (n == 0) return s;
  for (const TReading& r : run.Readings) s.Mean += value(r) / n;
  double var = 0;
  for (const TReading& r : run.Readings) var += (value(r) - s.Mean) * (value(r) - s.Mean);
  s.Spread = n > 1 ? std::sqrt(var / (n - 1)) : 0;
  const auto uncertainty = [q](const TReading& r) { return q == TQuantity::R ? r.UR : r.UX; };
  const auto calibration = [q](const TReading& r) { return q == TQuantity::R ? r.UCalR : r.UCalX; };
  double u2 = 0, within = 0, cal2 = 0;
  for (const TReading& r : run.Readings) {
    u2 += uncertainty(r) * uncertainty(r) / n;
    cal2 += calibration(r) * calibration(r) / n;
    if (std::fabs(value(r) - truth) <= 3 * uncertainty(r)) within += 1 / n;
  }
  s.Uncertainty = std::sqrt(u2);
  s.CalUncertainty = std::sqrt(cal2);
  s.Within3U = within;
  return s;
}

std::string Eng(double value, const char* unit) {
  static const char* const Prefix[] = {"p", "n", "u", "m", "", "k", "M"};
  int p = 4;
  double v = value;
  while (std::fabs(v) >= 1000 && p < 6) v /= 1000, ++p;
  while (std::fabs(v) < 1 && v != 0 && p > 0) v *= 1000, --p;
  char text[48];
  std::snprintf(text, sizeof text, "%.3g %s%s", v, Prefix[p], unit);
  return text;
}

std::string Sci(double value) {
  if (value == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1e", value);
  return text;
}

} // namespace study
