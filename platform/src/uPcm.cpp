#include "platform/src/uPcm.h"

#include <cmath>
#include <cstring>

namespace platform::pcm {
namespace {

// Rounds value * scale to the nearest code in [lo, hi]; NaN counts as silence.
long Quantise(double value, double scale, long lo, long hi) {
  if (std::isnan(value)) return 0;
  const double scaled = value * scale;
  if (scaled <= static_cast<double>(lo)) return lo;
  if (scaled >= static_cast<double>(hi)) return hi;
  return std::lround(scaled);
}

void PutSample(double value, unsigned bits, uint8_t* at) {
  if (bits == 8) {
    *at = ToCode8(value);
  } else {
    const int16_t code = ToCode16(value);
    std::memcpy(at, &code, sizeof code);
  }
}

double GetSample(const uint8_t* at, unsigned bits) {
  if (bits == 8) return FromCode8(*at);
  int16_t code;
  std::memcpy(&code, at, sizeof code);
  return FromCode16(code);
}

} // namespace

uint8_t ToCode8(double value) { return static_cast<uint8_t>(128 + Quantise(value, 128.0, -128, 127)); }

int16_t ToCode16(double value) {
  return static_cast<int16_t>(Quantise(value, 32768.0, -32768, 32767));
}

double FromCode8(uint8_t code) { return (static_cast<int>(code) - 128) / 128.0; }

double FromCode16(int16_t code) { return code / 32768.0; }

void EncodeStereo(const double* stereo, size_t frames, TLayout layout, uint8_t* pcm) {
  const size_t sampleBytes = layout.Bits / 8;
  for (size_t f = 0; f < frames; ++f) {
    for (unsigned c = 0; c < layout.Channels; ++c) {
      PutSample(stereo[2 * f + c], layout.Bits, pcm);
      pcm += sampleBytes;
    }
  }
}

void DecodeToStereo(const uint8_t* pcm, size_t frames, TLayout layout, double* stereo) {
  const size_t sampleBytes = layout.Bits / 8;
  for (size_t f = 0; f < frames; ++f) {
    const double left = GetSample(pcm, layout.Bits);
    pcm += sampleBytes;
    double right = left;
    if (layout.Channels == 2) {
      right = GetSample(pcm, layout.Bits);
      pcm += sampleBytes;
    }
    stereo[2 * f] = left;
    stereo[2 * f + 1] = right;
  }
}

} // namespace platform::pcm
