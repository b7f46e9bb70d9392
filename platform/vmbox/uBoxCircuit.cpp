#include "platform/vmbox/uBoxCircuit.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace platform::vmbox {
namespace {

double Omega(double f) { return 2.0 * std::numbers::pi * f; }

} // namespace

TComplexD Impedance(const TCircuit& c, double f) {
  if (c.Shorted) return 0.0;
  const double w = Omega(f);
  TComplexD z(c.R, w * c.L);
  if (c.C > 0) {
    if (w == 0) return std::numeric_limits<double>::infinity();
    z += TComplexD(0.0, -1.0 / (w * c.C));
  }
  return z;
}

TJigTransfer JigTransfer(const TCircuit& c, double sourceImpedance, double f) {
  if (c.Shorted) {
    const double t = c.Rref / (sourceImpedance + c.Rref);
    return {t, t};
  }
  const double w = Omega(f);
  // Everything below Rs, and the whole loop, as series impedances.
  TComplexD lower(c.Rref + c.R, w * c.L);
  TComplexD loop = lower + sourceImpedance;
  TComplexD rref = c.Rref;
  if (c.C > 0) {
    // Multiplied through by jwC, so that the open circuit at DC gives 1 and 0, not inf/inf.
    const TComplexD jwc(0.0, w * c.C);
    lower = lower * jwc + 1.0;
    loop = loop * jwc + 1.0;
    rref *= jwc;
  }
  return {lower / loop, rref / loop};
}

double TimeConstant(const TCircuit& c, double sourceImpedance) {
  if (c.Shorted) return 0;
  const double rt = sourceImpedance + c.Rref + c.R;
  const bool hasL = c.L > 0;
  const bool hasC = c.C > 0;
  if (hasL && !hasC) return c.L / rt;
  if (hasC && !hasL) return rt * c.C;
  if (!hasL) return 0;
  // Series RLC: poles of L C s^2 + Rt C s + 1.
  const double disc = rt * c.C * rt * c.C - 4.0 * c.L * c.C;
  if (disc < 0) return 2.0 * c.L / rt; // ringing decays with the real part -Rt/2L
  // Overdamped: the slower pole is 1/(LC s_fast), written without cancellation.
  return (rt * c.C + std::sqrt(disc)) / 2.0;
}

} // namespace platform::vmbox
