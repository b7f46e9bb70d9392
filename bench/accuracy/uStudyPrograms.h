#pragma once
// One-second readings of a virtual box by each program's own analysis code, fed with what the
// box records while it plays that program's test signal.

#include "bench/accuracy/uStudyBox.h"

#include <cstdint>
#include <vector>

namespace dravik {
class TCalibrIn;
struct TInputResponse;
}
namespace platform {
struct TFixture;
}

namespace study {

// One reading: R and the component's L or C (0 when the program called it the other kind).
struct TReading {
  double R = 0;
  double L = 0;
  double C = 0;
  // The reading's own standard uncertainties of R and of its L or C (0 when it shows none).
  double UR = 0;
  double UX = 0;
  double T = 0; // the loss tangent, where the program shows one
  // Sorvane: the calibration's own share of UR and UX, from its spread (0 where not known).
  double UCalR = 0;
  double UCalX = 0;
};

// What a set of readings came from, for the bound.
struct TRun {
  std::vector<TReading> Readings;
  TBound Bound;
  double BlocksPerReading = 0;
  double Sigma = 0; // measured noise per input sample
};

// Dravik: its multi-tone table (tones at 2^k fs / divisor, k = 0..9; the program uses the
// divisor 1024, the original design 1023) looped into the box, blocks of one table length into
// its analysis, a reading at each result.
// With a calibration every block goes through it first, as in the input chain.
// With a response, the analysis divides it out of channel 1.
// With a fixture, its compensation is taken out of every point.
TRun DravikReadings(const TBoxConfig& box, uint32_t fs, uint32_t divisor, int count,
                    dravik::TCalibrIn* calibration = nullptr,
                    const dravik::TInputResponse* response = nullptr,
                    const platform::TFixture* fixture = nullptr);

// Dravik's fixture step on `box` (open, short, or load on a standard of `standardOhms`): the
// mean admittance of every analysis point over `results` one-second results (after the first),
// through the calibration and response, kept in `fixture` as the window keeps it.
void DravikFixtureStep(const TBoxConfig& box, uint32_t fs, int results, dravik::TCalibrIn& calibration,
                       const dravik::TInputResponse& response, platform::TFixture& fixture,
                       int step, double standardOhms = 0);

// Dravik's calibration at attenuator step 0 on the shorted jig of this card: the offset run
// (0.2 s with the output silent) and the amplitude run (0.5 s of the trapezium, channel 0 as
// the reference).
void DravikCalibrate(const TBoxConfig& card, uint32_t fs, dravik::TCalibrIn& calibration);
// Dravik's response calibration after it: the multi-tone on the shorted jig, through the
// calibration, into its response meter.
dravik::TInputResponse DravikResponse(const TBoxConfig& card, uint32_t fs,
                                      dravik::TCalibrIn& calibration);

// Sorvane's correction of channel 1, bin by bin (empty: none, the identity).
struct TSorvaneCalibration {
  std::vector<double> Re, Im;
  // The curves of the run's four groups at the same bins (uCalibrationSpread.h).
  std::vector<std::vector<double>> SpreadRe, SpreadIm;
};

// The range selector's full band, and its bottom decade.
struct TBand {
  double LoHz = 23, HiHz = 22000;
};
inline constexpr TBand FullBand{23, 22000}, BottomDecade{23, 230};

// Sorvane: its test signal for the band at the level its control aims at (0.7 of the 0.9
// saturation level), blocks of 2048 frames at 48 kHz averaged as one hand-off, then its
// per-bin impedance and weighted R, L or C. Each reading's T is the loss tangent shown.
TRun SorvaneReadings(const TBoxConfig& box, uint32_t fs, int count,
                     const TSorvaneCalibration& calibration = {}, TBand band = FullBand);

// The loss tangent Sorvane's readout shows for the true circuit: the series model's R / |X|
// averaged over the bins of the band.
double SorvaneTrueTangent(const platform::vmbox::TCircuit& circuit, uint32_t fs, TBand band);

// Sorvane's calibration on the shorted jig of this card: the ratio of the two inputs averaged
// as the program averages it over a run of 12 hand-offs, then its fit over 20 Hz .. 22 kHz.
TSorvaneCalibration SorvaneCalibrate(const TBoxConfig& card, uint32_t fs);

} // namespace study
