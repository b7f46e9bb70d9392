#pragma once
// Open and short compensation of a measuring fixture. Test leads lie in series with the
// component (Zs) and whatever lies across its terminals in parallel with it (Yo): the reading is
// then Zm = Zs + 1 / (Yo + 1 / Z). Two steps measure them once per fixture, at every frequency a
// program analyses: "Short" with the leads shorted at their far end (Zm = Zs) and "Open" with
// nothing connected (Zm = Zo = Zs + 1 / Yo). Every reading is then compensated by
//   Z = (Zm - Zs) / (1 - (Zm - Zs) Yo).
// A third, optional step, "Load", measures a known resistor (the standard) after the other two:
// what remains is a scale error per point, F = A / Ax, that neither an open nor a short can see
// (the card input's own impedance across R ref reads every part 1 + Rref / Zin too high), and
// every reading is divided by it. It holds for the R ref it was measured with.
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

enum class TFixtureStep { Open, Short, Load };

// What the two steps measured at the analysis points of one program, with where: the card of
// the devices, the rate and the block length, which fix the points' frequencies.
struct TFixture {
  TCalibrationPlace Place;
  uint32_t Frames = 0;
  std::vector<TFixtureComplex> Short; // Zs per point; empty: no short step
  std::vector<TFixtureComplex> Open;  // the admittance 1 / Zo per point; empty: no open step
  std::vector<TFixtureComplex> Load;  // the scale error F per point; empty: no load step
  long double LoadStandard = 0;       // the standard's resistance, ohms
  long double LoadReference = 0;      // the R ref the load step was measured with, ohms
  bool Enabled = true;                // the user's switch

  bool Measured() const { return !Short.empty() || !Open.empty() || !Load.empty(); }
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
  // Compensates point i's measured admittance: open and short, then the load's scale where it
  // was measured with R ref `rref` (a load of another R ref, or none, leaves the scale alone).
  TFixtureComplex Compensate(std::size_t i, TFixtureComplex am, long double rref = 0) const;
  // The load's scale error at point i, 1 where it does not apply at `rref`.
  TFixtureComplex LoadFactor(std::size_t i, long double rref) const;
  bool LoadAppliesTo(long double rref) const { return !Load.empty() && LoadReference == rref; }

  // Keeps what a step measured (admittances Am = 1/Zm per point; the short's become
  // impedances). A step at another place or block length than the other step's clears that one:
  // the two belong to one fixture on one card at one rate.
  // An open or a short step clears the load, which was measured through them.
  void Keep(TFixtureStep step, const TCalibrationPlace& place, uint32_t frames,
            const std::vector<TFixtureComplex>& admittances);
  // Keeps the load step: the admittances a standard of `standardOhms` gave with R ref `rref`,
  // taken through the open and short in force.
  void KeepLoad(const TCalibrationPlace& place, uint32_t frames,
                const std::vector<TFixtureComplex>& admittances, long double standardOhms,
                long double rref);
};

// Section `section`: "Enabled", "Frames", the place's keys, "ShortPoints" and per point
// "ShortRe" i, "ShortIm" i, then "OpenPoints", "OpenRe" i, "OpenIm" i, then "LoadPoints",
// "LoadRe" i, "LoadIm" i, "LoadStandard" and "LoadReference".
void SaveFixture(TIniFile& ini, const std::string& section, const TFixture& fixture);
// A step whose values cannot be read (missing, not finite) is not measured; a file without
// the section has none.
TFixture LoadFixture(const TIniFile& ini, const std::string& section);

// The log's sentence for a fixture that is switched on but cannot be used at `now` with
// blocks of `frames` ("" when it is used, or none was measured).
std::string FixtureUnusedWarning(const TFixture& fixture, const TCalibrationPlace& now,
                                 uint32_t frames, std::size_t points);
// The same for a load step measured with another R ref than `rref` ("" when it applies).
std::string LoadUnusedWarning(const TFixture& fixture, long double rref);

} // namespace platform
