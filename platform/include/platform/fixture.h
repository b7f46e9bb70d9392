#pragma once
// Open and short compensation of a measuring fixture. Test leads lie in series with the
// component (Zs) and whatever lies across its terminals in parallel with it (Yo): the reading is
// then Zm = Zs + 1 / (Yo + 1 / Z). Two steps measure them once per fixture, at every frequency a
// program analyses: "Short" with the leads shorted at their far end (Zm = Zs) and "Open" with
// nothing connected (Zm = Zo = Zs + 1 / Yo). Every reading is then compensated by
//   Z = (Zm - Zs) / (1 - (Zm - Zs) Yo).
// The channel calibration corrects the card's inputs before any of this; the fixture lies
// beyond the terminals it shorts.

#include "platform/calibration_place.h"
#include "platform/inifile.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using TFixtureComplex = std::complex<long double>;

// Z from the measured impedance, and the same in admittance form, A = 1/Z from Am = 1/Zm
// (finite where Zm is infinite, as on an open jig): A = Am / (1 - Zs Am) - Yo.
TFixtureComplex CompensatedImpedance(TFixtureComplex zm, TFixtureComplex zs, TFixtureComplex yo);
TFixtureComplex CompensatedAdmittance(TFixtureComplex am, TFixtureComplex zs, TFixtureComplex yo);
// dA/dAm: a small error of the measured admittance reaches the compensated one times this.
TFixtureComplex CompensationSlope(TFixtureComplex am, TFixtureComplex zs);

enum class TFixtureStep { Open, Short };

// What the two steps measured at the analysis points of one program, with where: the card of
// the devices, the rate and the block length, which fix the points' frequencies.
struct TFixture {
  TCalibrationPlace Place;
  uint32_t Frames = 0;
  std::vector<TFixtureComplex> Short; // Zs per point; empty: no short step
  std::vector<TFixtureComplex> Open;  // the admittance 1 / Zo per point; empty: no open step
  bool Enabled = true;                // the user's switch

  bool Measured() const { return !Short.empty() || !Open.empty(); }
  // Measured at the points of blocks of `frames` at `rate`, `points` of them.
  bool AppliesTo(unsigned rate, unsigned frames, std::size_t points) const;
  // Switched on and measured for these points.
  bool InForce(unsigned rate, unsigned frames, std::size_t points) const {
    return Enabled && AppliesTo(rate, frames, points);
  }
  // Point i's series impedance (0 without a short step) and parallel admittance (0 without an
  // open step; the short is taken out of the open's reading: Yo = 1 / (Zo - Zs)).
  TFixtureComplex SeriesImpedance(std::size_t i) const;
  TFixtureComplex ParallelAdmittance(std::size_t i) const;
  // Compensates point i's measured admittance.
  TFixtureComplex Compensate(std::size_t i, TFixtureComplex am) const;

  // Keeps what a step measured (admittances Am = 1/Zm per point; the short's become
  // impedances). A step at another place or block length than the other step's clears that one:
  // the two belong to one fixture on one card at one rate.
  void Keep(TFixtureStep step, const TCalibrationPlace& place, uint32_t frames,
            const std::vector<TFixtureComplex>& admittances);
};

// Section `section`: "Enabled", "Frames", the place's keys, "ShortPoints" and per point
// "ShortRe" i, "ShortIm" i, then "OpenPoints", "OpenRe" i, "OpenIm" i.
void SaveFixture(TIniFile& ini, const std::string& section, const TFixture& fixture);
// A step whose values cannot be read (missing, not finite) is not measured; a file without
// the section has none.
TFixture LoadFixture(const TIniFile& ini, const std::string& section);

// The log's sentence for a fixture that is switched on but cannot be used at `now` with
// blocks of `frames` ("" when it is used, or none was measured).
std::string FixtureUnusedWarning(const TFixture& fixture, const TCalibrationPlace& now,
                                 uint32_t frames, std::size_t points);

} // namespace platform
