#include "sorvane/ui/uLcrCurves.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sorvane {
namespace {

// The engineering prefix that puts the median of the values between 1 and 1000.
int PrefixPower(const QList<QPointF>& points) {
  std::vector<double> magnitudes;
  for (const QPointF& p : points)
    if (p.y() != 0) magnitudes.push_back(std::fabs(p.y()));
  if (magnitudes.empty()) return 0;
  std::nth_element(magnitudes.begin(), magnitudes.begin() + magnitudes.size() / 2, magnitudes.end());
  const double median = magnitudes[magnitudes.size() / 2];
  // A hair of slack, so that a coil of 0.99999 mH reads 1.000 mH rather than 1000 µH.
  return std::clamp(static_cast<int>(std::floor((std::log10(median) + 1e-4) / 3)), -4, 1);
}

void Scale(TBinCurve& curve, const QString& unit) {
  static const char* const prefixes[] = {"p", "n", "µ", "m", "", "k"};
  const int power = PrefixPower(curve.Points);
  const double factor = std::pow(1000.0, -power);
  for (QPointF& p : curve.Points) p.setY(p.y() * factor);
  curve.Unit = QString::fromUtf8(prefixes[power + 4]) + unit;
}

// The value of the bin, NaN where it has no meaning.
double BinValue(TLcrCurve which, double f, double r, double x, bool inductive) {
  const double w = 2 * M_PI * f;
  switch (which) {
  case TLcrCurve::LC:
    if (inductive) return x > 0 ? x / w : NAN;
    return x < 0 ? -1 / (w * x) : NAN;
  case TLcrCurve::ESR:
    return r;
  case TLcrCurve::Q:
    return r > 0 ? std::fabs(x) / r : NAN;
  }
  return NAN;
}

} // namespace

TBinCurve LcrCurve(TLcrCurve which, const QList<QPointF>& re, const QList<QPointF>& im, bool inductive) {
  TBinCurve curve;
  curve.Quantity = which == TLcrCurve::LC ? (inductive ? "L" : "C") : which == TLcrCurve::ESR ? "ESR" : "Q";
  const qsizetype n = std::min(re.size(), im.size());
  for (qsizetype i = 0; i < n; ++i) {
    const double v = BinValue(which, re[i].x(), re[i].y(), im[i].y(), inductive);
    if (std::isfinite(v)) curve.Points.append({re[i].x(), v});
  }
  if (which == TLcrCurve::LC) Scale(curve, inductive ? "H" : "F");
  else if (which == TLcrCurve::ESR) Scale(curve, "Ohm");
  return curve;
}

} // namespace sorvane
