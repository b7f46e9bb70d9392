#pragma once
// The loudspeaker's small-signal parameters from its impedance curve: the electrical analogue
// Z(f) = Re + Zcoil(f) + Zm(f) fitted to the measured complex impedance by damped nonlinear least
// squares, each parameter with its standard uncertainty, and from a second curve (the cone
// loaded with a known mass, or the driver in a closed box of known volume) the equivalent air
// volume, moving mass, compliance and force factor. Pure computation on the caller's curve.
//
// The motional impedance is the parallel Res, Lces, Cmes of the analogue:
//   Res = Re Qms / Qes, Cmes = Qes / (ws Re), Lces = 1 / (ws^2 Cmes), ws = 2 pi fs,
// which reads Zm = Res / (1 + j Qms (f/fs - fs/f)). The voice coil is jwLe, or with the lossy
// model Le in series with Rl || jwLl, the eddy-current loss that makes a real coil's impedance
// rise more slowly than an ideal inductance.

#include <array>
#include <string>
#include <vector>

#include "sorvane/numeric/uCom.h"

namespace sorvane {

// One point of the impedance curve: frequency (Hz, > 0), impedance (positive imaginary part for
// an inductance) and the variance of the complex value, E|Z - Ztrue|^2 (each part carries half
// of it); Var 0 when it is not known.
struct TImpedancePoint {
  double Hz = 0;
  TComplexD Z{0, 0};
  double Var = 0;
};

// Bins loBin .. hiBin of a packed impedance spectrum (channel 0 of a block after the impedance
// step), bin k at k * binHz. variances, when given, holds E|dZ|^2 for each bin k (entry k).
std::vector<TImpedancePoint> ImpedanceCurveOf(const double* packedZ, int loBin, int hiBin, double binHz,
                                              const std::vector<double>& variances = {});

enum class TCoilModel { Inductance, Lossy };

// The fitted parameters in the order of the covariance matrix; Rl and Ll only with the lossy
// coil.
enum TThieleSmallIndex { TsRe, TsFs, TsQms, TsQes, TsLe, TsRl, TsLl, TsParameterCount };

// A value with its standard uncertainty.
struct TUncertain {
  double Value = 0;
  double U = 0;
};

struct TThieleSmallFit {
  bool Ok = false;
  std::string Failure; // why there is no result; empty when Ok
  TCoilModel Coil = TCoilModel::Inductance;
  TUncertain Re, Fs, Qms, Qes, Qts, Le, Rl, Ll; // Ohm, Hz, -, -, -, H, Ohm, H
  int Points = 0;          // points within the range that took part in the fit
  double RmsMisfitPercent = 0; // rms of |Zmeasured - Zmodel| / |Zmodel| over those points
  double ReducedChi2 = 0;  // the weighted misfit per degree of freedom
  // The points carried their variances, so the uncertainties stand on them (widened when the
  // misfit exceeds the noise); otherwise they come from the scatter about the model alone.
  bool AbsoluteUncertainties = false;
  int Iterations = 0;
  // Covariance of the natural logarithms of the parameters (relative variances), entries beyond
  // the fitted parameters zero: what the derived quantities propagate their uncertainty with.
  std::array<std::array<double, TsParameterCount>, TsParameterCount> LogCovariance{};
};

// Fits the analogue to the points of curve within loHz .. hiHz (points not finite or not at a
// positive frequency are left out). Uncertainties are absolute when every point of the range
// has a finite Var > 0; otherwise each point is weighted by 1/|Z|^2 (equal relative errors) and
// the covariance scaled by the reduced chi-square. Never throws; a result that is not Ok has
// its reason in Failure and all its values zero.
TThieleSmallFit FitThieleSmall(const std::vector<TImpedancePoint>& curve, double loHz, double hiHz,
                               TCoilModel coil = TCoilModel::Inductance);

// The fitted model's impedance at hz (zero for a fit that is not Ok), to draw over the curve.
TComplexD ThieleSmallImpedance(const TThieleSmallFit& fit, double hz);

// Air at room temperature: density (kg/m^3) and speed of sound (m/s).
inline constexpr double AirDensity = 1.18;
inline constexpr double SpeedOfSound = 343;

// What a second measurement adds to the free-air fit. The typed-in mass, volume and Sd are
// taken as exact; the two fits' uncertainties are independent and both propagate.
struct TDriverMechanics {
  bool Ok = false;
  std::string Failure;
  TUncertain Vas; // m^3
  TUncertain Mms; // kg
  TUncertain Cms; // m/N
  TUncertain Bl;  // T m
};

// The cone loaded with addedKg lowers fs to loaded.Fs: Mms = M / ((fs / fs')^2 - 1),
// Cms = 1 / (ws^2 Mms), Vas = rho c^2 Sd^2 Cms, Bl = sqrt(Re / (ws Qes Cms)). sdM2: the
// cone's effective area.
TDriverMechanics MechanicsByAddedMass(const TThieleSmallFit& freeAir, const TThieleSmallFit& loaded,
                                      double addedKg, double sdM2);

// The driver in a sealed box of inner volume vbM3, resonating at fc with Qec:
// Vas = Vb (fc Qec / (fs Qes) - 1). Qe is proportional to the moving mass times the resonance
// frequency, so this ratio is Cms over the compliance of driver and box together, whatever air
// mass the box adds to the cone; the relation (fc/fs)^2 - 1 would count that mass as stiffness.
TDriverMechanics MechanicsByClosedBox(const TThieleSmallFit& freeAir, const TThieleSmallFit& inBox,
                                      double vbM3, double sdM2);

// A result as rows to show or save: name ("Re", "fs", "Qms", ..., "Vas"), unit and value with
// its uncertainty; only the quantities the result holds.
struct TResultRow {
  std::string Name;
  std::string Unit;
  TUncertain Value;
};
std::vector<TResultRow> ResultRows(const TThieleSmallFit& fit);
std::vector<TResultRow> ResultRows(const TDriverMechanics& mechanics);

} // namespace sorvane
