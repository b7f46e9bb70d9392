#pragma once
// The calibration fit: the ratio of the two input channels, measured bin by bin on a shorted
// jig, smoothed by two least-squares polynomials of degree 15 (real and imaginary part) and
// re-expressed as polynomials in the frequency in Hz, so that a calibration made at one block
// length serves any other. Pure computation on the caller's data.
//
// The fit runs in x = k - m over the symmetric window of bins m - c .. m + c, where the normal
// equations of odd and even powers decouple and the matrix depends on c alone: it is factored
// once per calibration run and serves every block of it.

#include <array>
#include <deque>
#include <vector>

#include "sorvane/numeric/uCom.h"
#include "sorvane/numeric/uLeastSquares.h"

namespace sorvane {

// Entry k is the value for bin k (entry 0, the DC bin, is never used).
using TComplexArray = std::vector<TComplexD>;
// Real part in [0], imaginary part in [1], both as polynomials in the frequency in Hz.
using TCalibrationPolys = std::array<TPolynomial, 2>;

// The ratio of the two inputs averaged over the blocks of a calibration run, bin by bin: the
// sum of V0 conj(V1) over the sum of |V1|^2, so that the noise of the run averages out instead
// of the last block alone setting the calibration (its noise would then sit in every reading
// made with it, in the lowest bins, where the polynomials bend most, by about half a block's
// noise). The inputs' AC coupling answers the start of the test signal with a transient that
// takes a second or more to die away: while the run is short only the latest AveragedBlocks
// count, so the blocks it spoiled leave the average as the run goes on; once the run is longer
// than twice that, every block after the first AveragedBlocks counts, so a calibration left
// running longer keeps getting better (its noise falls as one over the root of its length).
class TRatioAverage {
public:
  static constexpr int AveragedBlocks = 8;
  void Clear();
  // Bins 1 .. bins - 1 of two packed spectra; a block with another number of bins than the
  // last starts the average again.
  void Add(const double* v0, const double* v1, int bins);
  // The blocks the average holds now.
  int Blocks() const { return static_cast<int>(Cross.size()) + SettledBlocks; }
  // ratio[k] := the averaged ratio for k = 1 .. bins - 1, for the bins of the blocks added
  // (entries of bins never heard are left alone).
  void MeanInto(TComplexArray& ratio) const;

  // The blocks the average holds, dealt in turn to SpreadGroups groups by their place in the
  // run: each group is a calibration of a quarter of what the average holds, and the scatter of
  // the groups' fits tells how far the run's noise moves its own (uCalibrationSpread.h). Ready
  // once the average holds AveragedBlocks blocks.
  static constexpr int SpreadGroups = 4;
  bool GroupsReady() const { return Added >= AveragedBlocks; }
  // As MeanInto, for group g's blocks alone (nothing when the groups are not ready).
  void GroupMeanInto(int g, TComplexArray& ratio) const;

private:
  // Per block, oldest first, the latest AveragedBlocks: V0 conj(V1) and |V1|^2 for each bin.
  std::deque<std::vector<TComplexD>> Cross;
  std::deque<std::vector<double>> Power;
  // The sums of the blocks that left the latest ones, after the run's first AveragedBlocks.
  std::vector<TComplexD> SettledCross;
  std::vector<double> SettledPower;
  int SettledBlocks = 0;
  int Added = 0; // blocks added since the average began
  // Every block after the run's first AveragedBlocks, by group: once the run is longer than
  // twice that, exactly the blocks the average holds.
  std::array<std::vector<TComplexD>, SpreadGroups> GroupCross;
  std::array<std::vector<double>, SpreadGroups> GroupPower;
};

// The identity correction 1 + 0i.
TCalibrationPolys IdentityCalibration();

// Normal equations of the degree-15 fit over x = -c .. c (c = halfWidth, weights 1), built in
// extended precision and factored in place. False when they are not positive definite (fewer
// than 16 points, i.e. c < 8): the factor is then unusable and no fit must be made with it.
bool PrepareFit(TNormalMatrix& normal, int halfWidth);

// Fits component comp (0 real, 1 imaginary) of calibration over bins centerBin +- halfWidth with
// the factor from PrepareFit and returns the polynomial in the frequency f = k*binHz. The
// window must lie inside calibration (bins 1 .. size - 1).
TPolynomial FitComponent(const TNormalMatrix& normal, const TComplexArray& calibration, int comp,
                         int centerBin, int halfWidth, double binHz);

// calibration[k] := value of the polynomials at k*binHz, for k = 1 .. size - 1.
void EvaluateCalibration(const TCalibrationPolys& poly, TComplexArray& calibration, double binHz);

// Half the highest sampling rate the program offers: the top of every calibration curve.
constexpr double HighestCalibratedHz = 96000;

// Above any bin a block can hold: a block of up to a million samples of full scale 1.
constexpr double LargestBinMagnitude = 1e6;

// True when every coefficient is a finite number and the curve, times any bin a block can hold
// (LargestBinMagnitude), stays a finite double at every frequency up to maxHz (bounded by the
// sum of |c_j| maxHz^j): a stored calibration with a huge coefficient would otherwise turn the
// corrected spectrum, and every reading, into infinity.
bool CurveStaysFinite(const TPolynomial& poly, double maxHz, double gain = 1);

// The inputs' AC coupling as two first-order high-passes, the corner of channel 0 in [0] and of
// channel 1 in [1], in Hz and in the sign convention of the transform: a bin of channel c carries
// f / (f + i*corner[c]) of the voltage at its input. Both 0 (no coupling term) is the curve the
// polynomials alone describe, as in a calibration made without it.
using TCouplingCorners = std::array<double, 2>;

// The largest corner a calibration keeps: a card's coupling sits at a few hertz, and a corner
// beyond this is a fit that went wrong.
constexpr double LargestCornerHz = 2000;
// Below the lowest bin a block can hold (8000 Hz over a million samples).
constexpr double LowestBinHz = 0.005;

// Both corners finite and within +-LargestCornerHz.
bool CornersUsable(const TCouplingCorners& corners);

// The channel ratio the two high-passes give at f: (f + i*corner[1]) / (f + i*corner[0]).
TComplexD CouplingRatio(const TCouplingCorners& corners, double f);

// The largest modulus of CouplingRatio at any bin a block can hold.
double CouplingGainBound(const TCouplingCorners& corners);

// Fits the two corners to the measured ratio over bins loBin .. hiBin, the lowest bins of the
// calibration range, where the coupling bends the ratio and the rest of the response is a
// smooth curve: ratio(f) (f + i a) = Q(f) with Q of degree 2 is linear in a and Q, and the
// corner b of channel 1 is the root of Q near the origin, Q(-i b) = 0. False (corners left
// alone) with fewer than 8 bins, a singular system or corners that are not usable.
bool FitCouplingCorners(const TComplexArray& ratio, int loBin, int hiBin, double binHz,
                        TCouplingCorners& corners);

// The whole calibration fit of a measured ratio over bins centerBin +- halfWidth with the factor
// from PrepareFit: the corners over the lowest decade of the window (at least ten bins; both 0
// when they cannot be fitted), then the polynomials on the ratio with the coupling divided out.
// False, with poly and corners left alone, when the result would not stay finite.
bool FitCalibration(const TNormalMatrix& normal, const TComplexArray& ratio, int centerBin,
                    int halfWidth, double binHz, TCalibrationPolys& poly,
                    TCouplingCorners& corners);

// Usable corners, and both polynomials times the coupling term finite at every frequency up to
// HighestCalibratedHz.
bool CalibrationStaysFinite(const TCalibrationPolys& poly, const TCouplingCorners& corners);

// ratio[k] := ratio[k] / CouplingRatio(corners, k*binHz) for k = 1 .. size - 1: what is left for
// the polynomials.
void DivideCoupling(const TCouplingCorners& corners, TComplexArray& ratio, double binHz);

// calibration[k] := the polynomials' value times CouplingRatio at k*binHz, k = 1 .. size - 1.
void EvaluateCalibration(const TCalibrationPolys& poly, const TCouplingCorners& corners,
                         TComplexArray& calibration, double binHz);

} // namespace sorvane
