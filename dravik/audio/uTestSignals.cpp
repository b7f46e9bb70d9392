#include "dravik/audio/uTestSignals.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "dravik/audio/uPcmCodes.h"

namespace dravik {
namespace {

constexpr int32_t MaxToneShift = 30; // 1 << 30 is the largest positive 32-bit multiplier

// Round to nearest with ties to even (the default rounding mode), refusing what is not finite
// or does not fit a signed 32-bit integer instead of converting it.
bool RoundToInt32(long double x, int32_t& out) {
  if (!std::isfinite(x)) return false;
  const long double r = std::nearbyint(x);
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  out = static_cast<int32_t>(r);
  return true;
}

// Row 0 holds the signal; every other channel gets an exact copy of it.
TSignalTable MakeTable(unsigned channels, int32_t frames) {
  TSignalTable table;
  table.Frames = frames;
  table.Signal.assign(channels, TDataVector(static_cast<size_t>(frames)));
  return table;
}

void CopyRowZero(TDataMatrix& signal) {
  for (size_t c = 1; c < signal.size(); ++c) signal[c] = signal[0];
}

// Every tone's multiplier 2^(k*Step) must be a positive 32-bit integer.
bool TonesAreValid(int32_t HighestTone, int32_t Step) {
  if (HighestTone < 0 || HighestTone > MaxToneShift) return false;
  for (int64_t k = 0; k <= HighestTone; ++k) {
    const int64_t shift = k * Step;
    if (shift < 0 || shift > MaxToneShift) return false;
  }
  return true;
}

// One frame of the tone sum. The phase M*i/Period is reduced to [0, 1) in exact integer
// arithmetic before the sine: the same value as the plain formula, but without the rounding of
// large arguments, so tones that should vanish or repeat exactly do.
long double ToneSum(int32_t HighestTone, int32_t Step, uint32_t Period, uint32_t i) {
  long double s = 0;
  for (int32_t k = 0; k <= HighestTone; ++k) {
    const uint64_t multiplier = uint64_t{1} << (k * Step);
    const uint64_t phase = (multiplier * i) % Period;
    s += std::sin(TwoPi * static_cast<long double>(phase) / static_cast<long double>(Period));
  }
  return s;
}

// Fills row 0 with the trapezium: rising edge, top, falling edge, bottom.
void FillTrapezium(TDataVector& row, int32_t R, int32_t F) {
  size_t j = 0;
  for (int32_t t = 1; t <= R; ++t) row[j++] = (t * 0.9L) / R - SignalPeak;
  for (int32_t t = 0; t < F; ++t) row[j++] = SignalPeak;
  for (int32_t t = 1; t <= R; ++t) row[j++] = SignalPeak - (t * 0.9L) / R;
  for (int32_t t = 0; t < F; ++t) row[j++] = -SignalPeak;
}

} // namespace

int32_t MultiSinFrames(uint32_t fs) {
  if (fs > 150000) return 8192;
  if (fs < 75000) return 2048;
  return 4096;
}

// The tones lie at M(k) * fs / Period. With the period of the analysis (1024) every tone falls
// exactly on an analysis point of a 2048-frame block, the table holds whole periods of every
// tone (so the loop has no step at its wrap), and a tone at half the sampling rate is zero at
// every frame instead of folding onto the lowest analysis point.
bool MultiSinTable(uint32_t fs, unsigned channels, int32_t HighestTone, int32_t Step,
                   uint32_t Period, TSignalTable& table) {
  if (channels == 0 || Period == 0 || !TonesAreValid(HighestTone, Step)) return false;
  try {
    TSignalTable result = MakeTable(channels, MultiSinFrames(fs));
    TDataVector& row = result.Signal[0];
    long double peak = 0;
    for (size_t i = 0; i < row.size(); ++i) {
      row[i] = ToneSum(HighestTone, Step, Period, static_cast<uint32_t>(i));
      if (row[i] > peak) peak = row[i];
    }
    if (!(peak > 0)) return false;
    // Only the largest positive value sets the scale.
    const long double scale = SignalPeak / peak;
    for (long double& v : row) v *= scale;
    CopyRowZero(result.Signal);
    table = std::move(result);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool TrapeziumTable(uint32_t fs, unsigned channels, long double RiseTime, long double FlatTime,
                    TSignalTable& table) {
  if (channels == 0) return false;
  const long double rise = fs * RiseTime;
  int32_t R = 0;
  int32_t F = 0;
  // A NaN rise stays NaN (and is refused) instead of passing as a one-frame edge.
  if (!RoundToInt32(std::isnan(rise) ? rise : std::max(rise, 1.0L), R)) return false;
  if (!RoundToInt32(fs * FlatTime, F) || F < 0) return false;
  const int64_t frames = 2 * (int64_t{F} + R);
  if (frames > std::numeric_limits<int32_t>::max()) return false;
  try {
    TSignalTable result = MakeTable(channels, static_cast<int32_t>(frames));
    FillTrapezium(result.Signal[0], R, F);
    CopyRowZero(result.Signal);
    table = std::move(result);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool FillOutputBuffer(const TDataMatrix& signal, int32_t frames, unsigned channels, unsigned bits,
                      uint8_t* data, int32_t& index) {
  index = 0;
  const size_t sampleBytes = bits / 8;
  const TSampleWriter write = OutputWriter(bits);
  for (int32_t j = 0; j < frames; ++j) {
    index = index < frames - 1 ? index + 1 : 0;
    for (unsigned c = 0; c < channels; ++c) {
      const size_t row = c < signal.size() ? c : 0;
      if (sampleBytes == 0 || row >= signal.size() ||
          signal[row].size() <= static_cast<size_t>(index)) {
        return false;
      }
      uint8_t* sample = data + (static_cast<size_t>(j) * channels + c) * sampleBytes;
      if (!write(signal[row][static_cast<size_t>(index)], sample)) return false;
    }
  }
  return true;
}

} // namespace dravik
