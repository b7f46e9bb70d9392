#include "platform/vmbox/uBoxInputChannel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::vmbox {

TInputChannel::TInputChannel(const TInputSettings& settings, double sampleRate)
    : Settings(settings), Noise(settings.Seed) {
  const double corner = settings.HighPassHz / sampleRate;
  HighPass = corner > 0;
  if (HighPass) {
    const double k = std::tan(std::numbers::pi * std::min(corner, 0.49));
    G = 1.0 / (1.0 + k);
    A = (1.0 - k) / (1.0 + k);
  }
}

void TInputChannel::Reset() {
  PrevIn = PrevOut = 0;
  Noise.Restart();
}

void TInputChannel::Process(const double* in, size_t n, double* out, size_t stride, bool recorded) {
  const double scale = Level * Settings.Gain;
  const bool noisy = recorded && Settings.NoiseRms > 0;
  for (size_t i = 0; i < n; ++i) {
    double v = in[i];
    if (HighPass) {
      const double y = G * (v - PrevIn) + A * PrevOut;
      PrevIn = v;
      PrevOut = y;
      v = y;
    }
    v = v * scale + Settings.DcOffset;
    if (noisy) v += Settings.NoiseRms * Noise.Next();
    out[i * stride] = std::clamp(v, -1.0, 1.0);
  }
}

} // namespace platform::vmbox
