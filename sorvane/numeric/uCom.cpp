#include "sorvane/numeric/uCom.h"

#include <cmath>
#include <cstring>

namespace sorvane {

namespace {

bool IsZero(const TComplexD& z) { return z.Re == 0.0 && z.Im == 0.0; }

long double ExtendedSqrAbs(const TComplexD& z) {
  const long double re = z.Re;
  const long double im = z.Im;
  return re * re + im * im;
}

} // namespace

double CSqrAbs(const TComplexD& z) { return static_cast<double>(ExtendedSqrAbs(z)); }

TComplexD CMul(const TComplexD& a, const TComplexD& b) {
  return {a.Re * b.Re - a.Im * b.Im, a.Re * b.Im + a.Im * b.Re};
}

TComplexD CDiv(const TComplexD& a, const TComplexD& b) {
  if (IsZero(a) || IsZero(b)) return CZero;
  // Divide through by the larger part of b, so the ratio r stays within [-1, 1].
  if (std::fabs(b.Re) >= std::fabs(b.Im)) {
    const double r = b.Im / b.Re;
    const double d = b.Re + b.Im * r;
    return {(a.Re + a.Im * r) / d, (a.Im - a.Re * r) / d};
  }
  const double r = b.Re / b.Im;
  const double d = b.Im + b.Re * r;
  return {(a.Re * r + a.Im) / d, (a.Im * r - a.Re) / d};
}

TComplexD CPolar(const TComplexD& z) {
  // The root is taken before rounding to double, so moduli beyond 1e154 do not overflow.
  // Adding +0 turns a negative zero imaginary part into +0, so a value on the negative real axis
  // gets the phase +pi and never -pi.
  const double modulus = static_cast<double>(std::sqrt(ExtendedSqrAbs(z)));
  return {modulus, std::atan2(z.Im + 0.0, z.Re)};
}

TComplexD BinAt(const double* spectrum, int k) {
  TComplexD z;
  std::memcpy(&z, spectrum + 2 * k, sizeof z);
  return z;
}

void SetBin(double* spectrum, int k, const TComplexD& z) {
  std::memcpy(spectrum + 2 * k, &z, sizeof z);
}

} // namespace sorvane
