#include "sorvane/ui/uResolution.h"

#include <cmath>
#include <charconv>

namespace sorvane {

int StandardBlockLength(int rate) {
  return 1 << static_cast<int>(std::nearbyint(std::log2(rate / 20.0)));
}

std::vector<int> ResolutionFactors(int rate) {
  std::vector<int> factors{1};
  const int standard = StandardBlockLength(rate);
  while (standard * factors.back() * 2 <= LongestBlock) factors.push_back(factors.back() * 2);
  return factors;
}

int BlockLengthOf(int rate, int factor) {
  int chosen = 1;
  for (const int f : ResolutionFactors(rate)) {
    if (f <= factor) chosen = f;
  }
  return StandardBlockLength(rate) * chosen;
}

std::string ResolutionText(int rate, int factor) {
  const int n = BlockLengthOf(rate, factor);
  // The bin width with a point whatever the locale.
  char width[32];
  const auto end = std::to_chars(width, width + sizeof width, static_cast<double>(rate) / n,
                                 std::chars_format::general, 3).ptr;
  return std::to_string(n) + " points, " + std::string(width, end) + " Hz";
}

} // namespace sorvane
