#pragma once
// The calibration's own uncertainty. A calibration's noise does not average away over readings:
// every reading made with it carries the same error, largest where the test signal is weakest
// (the bottom decade of a full-band chirp). The blocks the calibration's average holds (its
// latest eight, or every block after the first eight once the run is longer) go in turn to four
// groups (TRatioAverage), and each group is fitted as a calibration of its own, corners and
// polynomials alike. Their curves scatter about the whole run's as far as
// the run's noise carries a quarter of it, with every correlation the fit makes across the bins
// kept; a reading made with each group's curve in turn therefore moves as far as the
// calibration alone moves it, and the scatter of those readings is the calibration's share of
// the reading's uncertainty: u^2 = sum (x_g - mean)^2 / (G (G - 1)) for G groups.

#include <string>
#include <vector>

#include "platform/inifile.h"
#include "sorvane/analysis/uCalibrationFit.h"
#include "sorvane/analysis/uImpedance.h"

namespace sorvane {

struct TCalibrationCurve {
  TCalibrationPolys Poly = IdentityCalibration();
  TCouplingCorners Corners{0, 0};
};

// The keys of one curve in the settings: "Polynom<j><comp>" for coefficient j of the real
// (comp 0) or imaginary (comp 1) polynomial, "Corner<c>" for input c's coupling corner.
std::string PolynomKey(int j, int comp);
std::string CornerKey(int c);
// Writes a curve's coefficients, then its corners, each key after `prefix` ("" for the
// calibration in force, "Group<g>" for a group of its spread).
void WriteCalibrationCurve(platform::TIniFile& ini, const std::string& section,
                           const std::string& prefix, const TCalibrationCurve& curve);

// The groups' curves: empty when the calibration's own uncertainty is not known (a run of fewer
// than eight blocks, or a calibration saved by an earlier version), else one per group.
using TCalibrationSpread = std::vector<TCalibrationCurve>;

// Each group of the run fitted as the run itself is (FitCalibration with the same factor and
// window); empty when the groups are not ready or any group's fit fails.
TCalibrationSpread FitSpread(const TRatioAverage& average, const TNormalMatrix& normal,
                             int centerBin, int halfWidth, double binHz, size_t bins);

// Section "CalibrationSpread": the groups' coefficients and corners, and the calibration they
// belong to ("ForPolynom00", "ForPolynom01": its constant terms), so that a calibration changed
// by a program that does not know the section never borrows a spread that is not its own.
// Loading gives an empty spread for a missing, incomplete, stale or unusable section; saving an
// empty spread removes the section.
TCalibrationSpread LoadSpread(const platform::TIniFile& ini, const TCalibrationPolys& calibration);
void SaveSpread(platform::TIniFile& ini, const TCalibrationSpread& spread,
                const TCalibrationPolys& calibration);

// The results of ComputeImpedanceBins with each curve in place of `calibration` on a block whose
// channel 1 was corrected by `calibration`: only the bins of the range are re-corrected.
std::vector<TLcrResult> SpreadResults(const TWaveData& block, const TComplexArray& calibration,
                                      const std::vector<TComplexArray>& curves, bool swap,
                                      TBinRange bins, double rref, double sampleRate,
                                      const TNoiseSpectrum& noise, const TFixtureBins& fixture = {});

// The calibration's share of the uncertainties of R and of the L or C of `result`, from the
// results the groups' curves give on the same block, added to the result's own in quadrature.
// Groups whose model is of another kind, or too few groups, leave the result as it is.
struct TCalibrationShare {
  bool Known = false;
  double UR = 0, UValue = 0; // UValue: of L for an inductance, of C for a capacitance
};
TCalibrationShare CalibrationShare(const TLcrResult& result, const std::vector<TLcrResult>& groups);
void AddCalibrationShare(TLcrResult& result, const TCalibrationShare& share);

} // namespace sorvane
