#pragma once
// Components under test beyond R, L and C in series: any network of R, L and C parts in series
// and parallel, and a loudspeaker as its electrical analogue. A model is built once, shared by
// the copies of a box's circuit, and gives Zx at any frequency and the polynomials in s that
// size the box's filters.

#include "platform/vmbox/uBoxPolynomial.h"

#include <complex>
#include <memory>
#include <string>
#include <vector>

namespace platform::vmbox {

using TComplexD = std::complex<double>;

enum class TPartKind { R, L, C, Series, Parallel };

// A part (R, L or C with its value in ohm, henry or farad) or a series or parallel combination
// of at least two branches.
struct TNetwork {
  TPartKind Kind = TPartKind::R;
  double Value = 0;
  std::vector<TNetwork> Parts;
};

// The network's impedance at f (Hz). An open path (a capacitor at DC, a parallel resonance met
// exactly) is infinite; a short is 0.
TComplexD NetworkImpedance(const TNetwork& n, double f);

// Z(s) = N(s) / D(s), both with non-negative coefficients, built part by part without
// cancelling common factors.
struct TRational {
  TPolynomial N, D;
};
TRational NetworkLaplace(const TNetwork& n);

// Empty when a part's value is usable, else what is wrong ("C must be above 0 and at most 1 F").
std::string PartFault(TPartKind kind, double value);
// The first fault of any part of the network, or empty.
std::string ValidateNetwork(const TNetwork& n);

// "(3.3 Ohm + 1 mH) | 100 pF"; compact: "(3.3Ohm+1mH)|100pF". "|" binds tighter than "+".
std::string NetworkText(const TNetwork& n, bool compact);

// Thiele-Small parameters of a loudspeaker and its voice coil. The motional part is the parallel
// Res || Lces || Cmes with Res = Re Qms / Qes, Cmes = Qes / (2 pi fs Re),
// Lces = 1 / ((2 pi fs)^2 Cmes), in series with the coil Re + jw Le. A lossy coil (Rl and Ll
// both above 0) adds the L-R ladder's second rung Rl || Ll in series, so that the coil's
// inductance falls and its resistance rises with frequency as eddy currents make them.
struct TLoudspeaker {
  double Re = 0;  // ohm, the voice coil's DC resistance
  double Le = 0;  // henry
  double Fs = 0;  // Hz, the resonance
  double Qms = 0;
  double Qes = 0;
  double Rl = 0;  // ohm
  double Ll = 0;  // henry

  double Qts() const { return Qms * Qes / (Qms + Qes); }
  double Res() const;
  double Cmes() const;
  double Lces() const;
  bool LossyCoil() const { return Rl > 0 && Ll > 0; }
};

// Empty when the values are usable, else what is wrong, as the box keys name them.
std::string ValidateLoudspeaker(const TLoudspeaker& s);

TNetwork LoudspeakerNetwork(const TLoudspeaker& s);

// What a box's Zx is when it is not the series R, L and C: the network and how names show it.
struct TZxModel {
  TNetwork Network;
  std::string Label;        // for the box's whole name
  std::string CompactLabel; // for a name that must fit the device name field
  bool Loudspeaker = false;
  TLoudspeaker Speaker;     // its parameters, when Loudspeaker
};

std::shared_ptr<const TZxModel> NetworkModel(TNetwork n);
// "loudspeaker Re=6.2 Ohm fs=45 Hz Qts=0.42"
std::shared_ptr<const TZxModel> LoudspeakerModel(const TLoudspeaker& s);

} // namespace platform::vmbox
