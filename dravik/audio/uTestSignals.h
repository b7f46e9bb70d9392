#pragma once
// The two periodic test signals that the playback device loops, computed into a signal table
// [channel][frame] of full-scale values, and the rule that turns a table into the bytes of one
// output buffer. Plain arithmetic: nothing here needs a sound card.

#include <cstdint>

#include "dravik/types/uDataTypes.h"

namespace dravik {

// A computed table: every row holds the same Frames values (one row per output channel).
struct TSignalTable {
  TDataMatrix Signal;
  int32_t Frames = 0;
};

// The largest table value of both signals, well below full scale.
constexpr long double SignalPeak = 0.45L;

// Frames of a multi-tone table at sampling rate fs: 2048 below 75000 Hz, 8192 above 150000 Hz,
// 4096 in between (both limits included).
int32_t MultiSinFrames(uint32_t fs);

// Sum of sines sin(2 pi * 2^(k*Step) * i / Period) for k = 0..HighestTone, scaled so that the
// largest positive value is SignalPeak. False (table untouched) when there is no tone or the sum
// never rises above zero, when Period is 0, when a multiplier does not fit a positive 32-bit
// integer (k*Step outside 0..30) or there are more than 31 tones, when there is no channel, or
// when the table cannot be allocated.
bool MultiSinTable(uint32_t fs, unsigned channels, int32_t HighestTone, int32_t Step,
                   uint32_t Period, TSignalTable& table);

// A symmetric trapezium of +-SignalPeak: edges of R = Round(max(fs * RiseTime, 1)) frames, flat
// runs of F = Round(fs * FlatTime) frames, 2 * (F + R) frames in all. False (table untouched)
// when a time is not finite, R, F or the length do not fit a signed 32-bit integer, F is
// negative, there is no channel, or the table cannot be allocated.
bool TrapeziumTable(uint32_t fs, unsigned channels, long double RiseTime, long double FlatTime,
                    TSignalTable& table);

// Fills one output buffer of `frames` frames of `channels` interleaved samples (channel 0
// first) from the table rotated by one frame: the buffer starts with table frame 1 and ends
// with frame 0. 16 bits writes 16-bit codes, every other width 8-bit ones; `data` must hold
// frames * channels * (bits / 8) bytes. A channel without its own row takes row 0. False when
// a value has no valid code or the table is shorter than `frames`; `index` is then the table
// index reached.
bool FillOutputBuffer(const TDataMatrix& signal, int32_t frames, unsigned channels, unsigned bits,
                      uint8_t* data, int32_t& index);

} // namespace dravik
