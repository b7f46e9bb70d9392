#include "platform/gui/uAxisTicks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform {

double RoundStep(double raw) {
  const double decade = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0, 10.0}) {
    // A little slack, so that a raw step of exactly 0.2 is not pushed to 0.5 by rounding.
    if (m * decade >= raw * (1 - 1e-9)) return m * decade;
  }
  return 10 * decade;
}

TLinearTicks LinearTicks(double lo, double hi, int maxCount) {
  const double span = hi - lo;
  const int intervals = std::max(maxCount, 2) - 1;
  TLinearTicks ticks;
  if (!(span > 0) || !std::isfinite(span)) return ticks;
  ticks.Step = RoundStep(span / intervals);
  // Fewer multiples than intervals may fall inside; more than maxCount never do, since the
  // step is at least span / intervals. The loop catches the edge where rounding adds one.
  while (static_cast<int>(LinearTickValues(lo, hi, ticks).size()) > std::max(maxCount, 2))
    ticks.Step = RoundStep(ticks.Step * 1.5);
  ticks.Decimals = std::max(0, static_cast<int>(-std::floor(std::log10(ticks.Step) + 1e-9)));
  return ticks;
}

std::vector<double> LinearTickValues(double lo, double hi, const TLinearTicks& ticks) {
  std::vector<double> values;
  if (!(ticks.Step > 0) || !(hi >= lo)) return values;
  const double slack = ticks.Step * 1e-9;
  for (double k = std::ceil((lo - slack) / ticks.Step); k * ticks.Step <= hi + slack; k += 1) {
    values.push_back(k * ticks.Step);
    if (values.size() > 1000) break; // a range far too wide for its step: never loop on
  }
  return values;
}

std::string LinearFormat(const TLinearTicks& ticks) { return "%." + std::to_string(ticks.Decimals) + "f"; }

std::vector<double> DecadeTickValues(double lo, double hi) {
  std::vector<double> values;
  if (!(lo > 0) || !(hi > lo)) return values;
  for (double e = std::ceil(std::log10(lo) - 1e-9); e <= std::log10(hi) + 1e-9; e += 1)
    values.push_back(std::pow(10.0, e));
  return values;
}

std::string DecadeFormat(double lo, double hi) {
  return lo >= 1e-3 * (1 - 1e-9) && hi < 1e6 ? "%g" : "%.0e";
}

std::string FormatTick(const std::string& format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format.c_str(), v);
  std::string s = text;
  // A tick at zero computed as a tiny negative number must not read "-0.00".
  if (s.front() == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

} // namespace platform
