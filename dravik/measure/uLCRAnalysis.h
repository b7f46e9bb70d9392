#pragma once
// The multi-frequency impedance analysis: every captured block adds, at ten octave-spaced points
// of the spectrum, the weighted ratio of the two input channels; at most once per second the
// averaged admittances are fitted to a series resistance with an inductance or a capacitance,
// and the result goes to the output (two label texts and three chart series). Also the
// waveform view that shows the raw blocks while the inputs are calibrated.

#include "dravik/measure/uAnalysisOutput.h"
#include "dravik/measure/uFour1.h"
#include "dravik/measure/uLCRFit.h"
#include "platform/clock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dravik {

class TLCRAnalysis {
public:
  // Complex points 1, 2, 4, ..., 512 of each spectrum.
  static constexpr int FrequencyCount = 10;
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

  // Blocks accumulated since the last result; 0 makes the next block start a new average.
  int32_t BlockCount() const { return FBlockCount; }
  void ResetBlockCount() { FBlockCount = 0; }
  platform::TDateTime LastResultTime() const { return FLastResultTime; }
  // The fit of the last result (no resistance before the first one or after one without data).
  const TLCRFitResult& LastFit() const { return FLastFit; }

  // The accumulators of frequency i (0..9). After a result ZSum holds the averaged admittance,
  // or the impedance for the frequencies that were plotted, and 0 for one without weight.
  const TComplex& ZSum(int i) const { return FZSum.at(static_cast<std::size_t>(i)); }
  long double WSum(int i) const { return FWSum.at(static_cast<std::size_t>(i)); }

private:
  static bool IsUsableBlock(const TDataMatrix& block, unsigned fs, unsigned n);
  void ClearAccumulators();
  void Accumulate(const TDataVector& u, const TDataVector& v);
  bool ResultIsDue() const;
  // What one result computes before it is shown.
  struct TFitPass {
    TLCRFitSums Sums;
    TChartPoints Real, Imaginary;
    std::vector<long double> PlottedOmegas;
  };

  void ComputeResult(unsigned fs, unsigned n);
  std::array<bool, FrequencyCount> Normalise();
  TFitPass FitFrequencies(long double omega0);
  void ShowFit(const TLCRFitResult& fit, const std::vector<long double>& omegas);
  void ShowNoResult();

  TAnalysisOutput& FOutput;
  std::array<TComplex, FrequencyCount> FZSum{};
  std::array<long double, FrequencyCount> FWSum{};
  int32_t FBlockCount = 0;
  platform::TDateTime FLastResultTime = 0;
  TLCRFitResult FLastFit;
  long double FRefResistance = 10;
  bool FSwap = false;
};

} // namespace dravik
