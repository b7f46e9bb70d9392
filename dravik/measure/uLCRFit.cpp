#include "dravik/measure/uLCRFit.h"

#include <cmath>

namespace dravik {
namespace {

// The derivatives of a fitted value with respect to the real and imaginary part of one
// frequency's admittance.
struct TGradient {
  long double Re = 0;
  long double Im = 0;
};

long double Variance(const TGradient& g, const TAdmittanceCovariance& c) {
  return g.Re * g.Re * c.ReRe + g.Im * g.Im * c.ImIm + 2 * g.Re * g.Im * c.ReIm;
}

// R = S2/S1: dR = (dS2 - R dS1) / S1.
TGradient ResistanceGradient(const TFitPoint& p, const TLCRFitSums& s, long double r) {
  const TComplex& a = p.Admittance;
  return {p.Weight * (1 - 2 * r * a.Re) / s.S1, -2 * p.Weight * r * a.Im / s.S1};
}

// L = -S4/S3: dL = -(dS4 + L dS3) / S3.
TGradient InductanceGradient(const TFitPoint& p, const TLCRFitSums& s, long double l) {
  const TComplex& a = p.Admittance;
  const long double w2 = p.Omega * p.Omega;
  return {-2 * l * p.Weight * w2 * a.Re / s.S3,
          -(p.Weight * p.Omega + 2 * l * p.Weight * w2 * a.Im) / s.S3};
}

// C = S5/S6: dC = (dS5 - C dS6) / S6.
TGradient CapacitanceGradient(const TFitPoint& p, const TLCRFitSums& s, long double c) {
  const TComplex& a = p.Admittance;
  const long double w2 = p.Omega * p.Omega;
  return {2 * p.Weight * a.Re / (w2 * s.S6),
          (2 * p.Weight * a.Im / w2 - c * p.Weight / p.Omega) / s.S6};
}

// Z = 1/A: |Z| = 1/|A| and arg Z = -arg A, to first order in the admittance's error.
TStrongestPoint StrongestPointOf(const TFitPoint& p) {
  TStrongestPoint s;
  const TComplex& a = p.Admittance;
  const long double m = ComplexSqrAbs(a);
  s.Frequency = p.Omega / TwoPi;
  s.Impedance = {a.Re / m, -a.Im / m};
  const TAdmittanceCovariance& c = p.Covariance;
  const long double varModulus = (a.Re * a.Re * c.ReRe + a.Im * a.Im * c.ImIm + 2 * a.Re * a.Im * c.ReIm) / m;
  s.UModulus = std::sqrt(std::fmax(varModulus, 0)) / m;
  const long double varPhase = (a.Im * a.Im * c.ReRe + a.Re * a.Re * c.ImIm - 2 * a.Re * a.Im * c.ReIm) / (m * m);
  s.UPhase = std::sqrt(std::fmax(varPhase, 0));
  return s;
}

void AddUncertainties(const TLCRFitSums& sums, TLCRFitResult& result) {
  long double varR = 0, varL = 0, varC = 0;
  const TFitPoint* strongest = nullptr;
  bool known = !sums.Points.empty();
  for (const TFitPoint& p : sums.Points) {
    known = known && p.CovarianceKnown;
    if (!strongest || p.Weight > strongest->Weight) strongest = &p;
    varR += Variance(ResistanceGradient(p, sums, result.R), p.Covariance);
    varL += Variance(InductanceGradient(p, sums, result.L), p.Covariance);
    if (result.Kind == TReactanceKind::Capacitance)
      varC += Variance(CapacitanceGradient(p, sums, result.Value), p.Covariance);
  }
  if (strongest) result.Strongest = StrongestPointOf(*strongest);
  result.UR = std::sqrt(varR);
  result.UL = std::sqrt(varL);
  result.UValue = result.Kind == TReactanceKind::Capacitance ? std::sqrt(varC) : result.UL;
  result.HasUncertainty = known && std::isfinite(result.UR) && std::isfinite(result.UValue);
}

} // namespace

void TLCRFitSums::Add(long double weight, const TComplex& admittance, long double omega) {
  Add(TFitPoint{weight, admittance, omega, {}, false});
}

void TLCRFitSums::Add(const TFitPoint& point) {
  const long double m = ComplexSqrAbs(point.Admittance);
  const long double omega2 = point.Omega * point.Omega;
  S1 += point.Weight * m;
  S2 += point.Weight * point.Admittance.Re;
  S3 += point.Weight * m * omega2;
  S4 += point.Weight * point.Admittance.Im * point.Omega;
  S5 += point.Weight * m / omega2;
  S6 += point.Weight * point.Admittance.Im / point.Omega;
  Points.push_back(point);
}

long double TLCRFitResult::Reactance(long double omega) const {
  switch (Kind) {
  case TReactanceKind::Inductance: return omega * Value;
  case TReactanceKind::Capacitance: return -1 / (omega * Value);
  case TReactanceKind::Unknown: break;
  }
  return 0;
}

TLCRFitResult SolveLCRFit(const TLCRFitSums& sums) {
  TLCRFitResult result;
  // S1 > 0 also makes S3 > 0: some frequency had weight and a non-zero admittance.
  if (!(sums.S1 > 0 && sums.S3 > 0)) return result;
  result.R = sums.S2 / sums.S1;
  if (!std::isfinite(result.R)) return result;
  result.HasResistance = true;

  const long double l = -sums.S4 / sums.S3;
  result.L = std::isfinite(l) ? l : 0;
  // S6 = 0 (no net reactive part at all) leaves no capacitance to report.
  const long double c = sums.S6 != 0 ? sums.S5 / sums.S6 : -1;
  if (std::isfinite(l) && l >= 0) {
    result.Kind = TReactanceKind::Inductance;
    result.Value = l;
  } else if (std::isfinite(c) && c > 0) {
    // C = 0 would put the reactance at infinity; it cannot arise while S5 > 0.
    result.Kind = TReactanceKind::Capacitance;
    result.Value = c;
  }
  AddUncertainties(sums, result);
  return result;
}

} // namespace dravik
