#include "platform/vmbox/uBoxCircuit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace platform::vmbox {
namespace {

double Omega(double f) { return 2.0 * std::numbers::pi * f; }

// A model's Zx as num / den, an open path as 1 / 0.
void ModelFraction(const TZxModel& m, double f, TComplexD& num, TComplexD& den) {
  num = NetworkImpedance(m.Network, f);
  den = 1.0;
  if (std::isinf(num.real()) || std::isinf(num.imag())) {
    num = 1.0;
    den = 0.0;
  }
}

// The natural modes of the loop (source, leads, the model and Rref beside the right input's
// resistance) are the roots of Zloop(s) D(s) = (Rs + Rref + Zleads) D(s) + N(s).
double ModelTimeConstant(const TCircuit& c, double sourceImpedance, const TInputLoad& load) {
  const double rref = load.R > 0 ? c.Rref * load.R / (c.Rref + load.R) : c.Rref;
  const TRational z = NetworkLaplace(c.Model->Network);
  const TPolynomial loop = {(long double)sourceImpedance + rref + c.LeadR, c.LeadL};
  return std::max(SlowestTimeConstant(Add(z.N, Multiply(loop, z.D))), rref * load.C);
}

} // namespace

TComplexD Impedance(const TCircuit& c, double f) {
  if (c.Shorted) return 0.0;
  if (c.Open) return std::numeric_limits<double>::infinity();
  if (c.Model) return NetworkImpedance(c.Model->Network, f);
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
  if (c.Model) return JigTransfer(c, sourceImpedance, TInputLoad{}, f);
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

TJigTransfer JigTransfer(const TCircuit& c, double sourceImpedance, const TInputLoad& load,
                         double f) {
  if (!load.Present() && (c.Shorted || (!c.Open && !c.HasLeads() && !c.Model)))
    return JigTransfer(c, sourceImpedance, f);
  const double w = Omega(f);
  const TComplexD yin = load.Present() ? TComplexD(load.R > 0 ? 1.0 / load.R : 0.0, w * load.C)
                                       : TComplexD(0.0);
  // The component with its leads as num / den, so that neither an open jig nor a capacitor at
  // DC divides by zero: a short is 0 / 1, an open jig 1 / 0.
  TComplexD num = 0.0, den = 1.0;
  if (c.Open) {
    num = 1.0;
    den = 0.0;
  } else if (!c.Shorted && c.Model) {
    ModelFraction(*c.Model, f, num, den);
  } else if (!c.Shorted) {
    num = TComplexD(c.R, w * c.L);
    if (c.C > 0) {
      const TComplexD jwc(0.0, w * c.C);
      num = num * jwc + 1.0;
      den = jwc;
    }
  }
  if (!c.Shorted) {
    // The leads' capacitance across the component, then their series impedance before both:
    // Zl + 1 / (jwCl + den / num).
    const TComplexD jwcl(0.0, w * c.LeadC);
    const TComplexD lead(c.LeadR, w * c.LeadL);
    den += jwcl * num;
    num += lead * den;
  }
  // Node B (the top of Rref) has Rref and the right input to ground; the branch from node A
  // through the component into it has the admittance yb / (1 + Zx yb), and node A has the left
  // input beside it. Node B follows node A by the divider 1 / (1 + Zx yb).
  const TComplexD yb = 1.0 / c.Rref + yin;
  const TComplexD branch = den + num * yb;
  const TComplexD ya = yin + yb * den / branch;
  const TComplexD top = 1.0 / (1.0 + sourceImpedance * ya);
  return {top, top * den / branch};
}

double TimeConstant(const TCircuit& c, double sourceImpedance, const TInputLoad& load) {
  if (c.Open) return 0;
  if (c.Model && !c.Shorted) return ModelTimeConstant(c, sourceImpedance, load);
  if (c.HasLeads() || load.Present()) {
    TCircuit with = c;
    with.LeadR = with.LeadL = with.LeadC = 0;
    if (!c.Shorted) {
      with.R += c.LeadR;
      with.L += c.LeadL;
    }
    if (load.R > 0) with.Rref = c.Rref * load.R / (c.Rref + load.R);
    // The inputs' capacitance charges through what lies at its node, Rref at most.
    return std::max(TimeConstant(with, sourceImpedance), with.Rref * load.C);
  }
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
