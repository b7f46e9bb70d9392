#pragma once
// The components of the study: resistors 0.1 ohm .. 10 kohm, inductors 1 uH .. 1 H and
// capacitors 1 nF .. 1 mF (these two with 1 ohm in series), all with Rref 10 ohm.

#include "bench/accuracy/uStudyStats.h"

#include <string>
#include <vector>

namespace study {

struct TCase {
  std::string Name;
  platform::vmbox::TCircuit Circuit;
  TQuantity Main; // the component's own quantity
  // A resistor in series with the card's output, before the point the left input records
  // (0: none); it lowers both voltages alike and does not enter the result.
  double Ballast = 0;
  double Value() const;
};

std::vector<TCase> SweepCases();
// A few boxes for the realism and divisor tables (the program's default boxes and more).
std::vector<TCase> CheckCases();

// Coils of 10 uH to 1 H, capacitors of 1 nF to 10 mF with their series resistances, and
// resistors of 0.1 ohm to 1 Mohm, each with the reference resistor the guide advises
// (GuideRref).
std::vector<TCase> GuideCases();
// The power of ten nearest to |Zx| in the middle of the analysed band (750 Hz for the full
// band), from 1 ohm to 100 kohm: a reference resistor near the impedance it measures.
double GuideRref(double r, double l, double c, double hz = 750);
// The ballast the guide asks for beside a reference resistor below 10 ohm, which the card's
// output cannot drive alone: 10 ohm; none beside larger ones.
double GuideBallast(double rref);
// The same cases with the reference resistor the guide advises at hz.
std::vector<TCase> WithGuideRref(std::vector<TCase> cases, double hz);

// A box of this circuit on a card with white noise only: matched inputs, no offsets, no AC
// coupling, the card's default noise level.
TBoxConfig NoiseOnlyBox(const TCase& c);
// The same circuit on a card with every default imperfection.
TBoxConfig RealisticBox(const TCase& c);
// Neither noise nor imperfections (16-bit rounding still applies).
TBoxConfig NoiselessBox(const TCase& c);

} // namespace study
