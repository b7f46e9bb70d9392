#include "platform/gui/uColourVision.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace platform {
namespace {

using TMatrix = std::array<std::array<double, 3>, 3>;
using TVector = std::array<double, 3>;

// Full-severity simulation matrices in linear RGB for the three dichromacies.
constexpr TMatrix Protan{{{0.152286, 1.052583, -0.204868},
                          {0.114503, 0.786281, 0.099216},
                          {-0.003882, -0.048116, 1.051998}}};
constexpr TMatrix Deutan{{{0.367322, 0.860646, -0.227968},
                          {0.280085, 0.672501, 0.047413},
                          {-0.011820, 0.042940, 0.968881}}};
constexpr TMatrix Tritan{{{1.255528, -0.076749, -0.178779},
                          {-0.078411, 0.930809, 0.147602},
                          {0.004733, 0.691367, 0.303900}}};

double ToLinear(uint8_t c) {
  const double v = c / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

uint8_t FromLinear(double v) {
  v = std::clamp(v, 0.0, 1.0);
  const double s = v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
  return static_cast<uint8_t>(std::lround(s * 255));
}

TVector Linear(TRgb c) { return {ToLinear(c.R), ToLinear(c.G), ToLinear(c.B)}; }

TVector Times(const TMatrix& m, const TVector& v) {
  TVector out{};
  for (int i = 0; i < 3; ++i) out[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
  return out;
}

// sRGB (D65) to CIE L*a*b*.
TVector Lab(TRgb c) {
  constexpr TMatrix ToXyz{{{0.4124, 0.3576, 0.1805}, {0.2126, 0.7152, 0.0722}, {0.0193, 0.1192, 0.9505}}};
  const TVector xyz = Times(ToXyz, Linear(c));
  const auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
  const double fx = f(xyz[0] / 0.95047), fy = f(xyz[1]), fz = f(xyz[2] / 1.08883);
  return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

} // namespace

TRgb SimulateVision(TRgb colour, TColourVision vision) {
  if (vision == TColourVision::Normal) return colour;
  const TMatrix& m = vision == TColourVision::Protanopia     ? Protan
                     : vision == TColourVision::Deuteranopia ? Deutan
                                                             : Tritan;
  const TVector v = Times(m, Linear(colour));
  return {FromLinear(v[0]), FromLinear(v[1]), FromLinear(v[2])};
}

double ColourDistance(TRgb a, TRgb b) {
  const TVector p = Lab(a), q = Lab(b);
  return std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]);
}

} // namespace platform
