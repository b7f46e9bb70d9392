#include "sorvane/analysis/uLcrFit.h"

#include <algorithm>
#include <cmath>

namespace sorvane {
namespace {

// y_k = a_k p + noise, weighted by 1/var: the parameter, its variance and the chi^2 about it.
struct TLine {
  double P = 0, Var = 0, Chi2 = 0;
};

template <typename A, typename Y>
TLine FitLine(const std::vector<TLcrPoint>& points, A a, Y y) {
  long double saa = 0, say = 0;
  for (const TLcrPoint& p : points) {
    saa += a(p) * a(p) / p.Var;
    say += a(p) * y(p) / p.Var;
  }
  TLine line;
  if (!(saa > 0)) return line;
  line.P = static_cast<double>(say / saa);
  line.Var = static_cast<double>(1 / saa);
  long double chi2 = 0;
  for (const TLcrPoint& p : points) {
    const long double r = y(p) - a(p) * line.P;
    chi2 += r * r / p.Var;
  }
  line.Chi2 = static_cast<double>(chi2);
  return line;
}

// The factor on a variance: the misfit per degree of freedom, at least 1 for known variances.
double Scale(const TLine& line, int n, bool absolute) {
  const double perDegree = line.Chi2 / std::max(1, n - 1);
  return absolute ? std::max(1.0, perDegree) : perDegree;
}

} // namespace

TLcrFit FitSeriesModel(const std::vector<TLcrPoint>& points, bool absoluteVariances) {
  TLcrFit fit;
  fit.Points = static_cast<int>(points.size());
  if (points.empty()) return fit;
  const int n = fit.Points;
  const TLine r = FitLine(points, [](const TLcrPoint&) { return 1.0; }, [](const TLcrPoint& p) { return p.Z.Re; });
  const TLine l = FitLine(points, [](const TLcrPoint& p) { return p.W; }, [](const TLcrPoint& p) { return p.Z.Im; });
  const TLine d = FitLine(points, [](const TLcrPoint& p) { return -1 / p.W; }, [](const TLcrPoint& p) { return p.Z.Im; });
  fit.R = r.P;
  fit.HasUncertainty = n >= 2;
  fit.UR = std::sqrt(r.Var * Scale(r, n, absoluteVariances));
  // The model of the sign the reactance shows; with both signs (or neither) the better fit.
  const bool inductive = l.P > 0 && d.P > 0 ? l.Chi2 <= d.Chi2 : l.P > 0 || (d.P <= 0 && l.Chi2 <= d.Chi2);
  if (inductive) {
    fit.Kind = TReactanceKind::Inductance;
    fit.Value = fit.Coefficient = l.P;
    fit.UValue = fit.UCoefficient = std::sqrt(l.Var * Scale(l, n, absoluteVariances));
  } else {
    fit.Kind = TReactanceKind::Capacitance;
    const double ud = std::sqrt(d.Var * Scale(d, n, absoluteVariances));
    fit.Value = d.P != 0 ? 1 / d.P : 0;
    fit.UValue = d.P != 0 ? ud / (d.P * d.P) : 0;
    fit.Coefficient = d.P;
    fit.UCoefficient = ud;
    // C = 1/D cannot be told from zero reactance through its own uncertainty (1/D grows
    // without bound as D nears 0): the test against zero is made on D, and a D within two of
    // its uncertainties of zero is carried as a C of 0.
    if (d.P <= 2 * ud && fit.HasUncertainty) fit.Value = 0;
  }
  return fit;
}

double TLcrFit::Reactance(double w) const {
  if (Kind == TReactanceKind::Inductance) return w * Coefficient;
  if (Kind == TReactanceKind::Capacitance) return -Coefficient / w;
  return 0;
}

double TLcrFit::ReactanceUncertainty(double w) const {
  if (Kind == TReactanceKind::Inductance) return w * UCoefficient;
  if (Kind == TReactanceKind::Capacitance) return UCoefficient / w;
  return 0;
}

} // namespace sorvane
