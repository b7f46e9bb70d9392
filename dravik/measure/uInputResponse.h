#pragma once
// The two inputs' response at the analysis points. The offset-and-gain calibration makes the
// inputs agree in level, but not in phase: inputs with different AC-coupling corners or
// anti-alias filters differ by a complex ratio that depends on the frequency (about
// (f2 - f1) / f radians for corners f1 and f2), and times a large reactance that becomes
// resistance. On the shorted jig both inputs see the same voltage, so the ratio of channel 1 to
// channel 0 measured there is the card's own; the analysis divides it out of channel 1.

#include "dravik/measure/uRealSpectrum.h"

#include <array>
#include <cstdint>

namespace dravik {

struct TResponsePoint {
  TComplex Ratio{1, 0};     // channel 1 / channel 0 at this point, on a short
  long double Variance = 0; // the expected |error|² of Ratio
};

struct TInputResponse {
  // The sampling rate and block length the ratios were measured at; 0 when none was measured
  // (then every ratio is 1 and nothing is corrected).
  uint32_t Rate = 0;
  uint32_t Frames = 0;
  std::array<TResponsePoint, AnalysisPointCount> Points{};

  bool Measured() const { return Rate != 0; }
  // The analysis points of a block of n frames at fs lie at the measured frequencies.
  bool AppliesTo(unsigned fs, unsigned n) const { return Measured() && Rate == fs && Frames == n; }
  // Every ratio a working card can have: finite, within a factor of 2 of 1, with a finite
  // non-negative variance.
  bool IsPlausible() const;
  // The largest |ratio| - 1 and the largest |phase| (radians) over the points.
  long double LargestGainDifference() const;
  long double LargestPhaseDifference() const;
};

// How a response measurement ended.
enum class TResponseOutcome { Measured, NoSignal, Implausible };

// Measures the response from calibrated blocks of the multi-tone on the shorted jig: per point
// the least-squares ratio sum(Y conj X) / sum(|X|²) and, from the block-to-block scatter of the
// ratio, its variance.
class TResponseMeter {
public:
  // Long enough that the ratio's noise stays well below that of a one-second reading: on a
  // short both inputs carry the full signal, and four seconds leave about a tenth of a reading's
  // variance.
  static constexpr long double MeasuringSeconds = 4;
  static constexpr int MinBlocks = 8;

  // Clears everything for blocks of n frames at fs.
  void Start(unsigned fs, unsigned n);
  // Transforms the block in place and adds it. True once enough blocks have been added.
  bool AddBlock(TDataMatrix& block);
  int Blocks() const { return FBlocks; }
  int BlocksNeeded() const { return FBlocksNeeded; }
  // The measured response; points that carry no tone of the signal (40 dB below the strongest)
  // keep the ratio 1.
  TResponseOutcome Result(TInputResponse& response) const;

private:
  struct TPointSums {
    TComplex Cross;          // sum Y conj X
    long double Power = 0;   // sum |X|²
    long double Power2 = 0;  // sum |X|⁴
    TComplex Ratio2;         // sum |X|⁴ (Y/X)
    long double Scatter = 0; // sum |X|⁴ |Y/X|²
  };
  std::array<TPointSums, AnalysisPointCount> FSums{};
  unsigned FRate = 0, FFrames = 0;
  int FBlocks = 0, FBlocksNeeded = MinBlocks;
};

} // namespace dravik
