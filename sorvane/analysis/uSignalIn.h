#pragma once
// TSignalIn, the measuring core: for every block that the capture side hands to the main thread
// it transforms both inputs, checks their levels and, by mode, reports the quality of a test tone
// and learns each input's saturation level (level check), fits the ratio of the two inputs with
// two polynomials (calibration, on a shorted jig), or applies that fit to channel 1
// (measurement). The window then asks it for the impedance, the averaged R with L or C, or the
// transfer ratio of the block. It also asks for a lower output level when an input saturates
// and a higher one when both inputs are too quiet.
//
// Everything here runs on the main thread: ProcessBlock is dispatched there by TSyncIn, the rest
// is called by the window, and the events are called from inside those calls.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/calibration_place.h"
#include "platform/fixture.h"
#include "platform/inifile.h"
#include "sorvane/analysis/uBinNoise.h"
#include "sorvane/analysis/uCalibrationFit.h"
#include "sorvane/analysis/uCalibrationSpread.h"
#include "sorvane/numeric/uCom.h"
#include "sorvane/analysis/uImpedance.h"
#include "sorvane/analysis/uInputAgreement.h"
#include "sorvane/numeric/uLeastSquares.h"
#include "sorvane/engine/uWaveIn.h"

namespace sorvane {

enum TSignalMode : uint8_t { smLevelCheck = 0, smCalibration = 1, smMeasure = 2 };

class TSignalIn : public TSyncIn {
public:
  using TStatusEvent = std::function<void(const std::string& text)>;

  TSignalIn();
  ~TSignalIn() override;

  // Level check with a tone of toneHz: the saturation levels are learned anew from the second
  // block on, from the blocks in which both inputs hear the tone (until then, and when they
  // never do, the levels in force stay), and `onStatus` receives the quality and drift figures
  // after each block.
  void StartLevelCheck(TStatusEvent onStatus, double toneHz);
  // What stands against going on from the level check to the calibration: "" when its latest
  // block heard the tone cleanly and alike on both inputs, else the sentence to show.
  const std::string& LevelCheckRefusal() const { return LevelFault; }
  // A refused level check teaches nothing: the saturation levels in force before it come back.
  void PutBackSaturation() { Saturation = KeptSaturation; }
  // Calibration on a shorted jig over loHz .. hiHz: every block refits the two polynomials to
  // the ratio averaged over the latest blocks of the run, unless that ratio is not one a card's
  // inputs give (the status then says so, and the calibration in force stays).
  void StartCalibration(double loHz, double hiHz);
  // The latest calibration block was refused (see StartCalibration).
  bool CalibrationRefused() const { return FitRefused; }
  // A block of the calibration run has been fitted: the calibration in force is this run's.
  bool CalibrationFitted() const { return FitsAccepted > 0; }
  // Measurement: channel 1 of every block is corrected by the calibration in force.
  void StartMeasurement();

  // The per-block analysis. Both channels become packed spectra (uFFT.h); see the modes above.
  // A block whose channels are not of one power-of-two length of at least 4 is left untouched.
  void ProcessBlock(TWaveData& block) override;

  // On the block just processed, for the bins of loHz .. hiHz: channel 0 := Zx, through the
  // fixture's compensation where it is in force; with withLcr, channel 1 := the averaged model
  // (R, reactance) and onText receives the result text.
  void ComputeImpedance(TWaveData& block, bool swap, double loHz, double hiHz, double rref,
                        bool withLcr, const TStatusEvent& onText);
  // The LCR result of the last ComputeImpedance with withLcr.
  const TLcrResult& LastLcr() const { return LastResult; }
  // On the block just processed: channel 0 := the transfer ratio (output over drive).
  void ComputeTransfer(TWaveData& block, bool swap, double loHz, double hiHz);

  // Section "Calibration": the saturation levels, the polynomials' coefficients and the inputs'
  // coupling corners. A file without the corners (written before they were kept) loads its
  // polynomials alone, as they were fitted.
  void LoadSettings(const platform::TIniFile& ini);
  void SaveSettings(platform::TIniFile& ini) const;

  // The normal equations of the fit over the window in force; false when they are unusable.
  bool PrepareFit();
  // Fits component comp (0 real, 1 imaginary) of Calibration over the window in force.
  TPolynomial FitComponent(int comp) const;
  // Calibration[k] := the value of the coupling term times the polynomials at bin k.
  void EvaluateCalibration();

  TSignalMode Mode = smMeasure;
  int CenterBin = 0;
  int HalfWidth = 0;
  std::array<TComplexD, 2> PrevTone{COne, COne};
  TStatusEvent OnStatus;
  std::function<void(bool saturated)> OnSaturation;
  // Multiply the output level by the factor.
  std::function<void(double factor)> OnLevel;
  TComplexArray Calibration;
  bool FirstBlock = false;
  TNormalMatrix Normal{};
  std::array<double, 2> Saturation{0.9, 0.9};
  TCalibrationPolys Poly = IdentityCalibration();
  // The inputs' coupling corners: the calibration is the ratio of their high-passes times the
  // polynomials, which take the rest of the response.
  TCouplingCorners Corners{0, 0};
  // The calibration's own spread (uCalibrationSpread.h), refitted with it in every calibration
  // block and kept in section "CalibrationSpread"; empty when not known. A measurement adds its
  // share to the uncertainties of R and of L or C.
  TCalibrationSpread Spread;
  // The cards and the rate the calibration was measured on (not known for one of an earlier
  // version); kept in the same section.
  platform::TCalibrationPlace Place;
  // The open, short and load steps of the fixture (uFixtureBins.h), taken out of every
  // impedance where they were measured at the rate and block length of the block and are
  // switched on. The window keeps them in the settings file.
  platform::TFixture Fixture;
  // The covariance of the block just measured, channel 1 corrected as its spectrum is (empty
  // when the block was not averaged): the weights and uncertainties of the LCR result.
  TNoiseSpectrum Noise;

private:
  // The block lengths the bins were derived for, and the frequencies they came from, so that a
  // block of another length gets its bins derived anew instead of being read out of range.
  void FitBlockLength(int n);
  void ApplyLayout(int n);
  double BinHz() const;

  void LevelCheckBlock(const TWaveData& block, const std::array<double, 2>& peak);
  void LearnSaturation(const std::array<TComplexD, 2>& tone, const std::array<double, 2>& peak, int n);
  void CalibrationBlock(TWaveData& block, bool saturated);
  void MeasureBlock(TWaveData& block, const std::array<double, 2>& peak, bool saturated);

  int LayoutLength = 0;
  double ToneHz = 0, LoHz = 0, HiHz = 0;
  bool FitUsable = false;
  TRatioAverage RatioAverage; // the calibration run's blocks
  TLcrResult LastResult;
  std::vector<TComplexArray> SpreadCalibration; // the groups' curves at the bins of Calibration
  std::array<double, 2> Learned{0, 0}; // the level check's running maxima
  std::array<double, 2> KeptSaturation{0.9, 0.9}; // the levels in force before the level check
  std::string LevelFault;                         // see LevelCheckRefusal
  int AgreeLo = 0, AgreeHi = -1; // the bins that judge whether the inputs agree
  bool FitRefused = false;
  int FitsAccepted = 0; // calibration blocks of this run whose ratio was fitted
};

} // namespace sorvane
