#pragma once
// The fixture's compensation in Sorvane's terms: every bin of a block is one point of the
// fixture (point k is bin k, N/2 points for blocks of N frames). The open, short and load steps
// keep the mean admittance of each bin as measured; every reading is then mapped bin by bin
// from the measured impedance Zm to the part's own Z, and each part's variance goes with it.
// The channel calibration has corrected channel 1 before any of this.

#include <vector>

#include "platform/fixture.h"
#include "sorvane/numeric/uCom.h"
#include "sorvane/engine/uWaveControl.h"

namespace sorvane {

// The fixture that applies to one block's bins at one R ref; without one, readings pass as
// they are.
class TFixtureBins {
public:
  TFixtureBins() = default;
  TFixtureBins(const platform::TFixture& fixture, double rref) : Fixture(&fixture), Rref(rref) {}

  bool Active() const { return Fixture != nullptr; }

  struct TCompensated {
    TComplexD Z;
    double VarianceFactor = 1; // |dZ/dZm|²: the variance of each part of Zm becomes Z's
  };
  // The part's impedance at bin k from the measured zm; a bin the fixture cannot map (an
  // infinite or zero result) keeps its reading.
  TCompensated Compensate(int k, const TComplexD& zm) const;
  // What a part of impedance z reads as through the fixture at bin k: the inverse of
  // Compensate, Zm = Zs + 1 / (F / Z + Yo).
  TComplexD Reading(int k, const TComplexD& z) const;

private:
  const platform::TFixture* Fixture = nullptr;
  long double Rref = 0;
};

// The points of blocks of n frames: bins 0 .. n/2 - 1.
inline std::size_t FixturePoints(int n) { return static_cast<std::size_t>(n / 2); }

// The measured admittance 1 / Zm of every bin 1 .. n/2 - 1 of a processed block (channel 1
// calibrated, both channels spectra), entry k for bin k, 0 for bin 0 and for a bin that
// carries nothing. Formed as conj(B / (A - B)) / rref, which stays finite on an open jig.
std::vector<platform::TFixtureComplex> MeasuredAdmittances(const TWaveData& block, bool swap,
                                                           double rref);

// The mean of the admittances of several blocks, bin by bin.
class TAdmittanceAverage {
public:
  void Add(const std::vector<platform::TFixtureComplex>& admittances);
  int Count() const { return Blocks; }
  std::vector<platform::TFixtureComplex> Mean() const;

private:
  std::vector<platform::TFixtureComplex> Sum;
  int Blocks = 0;
};

} // namespace sorvane
