#pragma once
// How colours look to people with the common colour-vision deficiencies, and how far apart two
// colours are to the eye, so that the charts' palette can be checked to stay readable for them.
// Plain arithmetic, no toolkit.

#include <cstdint>

namespace platform {

struct TRgb {
  uint8_t R = 0, G = 0, B = 0;
};

enum class TColourVision { Normal, Protanopia, Deuteranopia, Tritanopia };

// The colour as seen with the deficiency at full severity: a 3 x 3 matrix on linear-light RGB,
// the result clipped to the displayable range.
TRgb SimulateVision(TRgb colour, TColourVision vision);

// The distance of two sRGB colours in CIE L*a*b* (Delta E 1976): about 2.3 is just noticeable,
// 10 is clear at a glance, 40 and more tells thin lines apart.
double ColourDistance(TRgb a, TRgb b);

} // namespace platform
