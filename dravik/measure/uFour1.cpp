#include "dravik/measure/uFour1.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace dravik {

void Four1(long double* data, int nn, int isign) {
  // The classic formulation addresses the vector from 1: d(1) is data[0]. (A pointer to the
  // element before the first would itself be undefined behaviour.)
  const auto d = [data](int k) -> long double& { return data[k - 1]; };
  const int n = 2 * nn;

  int j = 1;
  for (int ii = 1; ii <= nn; ++ii) {
    const int i = 2 * ii - 1;
    if (j > i) {
      std::swap(d(j), d(i));
      std::swap(d(j + 1), d(i + 1));
    }
    int m = n / 2;
    while (m >= 2 && j > m) {
      j -= m;
      m /= 2;
    }
    j += m;
  }

  int mmax = 2;
  while (n > mmax) {
    const int istep = 2 * mmax;
    const long double theta = TwoPi / static_cast<long double>(isign * mmax);
    const long double s = std::sin(0.5L * theta);
    const long double wpr = -2.0L * s * s;
    const long double wpi = std::sin(theta);
    long double wr = 1.0L;
    long double wi = 0.0L;
    for (int ii = 1; ii <= mmax / 2; ++ii) {
      const int m = 2 * ii - 1;
      for (int jj = 0; jj <= (n - m) / istep; ++jj) {
        const int i = m + jj * istep;
        const int k = i + mmax;
        const long double tempr = wr * d(k) - wi * d(k + 1);
        const long double tempi = wr * d(k + 1) + wi * d(k);
        d(k) = d(i) - tempr;
        d(k + 1) = d(i + 1) - tempi;
        d(i) += tempr;
        d(i + 1) += tempi;
      }
      const long double wtemp = wr;
      wr = wr * wpr - wi * wpi + wr;
      wi = wi * wpr + wtemp * wpi + wi;
    }
    mmax = istep;
  }
}

void ComplexCopy(const TComplex& z, TComplex& r) { r = z; }

long double ComplexSqrAbs(const TComplex& z) { return z.Re * z.Re + z.Im * z.Im; }

void ComplexAdd(const TComplex& a, const TComplex& b, TComplex& r) {
  r.Re = a.Re + b.Re;
  r.Im = a.Im + b.Im;
}

void ComplexSub(const TComplex& a, const TComplex& b, TComplex& r) {
  r.Re = a.Re - b.Re;
  r.Im = a.Im - b.Im;
}

static bool IsZero(const TComplex& z) { return z.Re == 0 && z.Im == 0; }

void ComplexInv(const TComplex& z, TComplex& r) {
  const TComplex zz = z;
  r = TComplex{};
  if (IsZero(zz)) return;
  if (std::fabs(zz.Re) >= std::fabs(zz.Im)) {
    const long double q = zz.Im / zz.Re;
    const long double d = q * zz.Im + zz.Re;
    r.Re = 1.0L / d;
    r.Im = -q / d;
  } else {
    const long double q = zz.Re / zz.Im;
    const long double d = q * zz.Re + zz.Im;
    r.Re = q / d;
    r.Im = -1.0L / d;
  }
}

void ComplexDiv(const TComplex& a, const TComplex& b, TComplex& r) {
  const TComplex aa = a;
  const TComplex bb = b;
  r = TComplex{};
  if (IsZero(aa) || IsZero(bb)) return;
  if (std::fabs(bb.Re) >= std::fabs(bb.Im)) {
    const long double q = bb.Im / bb.Re;
    const long double d = q * bb.Im + bb.Re;
    r.Re = (aa.Im * q + aa.Re) / d;
    r.Im = (aa.Im - aa.Re * q) / d;
  } else {
    const long double q = bb.Re / bb.Im;
    const long double d = q * bb.Re + bb.Im;
    r.Re = (aa.Re * q + aa.Im) / d;
    r.Im = (aa.Im * q - aa.Re) / d;
  }
}

void ComplexScale(const TComplex& z, TComplex& r, long double x) {
  r.Re = z.Re * x;
  r.Im = z.Im * x;
}

void ComplexConj(const TComplex& z, TComplex& r) {
  r.Re = z.Re;
  r.Im = -z.Im;
}

namespace {

// Removes trailing zeros of a fraction, and the point when nothing follows it.
std::string TrimFraction(std::string s) {
  if (s.find('.') == std::string::npos) return s;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

// General format with 3 significant digits: fixed notation for a decimal exponent from -5 to 2,
// otherwise mantissa, "E" and the exponent without sign padding ("1E3", "1.5E-7").
std::string FormatGeneral3(long double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2Le", v); // rounded to 3 significant digits
  const std::string_view text(buf);
  const size_t ePos = text.find('e');
  const int exponent = std::atoi(buf + ePos + 1);
  if (exponent >= -5 && exponent <= 2) {
    std::snprintf(buf, sizeof buf, "%.*Lf", 2 - exponent, v);
    return TrimFraction(buf);
  }
  return TrimFraction(std::string(text.substr(0, ePos))) + "E" + std::to_string(exponent);
}

} // namespace

std::string FloatToEng(long double x) {
  const long double a = std::fabs(x);
  if (a > 1000 && a > 1000000) return FormatGeneral3(x * 1e-6L) + " M";
  if (a > 1000) return FormatGeneral3(x * 0.001L) + " k";
  if (a >= 1) return FormatGeneral3(x) + " ";
  if (a >= 0.001L) return FormatGeneral3(x * 1000) + " m";
  if (a >= 1e-6L) return FormatGeneral3(x * 1000000) + " \u00B5";
  if (a >= 1e-9L) return FormatGeneral3(x * 1e9L) + " n";
  return FormatGeneral3(x * 1e12L) + " p";
}

} // namespace dravik
