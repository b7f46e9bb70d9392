#pragma once
// One input channel of the simulated card after the jig: its AC coupling (a first-order
// high-pass), the mixer level and the channel's gain, the converter's DC offset and noise, and
// clipping at full scale.

#include "platform/vmbox/uBoxNoise.h"

#include <cstddef>
#include <cstdint>

namespace platform::vmbox {

struct TInputSettings {
  double HighPassHz = 0; // 0: DC coupled
  double Gain = 1;
  double DcOffset = 0; // full-scale units
  double NoiseRms = 0; // full-scale units; 0: no noise
  uint64_t Seed = 1;
};

class TInputChannel {
public:
  TInputChannel(const TInputSettings& settings, double sampleRate);

  void SetLevel(double level) { Level = level; }

  // Converts n samples at the channel's input into full-scale values written to out[i * stride].
  void Process(const double* in, size_t n, double* out, size_t stride, bool recorded = true);

  // Clears the coupling capacitor's charge and restarts the noise.
  void Reset();

private:
  TInputSettings Settings;
  double Level = 1;
  // High-pass by the bilinear transform of s / (s + wc), corner prewarped:
  // y[n] = G (x[n] - x[n-1]) + A y[n-1]. Exact 0 at DC, 1 at half the sampling rate.
  bool HighPass = false;
  double G = 1, A = 0;
  double PrevIn = 0, PrevOut = 0;
  TGaussianNoise Noise;
};

} // namespace platform::vmbox
