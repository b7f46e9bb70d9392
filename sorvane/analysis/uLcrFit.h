#pragma once
// The series model of the component, R + jwL or R + 1/(jwC), fitted to the impedance of many
// bins by weighted least squares, each bin weighted by the inverse of its variance, with the
// standard uncertainties of R and of L or C from the fit. Pure computation.
//
// Both models are linear in their parameters: Re Z = R, Im Z = w L or Im Z = -D / w with
// D = 1/C, so R, L and D are weighted means of their own parts and their variances the inverse
// of the sums of weights. A misfit larger than the noise (a calibration residue, a component that
// is not a plain series pair) widens the uncertainty by the square root of chi^2 per degree of
// freedom, so the uncertainty shown always covers what the model does not explain.

#include <cstdint>
#include <vector>

#include "sorvane/numeric/uCom.h"

namespace sorvane {

// One bin: angular frequency (rad/s, > 0), impedance, and the variance of each of its parts.
struct TLcrPoint {
  double W = 0;
  TComplexD Z{0, 0};
  double Var = 0;
};

enum class TReactanceKind : uint8_t { None, Inductance, Capacitance };

struct TLcrFit {
  int Points = 0;
  double R = 0, UR = 0;
  // The model whose reactance fits better; None without points.
  TReactanceKind Kind = TReactanceKind::None;
  // The fitted L or C (either may come out negative or zero for a resistor) and uncertainty.
  double Value = 0, UValue = 0;
  // The reactance's own coefficient and its uncertainty, also where Value is carried as 0: L
  // (X = w L) for an inductance, D = 1/C (X = -D / w) for a capacitance.
  double Coefficient = 0, UCoefficient = 0;
  bool HasUncertainty = false;

  // The model's reactance at w and its standard uncertainty.
  double Reactance(double w) const;
  double ReactanceUncertainty(double w) const;
};

// absoluteVariances: the points' Var are variances; otherwise they are only relative weights
// and the scale of the uncertainties comes from the scatter of the points about the model.
TLcrFit FitSeriesModel(const std::vector<TLcrPoint>& points, bool absoluteVariances);

} // namespace sorvane
