#include "sorvane/analysis/uLogThinning.h"

#include <algorithm>
#include <cmath>

namespace sorvane {
namespace {

bool Usable(const TCurvePoint& p) {
  return p.F > 0 && std::isfinite(p.F) && std::isfinite(p.Value.Re) && std::isfinite(p.Value.Im);
}

bool VarianceKnown(const TCurvePoint& p) { return p.Variance > 0 && std::isfinite(p.Variance); }

// The mean of points [first, last), by inverse variance when all of them have one.
TCurvePoint MeanOf(std::vector<TCurvePoint>::const_iterator first,
                   std::vector<TCurvePoint>::const_iterator last) {
  const bool weighted = std::all_of(first, last, VarianceKnown);
  double sw = 0, sf = 0, sre = 0, sim = 0;
  for (auto p = first; p != last; ++p) {
    const double w = weighted ? 1 / p->Variance : 1;
    sw += w;
    sf += w * p->F;
    sre += w * p->Value.Re;
    sim += w * p->Value.Im;
  }
  return {sf / sw, {sre / sw, sim / sw}, weighted ? 1 / sw : 0};
}

} // namespace

long CellOf(double f, int perOctave) {
  return static_cast<long>(std::floor(std::log2(f) * perOctave));
}

std::vector<TCurvePoint> ThinPerOctave(std::vector<TCurvePoint> points, int perOctave) {
  std::erase_if(points, [](const TCurvePoint& p) { return !Usable(p); });
  std::stable_sort(points.begin(), points.end(),
                   [](const TCurvePoint& a, const TCurvePoint& b) { return a.F < b.F; });
  if (perOctave <= 0) return points;
  std::vector<TCurvePoint> thinned;
  for (auto first = points.begin(); first != points.end();) {
    const long cell = CellOf(first->F, perOctave);
    auto last = std::find_if(first, points.end(),
                             [&](const TCurvePoint& p) { return CellOf(p.F, perOctave) != cell; });
    thinned.push_back(MeanOf(first, last));
    first = last;
  }
  return thinned;
}

} // namespace sorvane
