#pragma once
// Conversion between table values (fractions of full scale, +1.0 the largest positive code) and
// PCM sample codes, in both directions. A value whose code falls outside the valid range is a
// failure, not a clamp: the caller reports it.

#include <cstdint>

namespace dravik {

// Round(127.5 * v + 127.5), ties to even; false outside 0..255.
bool ValueToPcm8(long double v, uint8_t& code);
// Round(32767.5 * v), ties to even; false outside -32768..32767 (so +1.0 fails).
bool ValueToPcm16(long double v, int16_t& code);
// (code - 127.5) / 127.5
long double Pcm8ToValue(uint8_t code);
// code * 2/65535
long double Pcm16ToValue(int16_t code);

// Readers take a pointer to one sample in a buffer (16-bit samples little-endian, unaligned).
using TSampleReader = long double (*)(const uint8_t* sample);
long double ReadPcm8(const uint8_t* sample);
long double ReadPcm16(const uint8_t* sample);
// Writers store the code of v at `sample`; false when v is out of range (nothing written).
using TSampleWriter = bool (*)(long double v, uint8_t* sample);
bool WritePcm8(long double v, uint8_t* sample);
bool WritePcm16(long double v, uint8_t* sample);

// On input 8 bits reads 8-bit codes and every other width 16-bit ones; on output 16 bits writes
// 16-bit codes and every other width 8-bit ones.
TSampleReader InputReader(unsigned bitsPerSample);
TSampleWriter OutputWriter(unsigned bitsPerSample);

} // namespace dravik
