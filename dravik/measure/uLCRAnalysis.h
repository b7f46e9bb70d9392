#pragma once
// The multi-frequency impedance analysis: every captured block adds, at ten octave-spaced points
// of the spectrum, the weighted ratio of the two input channels; at most once per second the
// averaged admittances are fitted to a series resistance with an inductance or a capacitance,
// and the result goes to the output (two label texts and three chart series). Also the
// waveform view that shows the raw blocks while the inputs are calibrated.
//
// Each point holds one frequency of the real spectrum (the packed transform is split), channel
// 1 is corrected by the inputs' response measured on the shorted jig, and the block-to-block
// scatter of each point's ratio gives the uncertainty of every result.

#include "dravik/measure/uAnalysisOutput.h"
#include "dravik/measure/uFour1.h"
#include "dravik/measure/uInputResponse.h"
#include "dravik/measure/uLCRFit.h"
#include "platform/clock.h"
#include "platform/fixture.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dravik {

class TLCRAnalysis {
public:
  // Complex points 1, 2, 4, ..., 512 of each spectrum.
  static constexpr int FrequencyCount = AnalysisPointCount;
  // The shortest block whose spectrum holds point 512: 1024 complex points.
  static constexpr std::size_t MinBlockLength = 2048;
  // Results come at most this often.
  static constexpr int64_t ResultIntervalMs = 1000;

  explicit TLCRAnalysis(TAnalysisOutput& output);

  // Block consumer of a measurement: block[0] and block[1] hold the N calibrated samples of the
  // two channels and are transformed in place; fs is the sampling rate in Hz and n the block
  // length N. A block that cannot be analysed (fewer than two channels, lengths that differ or
  // are not a power of two of at least MinBlockLength, fs or n of 0) is ignored. Returns false
  // (keep capturing) in every case.
  bool AnalyseBlock(TDataMatrix& block, unsigned fs, unsigned n);

  // Shows the first 10 ms of both channels (x in milliseconds) on Series1 and Series2.
  void ShowWaveforms(const TDataMatrix& block, unsigned fs);

  long double RefResistance() const { return FRefResistance; }
  void SetRefResistance(long double ohms) { FRefResistance = ohms; }
  // Ticked: channel 1 measures the series pair and channel 0 the reference resistor.
  bool Swap() const { return FSwap; }
  void SetSwap(bool swap) { FSwap = swap; }
  // The inputs' response, divided out of channel 1 in blocks whose rate and length it was
  // measured at (and ignored in others).
  const TInputResponse& Response() const { return FResponse; }
  void SetResponse(const TInputResponse& response) { FResponse = response; }

  // The fixture's open and short, taken out of every point before the fit where they were
  // measured at the rate and block length of the blocks (and are switched on).
  const platform::TFixture& Fixture() const { return FFixture; }
  void SetFixture(const platform::TFixture& fixture) { FFixture = fixture; }
  // The mean admittance of each point in the last result as measured, before the fixture's
  // compensation (0 for a point without weight), which the fixture's steps keep.
  const std::array<TComplex, FrequencyCount>& MeasuredAdmittances() const { return FMeasured; }

  // Blocks accumulated since the last result; 0 makes the next block start a new average.
  int32_t BlockCount() const { return FBlockCount; }
  void ResetBlockCount() { FBlockCount = 0; }
  platform::TDateTime LastResultTime() const { return FLastResultTime; }
  // The fit of the last result (no resistance before the first one or after one without data).
  const TLCRFitResult& LastFit() const { return FLastFit; }
  // The points that entered the last fit, with the fixture taken out, in increasing frequency.
  const std::vector<TFitPoint>& LastPoints() const { return FLastPoints; }

  // The accumulators of frequency i (0..9). After a result ZSum holds the averaged admittance,
  // or the impedance for the frequencies that were plotted, and 0 for one without weight.
  const TComplex& ZSum(int i) const { return FZSum.at(static_cast<std::size_t>(i)); }
  long double WSum(int i) const { return FWSum.at(static_cast<std::size_t>(i)); }

private:
  static bool IsUsableBlock(const TDataMatrix& block, unsigned fs, unsigned n);
  void ClearAccumulators();
  // u and v: the bins of the voltage across the pair and across the reference resistor.
  void Accumulate(const std::array<TComplex, FrequencyCount>& u,
                  const std::array<TComplex, FrequencyCount>& v);
  // The bins of both channels, channel 1 corrected by the response that applies.
  void ReadBins(const TDataMatrix& block, unsigned fs, unsigned n,
                std::array<TComplex, FrequencyCount>& channel0,
                std::array<TComplex, FrequencyCount>& channel1) const;
  bool ResultIsDue() const;
  // What one result computes before it is shown.
  struct TFitPass {
    TLCRFitSums Sums;
    std::array<TAdmittanceCovariance, FrequencyCount> Covariance{};
    bool CovarianceKnown = false;
    TChartPoints Real, Imaginary;
    std::vector<long double> PlottedOmegas;
  };

  void ComputeResult(unsigned fs, unsigned n);
  std::array<bool, FrequencyCount> Normalise();
  TFitPass FitFrequencies(long double omega0, bool compensate);
  // Takes the fixture out of the normalised admittances and their covariance.
  void CompensateFixture(const std::array<bool, FrequencyCount>& usable, TFitPass& pass);
  // The covariance of each point's mean admittance, from the scatter of its per-block ratios
  // and the response's own uncertainty; before Normalise.
  void MeasureScatter(TFitPass& pass) const;
  void ShowFit(const TLCRFitResult& fit, const std::vector<long double>& omegas);
  void ShowNoResult();

  TAnalysisOutput& FOutput;
  std::array<TComplex, FrequencyCount> FZSum{};
  std::array<long double, FrequencyCount> FWSum{};
  // Second moments of the weighted per-block ratios: sum w², sum w² zr and sum w² of Re², Im²
  // and Re·Im of zr.
  std::array<long double, FrequencyCount> FW2Sum{};
  std::array<TComplex, FrequencyCount> FZ2Sum{};
  std::array<TAdmittanceCovariance, FrequencyCount> FZZSum{};
  // The response that applied to the blocks of this average (0 variance when none did).
  std::array<long double, FrequencyCount> FResponseVariance{};
  // sum |U|², the power of the voltage across the pair, which carries every tone played.
  std::array<long double, FrequencyCount> FPairPower{};
  TInputResponse FResponse;
  platform::TFixture FFixture;
  std::array<TComplex, FrequencyCount> FMeasured{};
  int32_t FBlockCount = 0;
  platform::TDateTime FLastResultTime = 0;
  TLCRFitResult FLastFit;
  std::vector<TFitPoint> FLastPoints;
  long double FRefResistance = 10;
  bool FSwap = false;
};

} // namespace dravik
