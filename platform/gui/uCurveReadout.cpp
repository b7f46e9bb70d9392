#include "platform/gui/uCurveReadout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace platform {
namespace {

constexpr int Digits = 6;

double Scaled(double x, bool logX) { return logX ? std::log10(std::max(x, 1e-300)) : x; }

// Units written without a prefix take one; "mH", degrees, percent or a plain ratio do not.
bool TakesPrefix(const std::string& unit) {
  for (const char* base : {"Ohm", "H", "F", "Hz", "s", "V"})
    if (unit == base) return true;
  return false;
}

// Six significant digits (a chart of 3.2997 .. 3.3003 Ohm needs them), at most six decimals; a
// value that rounds up into the next decade (9.9999996 to 10.00000) is written with one less.
int Decimals(double magnitude) {
  if (magnitude == 0) return Digits - 1;
  const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
  int decimals = std::clamp(Digits - 1 - exponent, 0, Digits);
  const double rounded = std::round(magnitude * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
  if (decimals > 0 && rounded >= std::pow(10.0, exponent + 1)) --decimals;
  return decimals;
}

} // namespace

double CurveValueAt(const QList<QPointF>& points, double x, bool logX) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  if (points.isEmpty() || !(x >= points.front().x() && x <= points.back().x())) return nan;
  const auto after = std::lower_bound(points.begin(), points.end(), x,
                                      [](const QPointF& p, double v) { return p.x() < v; });
  if (after->x() == x) return after->y();
  const QPointF& b = *after;
  const QPointF& a = *(after - 1);
  const double t = (Scaled(x, logX) - Scaled(a.x(), logX)) / (Scaled(b.x(), logX) - Scaled(a.x(), logX));
  return a.y() + t * (b.y() - a.y());
}

qsizetype NearestPoint(const QList<QPointF>& points, double x, bool logX) {
  qsizetype best = -1;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (qsizetype i = 0; i < points.size(); ++i) {
    const double d = std::fabs(Scaled(points[i].x(), logX) - Scaled(x, logX));
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

std::string FormatReading(double v, const std::string& unit) {
  if (!std::isfinite(v)) return "-";
  static const char* const prefixes[] = {"p", "n", "µ", "m", "", "k", "M", "G"};
  int power = 0;
  if (TakesPrefix(unit) && v != 0)
    power = std::clamp(static_cast<int>(std::floor(std::log10(std::fabs(v)) / 3)), -4, 3);
  double scaled = v / std::pow(1000.0, power);
  // 999.9996 rounds to 1000 and moves to the next prefix.
  if (TakesPrefix(unit) && std::fabs(scaled) >= 1000 - 0.5 * std::pow(10.0, 3 - Digits) && power < 3) {
    ++power;
    scaled /= 1000;
  }
  const double magnitude = std::fabs(scaled);
  const int decimals = Decimals(magnitude);
  char text[64];
  const bool plainExtreme = !TakesPrefix(unit) && ((magnitude > 0 && magnitude < 1e-3) || magnitude >= 1e5);
  if (plainExtreme) std::snprintf(text, sizeof text, "%.*g", Digits, scaled);
  else std::snprintf(text, sizeof text, "%.*f", decimals, scaled);
  std::string s = text;
  const std::string suffix = std::string(prefixes[power + 4]) + unit;
  return suffix.empty() ? s : s + " " + suffix;
}

} // namespace platform
