#include "platform/vmbox/uBoxNoise.h"

#include <cmath>
#include <numbers>

namespace platform::vmbox {

TGaussianNoise::TGaussianNoise(uint64_t seed) : Seed(seed), Engine(seed) {}

void TGaussianNoise::Restart() {
  Engine.seed(Seed);
  HasSpare = false;
}

double TGaussianNoise::Uniform() {
  // 53 random bits, shifted by one step so that log() never sees 0.
  return (double(Engine() >> 11) + 1.0) * 0x1.0p-53;
}

double TGaussianNoise::Next() {
  if (HasSpare) {
    HasSpare = false;
    return Spare;
  }
  const double radius = std::sqrt(-2.0 * std::log(Uniform()));
  const double angle = 2.0 * std::numbers::pi * Uniform();
  Spare = radius * std::sin(angle);
  HasSpare = true;
  return radius * std::cos(angle);
}

} // namespace platform::vmbox
