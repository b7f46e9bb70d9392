#pragma once
// Sample conversion between the driver's PCM buffers and the full-scale doubles that back ends
// compute with. One place for every back end: 8-bit unsigned and 16-bit signed little-endian
// samples, mono or stereo, interleaved left first. Full scale is 1.0 = 128 (8-bit) or 32768
// (16-bit) codes; values are rounded to the nearest code and clipped to the code range, so a
// decoded buffer encodes back to the same codes.

#include <cstddef>
#include <cstdint>

namespace platform::pcm {

struct TLayout {
  unsigned Channels = 2; // 1 or 2
  unsigned Bits = 16;    // 8 or 16
  size_t FrameBytes() const { return Channels * (Bits / 8); }
};

uint8_t ToCode8(double value);
int16_t ToCode16(double value);
double FromCode8(uint8_t code);
double FromCode16(int16_t code);

// Writes `frames` frames of stereo doubles (left, right) as PCM; a mono layout takes the left.
void EncodeStereo(const double* stereo, size_t frames, TLayout layout, uint8_t* pcm);

// Reads `frames` PCM frames into stereo doubles; a mono sample goes to both channels.
void DecodeToStereo(const uint8_t* pcm, size_t frames, TLayout layout, double* stereo);

} // namespace platform::pcm
