#pragma once
// The measuring jig of a virtual box: the card's output drives, through the card's source
// impedance, the component under test Zx in series with the reference resistor Rref to ground.
// The left input sees the top of the pair, the right input the top of Rref.
//
// The fixture around it, when configured: test leads between the jig's terminals and the
// component (a resistance and an inductance in series with Zx; the jig's short for the channel
// calibration lies before them, at the terminals) with a capacitance between them across the
// component, and the inputs' own impedance, each input a
// resistance and a capacitance to ground at the node it records: the left one on the top of the
// pair, the right one across Rref.

#include "platform/vmbox/uBoxImpedanceModel.h"

#include <complex>
#include <memory>

namespace platform::vmbox {

// A component under test: any series combination of R, L and C (0 = absent; for C absent means
// no capacitor, i.e. a DC path), or a model in their place, with the jig's reference resistor. Shorted: Zx is a short.
// Swapped: the jig's leads reach the card's inputs exchanged (left on the top of Rref, right on
// the top of the pair), as when a user wires the box the other way round.
struct TCircuit {
  double R = 0;
  double L = 0;
  double C = 0;
  double Rref = 10;
  bool Shorted = false;
  bool Swapped = false;
  // The test leads, in series with the component (0: none). Not in the circuit of a shorted jig.
  double LeadR = 0;
  double LeadL = 0;
  // The capacitance between the leads, across the component at their far end (0: none).
  double LeadC = 0;
  // Nothing between the terminals: Zx is infinite (R, L and C are not used).
  bool Open = false;
  // Zx as a network or a loudspeaker, in place of R, L and C (empty: the series R, L and C).
  // The leads, the switch, the wiring and the inputs' load apply to it as to them.
  std::shared_ptr<const TZxModel> Model = nullptr;

  bool HasLeads() const { return LeadR > 0 || LeadL > 0 || LeadC > 0; }
};

// Each input's impedance to ground: a resistance (0: none, an infinite one) in parallel with a
// capacitance (0: none). Both inputs of a card have the same.
struct TInputLoad {
  double R = 0;
  double C = 0;

  bool Present() const { return R > 0 || C > 0; }
};

// The voltage transfer from the card's (unloaded) output to each input at frequency f in Hz.
struct TJigTransfer {
  TComplexD Left;  // (Zx + Rref) / (Rs + Zx + Rref)
  TComplexD Right; // Rref / (Rs + Zx + Rref)
};

// Impedance of the component under test at f (Hz). A capacitor at f = 0 is an open circuit:
// the result is then infinite; use JigTransfer, which stays finite.
TComplexD Impedance(const TCircuit& c, double f);

// Both input transfers at f, computed in a form that is finite at f = 0 with a capacitor.
TJigTransfer JigTransfer(const TCircuit& c, double sourceImpedance, double f);
// The same with the inputs' impedance loading their nodes (and the leads and the open jig).
// Without leads, an open jig or an input load it is the transfer above, to the last bit.
TJigTransfer JigTransfer(const TCircuit& c, double sourceImpedance, const TInputLoad& load,
                         double f);

// The slowest time constant (seconds) of the jig's natural response: how long its impulse
// response takes to fall by 1/e. 0 when the jig has no energy storage (or Zx is shorted or
// open). The leads count with the component; an input's resistance lowers Rref's. With a Zx
// model it comes from the roots of the loop's characteristic polynomial, and is infinite when a
// mode of the network does not decay (a loop of L and C without resistance).
double TimeConstant(const TCircuit& c, double sourceImpedance, const TInputLoad& load = {});

} // namespace platform::vmbox
