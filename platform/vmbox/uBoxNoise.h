#pragma once
// Repeatable Gaussian noise: a 64-bit Mersenne Twister (whose output the language fixes for a
// given seed) turned into normal deviates by the Box-Muller method written here, so a seed gives
// the same noise with every compiler and library.

#include <cstdint>
#include <random>

namespace platform::vmbox {

class TGaussianNoise {
public:
  explicit TGaussianNoise(uint64_t seed);
  // The next deviate of mean 0 and standard deviation 1.
  double Next();
  // Starts the sequence again from the seed.
  void Restart();

private:
  double Uniform(); // in (0, 1]

  uint64_t Seed;
  std::mt19937_64 Engine;
  double Spare = 0;
  bool HasSpare = false;
};

} // namespace platform::vmbox
