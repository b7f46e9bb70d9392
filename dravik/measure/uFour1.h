#pragma once
// The numeric kernel of the multi-frequency analysis: an in-place radix-2 complex FFT over
// extended-precision reals, a few operations on complex numbers and the engineering-notation
// formatter of the result labels.

#include <string>
#include <vector>

#include "dravik/types/uDataTypes.h"

namespace dravik {

// In-place transform of nn complex points stored interleaved (re, im) from data[0]:
// X[k] = sum_j x[j] * exp(+2*pi*i*isign*j*k/nn). nn must be a power of two; no scaling.
void Four1(long double* data, int nn, int isign);

// Each operation writes a result record distinct from its operands.
void ComplexCopy(const TComplex& z, TComplex& r);
long double ComplexSqrAbs(const TComplex& z);
void ComplexAdd(const TComplex& a, const TComplex& b, TComplex& r);
void ComplexSub(const TComplex& a, const TComplex& b, TComplex& r);
// 1/z by Smith's method; 0 for z = 0.
void ComplexInv(const TComplex& z, TComplex& r);
// a/b by Smith's method; 0 when a or b is 0.
void ComplexDiv(const TComplex& a, const TComplex& b, TComplex& r);
void ComplexScale(const TComplex& z, TComplex& r, long double x);
void ComplexConj(const TComplex& z, TComplex& r);

// A value in engineering notation: at most 3 significant digits, a blank and a decimal prefix
// letter (or the blank alone): 1500 -> "1.5 k", 0.0047 -> "4.7 m", 12.3 -> "12.3 ".
std::string FloatToEng(long double x);

} // namespace dravik
