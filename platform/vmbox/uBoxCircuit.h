#pragma once
// The measuring jig of a virtual box: the card's output drives, through the card's source
// impedance, the component under test Zx in series with the reference resistor Rref to ground.
// The left input sees the top of the pair, the right input the top of Rref.

#include <complex>

namespace platform::vmbox {

// A component under test: any series combination of R, L and C (0 = absent; for C absent means
// no capacitor, i.e. a DC path), with the jig's reference resistor. Shorted: Zx is a short.
// Swapped: the jig's leads reach the card's inputs exchanged (left on the top of Rref, right on
// the top of the pair), as when a user wires the box the other way round.
struct TCircuit {
  double R = 0;
  double L = 0;
  double C = 0;
  double Rref = 10;
  bool Shorted = false;
  bool Swapped = false;
};

using TComplexD = std::complex<double>;

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

// The slowest time constant (seconds) of the jig's natural response: how long its impulse
// response takes to fall by 1/e. 0 when the jig has no energy storage (or Zx is shorted).
double TimeConstant(const TCircuit& c, double sourceImpedance);

} // namespace platform::vmbox
