#pragma once
// Complex values in double precision, as the block analysis and the graphs use them: spectra are
// held as plain arrays of doubles and read or written bin by bin as TComplexD.

namespace sorvane {

// Two doubles, Re then Im, contiguous: entry k of a packed spectrum occupies doubles 2k, 2k+1.
struct TComplexD {
  double Re;
  double Im;
};
static_assert(sizeof(TComplexD) == 2 * sizeof(double), "TComplexD must overlay two doubles");

inline constexpr TComplexD CZero{0.0, 0.0};
inline constexpr TComplexD COne{1.0, 0.0};

// Re*Re + Im*Im, summed in extended precision and rounded to double.
double CSqrAbs(const TComplexD& z);

TComplexD CMul(const TComplexD& a, const TComplexD& b);

// a / b by Smith's method, which never squares |b| and so neither overflows nor underflows for
// operands near the ends of the double range. CZero when a or b is zero: a quotient by an empty
// bin counts as nothing, and no division by zero is ever performed.
TComplexD CDiv(const TComplexD& a, const TComplexD& b);

// Modulus in Re and phase in Im, radians in (-pi, pi].
TComplexD CPolar(const TComplexD& z);

// Entry k of a spectrum held as doubles (a plain 16-byte copy, no aliasing tricks).
TComplexD BinAt(const double* spectrum, int k);
void SetBin(double* spectrum, int k, const TComplexD& z);

} // namespace sorvane
